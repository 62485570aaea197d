// What a byte range of an AVI file hits: the streams' packets with their
// numbers, times and key frames, and the index, JUNK and header bytes; and
// what the damage of a file comes to, worked out once for its reports.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "avi/avi_walk.h"
#include "common/block_pass.h"
#include "common/byte_range.h"

// Which of a hit's values hold; a wiped stream header or lost chunk headers
// leave the others unknown.
enum AviKnown {
  kAviKnowsFirst = 1,      // first
  kAviKnowsLast = 2,       // last
  kAviKnowsStart = 4,      // start
  kAviKnowsEnd = 8,        // end
  kAviKnowsKeys = 16,      // keyframes
  kAviKnowsRecovery = 32,  // video: whether a key packet follows last
  kAviRecovers = 64,       // one does, at recovers
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

// A packet's time in seconds, from its number or the stream's bytes before
// it, and its duration (of a timed stream).
double TimeOf(const AviStream& s, uint64_t number, uint64_t bytesBefore);
double DurationOf(const AviStream& s, const AviPacket& p);

// One hit per stream hit, by stream number, then at most one each of index,
// JUNK, header and unknown (bytes the walk lost where stream chunks may have
// stood and no index says which). A chunk is hit when the range overlaps any
// byte of it, header and pad byte included. first and last are the packets
// hit whose numbers are known, both or neither; keyframes and what follows
// only when every packet hit is known. Files that are no AVI get no hits.
std::vector<AviHit> HitsOf(const AviMap& map, ByteRange range);

// What a file's damage amounts to, for the last line of its report.
enum AviSummary {
  kAviNothingToAdd,  // streams are hit, or the file is no AVI
  kAviOnlyIndex,     // only index chunks are hit: the frames are intact
  kAviNoFrameHit,    // only index, JUNK and header bytes are hit
  kAviOnlyPcmAudio,  // every range lies inside one PCM audio payload: perhaps silence
  kAviTooLarge,      // more chunks than the map takes: no hits
};

// Whether bytes no copy holds are no loss: the range lies wholly inside the
// payload (and pad byte) of a JUNK chunk whose claimed size lies within its
// list and the file, or from its size field on where that size is confirmed.
bool IsPadding(const AviMap& map, ByteRange range);

// What one damaged or unsupplied range comes to.
struct RangeFinding {
  ByteRange range;
  int padding;
  std::vector<AviHit> hits;
};

// What a check or a repair found, worked out once: each range with its
// findings (in an AVI file, with the tail it lacks as a range of its own at
// the end), how many are no padding, and the summary.
struct Findings {
  std::vector<RangeFinding> ranges;
  size_t lacking = 0;
  int isAvi = 0;  // the ranges are an AVI file's, with hits and a summary
  AviSummary summary = kAviNothingToAdd;
};

// The findings for ranges of the file whose bytes walk has seen (in a repair,
// the merged ones), ending the walk into *map where there is anything to
// tell of an AVI file, or always with mapAnyway.
Findings FindingsOf(AviWalk* walk, AviMap* map, const std::vector<ByteRange>& ranges,
                    int mapAnyway = 0);

// The ranges of the findings, in order.
std::vector<ByteRange> RangesOf(const Findings& found);

// A watch for a block pass that walks the bytes it sees as an AVI file's.
ByteWatch AviWatch(AviWalk* walk);
