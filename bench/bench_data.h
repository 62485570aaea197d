// Generated data for the benchmarks, and the straightforward byte-at-a-time
// scanners and merge that the block functions are measured against.
#pragma once
#include <cstddef>
#include <cstdint>

#include "scan/block_scan.h"

// Bytes like compressed video: random, with a short zero run (1 to 64 bytes)
// every 4 KiB on average. *seed advances, so calls continue one stream.
void FillVideoLike(uint8_t* buf, size_t n, uint64_t* seed);

// Over video-like bytes: a JUNK chunk of 512 to 4096 zero bytes every 64 KiB
// on average, as AVI writers leave for padding.
void AddJunkChunks(uint8_t* buf, size_t n, uint64_t* seed);

// Zero runs and non-zero runs of 1 to 32 bytes taking turns: the most work a
// byte loop can be given.
void FillShortRuns(uint8_t* buf, size_t n, uint64_t* seed);

// Zeros with a non-zero byte every 1 to 4096 bytes: no run reaches 8192, but
// nearly every byte sits in a long run, the most work for plain mode's
// backward searches.
void FillSparseNonZero(uint8_t* buf, size_t n, uint64_t* seed);

// The scan rules one byte at a time, as a plain loop would apply them.
uint32_t PlainByteLoop(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold);
uint32_t JunkByteLoop(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                      uint64_t remaining);

// The merge rule of two copies one position at a time.
uint32_t MergeByteLoop(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                       int32_t threshold);

// The benchmarks' host seam (common/host.h): no window; an outcome told is a
// failed measurement, counted here and printed to stderr.
extern int g_benchFailures;
