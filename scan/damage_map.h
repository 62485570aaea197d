// Every zero run of a file, not only the first: the scanner's block functions
// find where a run reaches the threshold, and its end is measured from there.
#pragma once
#include <cstdint>
#include <vector>

#include "common/byte_range.h"
#include "common/outcome.h"
#include "scan/block_scan.h"
#include "scan/scan_file.h"

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

// All the damage of the file at path by the rules, with KeepGoing called
// after every block: each zero run of at least the threshold (none with a
// map), each range the map misses and each dead sector, with its cause.
// Returns kClean or kDamaged (at the first range, as a check gives it) once
// the whole file has been scanned, with *runs and *size filled in; else
// kStopped or what kept the file from being read, told.
Outcome MapDamage(const char* path, const CheckRules& rules, std::vector<ByteRange>* runs,
                  uint64_t* size);
