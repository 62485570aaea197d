// A playable copy of a merged AVI file where no copy holds some frames: the
// merged bytes with edits in place, each a few bytes at an offset, so that
// the file's size and every other byte stay. A lost frame becomes a frame
// dropped (a chunk of size 0, the rest of its bytes a JUNK chunk; in a stream
// with B-frames a VOP that repeats the picture before it, so that every kept
// frame keeps its time), as do the frames that would decode from a wrong
// picture up to the next key frame; a lost MP3 or MP2 packet becomes silent
// frames of its size; chunk headers an index places are written back, and a
// damaged index is made anew from the chunk map.
#pragma once
#include <cstdint>
#include <vector>

#include "avi/avi_hits.h"
#include "avi/avi_walk.h"

struct AviEdit {
  uint64_t offset;
  std::vector<uint8_t> bytes;
};

// Packets of one stream, numbers first to last, and their times.
struct AviLoss {
  AviKind kind;
  uint32_t stream;
  char codec[8];
  uint64_t first, last;
  double start, end;
  int timed;  // start and end hold
};

struct Playable {
  const char* refusal = nullptr;  // why the file cannot be made playable, or null
  std::vector<AviEdit> edits;     // by offset, none overlapping the next
  std::vector<AviLoss> dropped;   // video frames
  std::vector<AviLoss> silenced;  // audio packets made silent, or lost where silence is zeros
  std::vector<AviLoss> left;      // packets of other codecs, as merged
  int whole = 0;                  // nothing lost: nothing dropped, silenced or left, and no
                                  // bytes no copy holds but padding and what the edits make anew
};

// The edits that make the merged file of map playable, where the ranges no
// copy holds are unsupplied (as FindingsOf gave them, padding marked).
Playable MakePlayable(const AviMap& map, const std::vector<RangeFinding>& unsupplied);
