// Every zero run of a file, not only the first: the scanner's block functions
// find where a run reaches the threshold, and its end is measured from there.
#pragma once
#include <cstdint>
#include <vector>

#include "common/byte_range.h"
#include "common/outcome.h"
#include "scan/block_scan.h"

// Carried from block to block through one file; all zero at the file's start.
// While scan.runLength == threshold the last run found goes on.
struct ZeroRunsState {
  ZeroRunState scan;
  uint64_t position;  // offset in the file of the next block's first byte
};

// Scans buf[0..n), in JUNK mode when junk is set (remaining: the bytes from
// buf[0] to the end of the file), with threshold >= 1, and appends each run
// of at least threshold zeros to runs where it reaches the threshold, at the
// offset a check reports; the zeros after it lengthen runs->back() until a
// non-zero byte ends it.
void FindRunsInBlock(ZeroRunsState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                     int junk, uint64_t remaining, std::vector<ByteRange>* runs);

// Every zero run of at least threshold bytes in the file at path, passing over
// JUNK payloads of RIFF files when skipJunk is set, with KeepGoing called after
// every block. Returns kClean or kDamaged (at the first run, as a check gives
// it) once the whole file has been scanned, with *runs and *size filled in;
// else kStopped or what kept the file from being read, told.
Outcome MapDamage(const char* path, int32_t threshold, int skipJunk, std::vector<ByteRange>* runs,
                  uint64_t* size);
