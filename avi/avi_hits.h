// What a byte range of an AVI file hits: the streams' packets with their
// numbers, times and key frames, and the index, JUNK and header bytes.
#pragma once
#include <cstdint>
#include <vector>

#include "avi/avi_walk.h"
#include "common/byte_range.h"

// Which of a hit's values hold; a wiped stream header or lost chunk headers
// leave the others unknown.
enum AviKnown {
  kAviKnowsFirst = 1,     // first
  kAviKnowsLast = 2,      // last
  kAviKnowsStart = 4,     // start
  kAviKnowsEnd = 8,       // end
  kAviKnowsKeys = 16,     // keyframes
  kAviKnowsRecovery = 32, // video: whether a key packet follows last
  kAviRecovers = 64,      // one does, at recovers
};

struct AviHit {
  AviKind kind;
  uint32_t stream;      // stream hits: the number in its chunk ids
  char codec[8];        // the stream's, empty when unknown
  uint32_t known;       // AviKnown
  uint64_t first, last; // packet numbers, from 0 in the stream's order
  double start, end;    // seconds: the first's time, the last's time plus its duration
  uint64_t keyframes;   // key packets among them
  double recovers;      // the time of the first key packet after last
};

// One hit per stream hit, by stream number, then at most one each of index,
// JUNK, header and unknown (bytes the walk lost where stream chunks may have
// stood). A chunk is hit when the range overlaps any byte of it, header and
// pad byte included. Files that are no AVI get no hits.
std::vector<AviHit> HitsOf(const AviMap& map, ByteRange range);

// What a file's damage amounts to, for the last line of its report.
enum AviSummary {
  kAviNothingToAdd,  // streams are hit, or the file is no AVI
  kAviOnlyIndex,     // only index chunks are hit: the frames are intact
  kAviNoFrameHit,    // only index, JUNK and header bytes are hit
  kAviOnlyPcmAudio,  // every range lies inside one PCM audio payload: perhaps silence
};
AviSummary SummaryOf(const AviMap& map, const std::vector<ByteRange>& ranges);
