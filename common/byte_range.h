// A stretch of a file: damage found, positions voted on, bytes no copy holds.
#pragma once
#include <cstdint>

// Why a stretch counts as damage: a long run of zeros (a guess), a rescue
// tool's mapfile that says the bytes were not rescued, dvdisaster's marker
// written where it could not read a sector, or bytes past the end of a file
// whose header claims more.
enum Cause { kCauseZeros, kCauseMap, kCauseMarker, kCauseTruncated };

struct ByteRange {
  uint64_t offset;  // of its first byte
  uint64_t length;
  Cause cause = kCauseZeros;

  uint64_t end() const { return offset + length; }
  // Takes in next when it starts inside this range or right at its end, as a
  // list of ranges in offset order is kept joined. Returns 0, changing
  // nothing, when a gap lies between them or their causes differ.
  int Join(const ByteRange& next) {
    if (next.offset > end() || next.cause != cause) return 0;
    if (next.end() > end()) length = next.end() - offset;
    return 1;
  }
};

inline bool operator==(const ByteRange& a, const ByteRange& b) {
  return a.offset == b.offset && a.length == b.length && a.cause == b.cause;
}
