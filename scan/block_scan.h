// The zero-run state machine over one block of bytes, free of any file or
// window: the file-level scan feeds it block after block.
#pragma once
#include <cstdint>

// Carried from block to block through one file; all zero at the file's start.
struct ZeroRunState {
  int32_t runLength;   // zeros counted in the current run
  uint32_t junkState;  // 0: outside a header; 1-3: "J", "JU", "JUN" seen; 4-7: size bytes
  uint32_t skipCount;  // state 0: payload bytes still to pass over; 4-7: the size being collected
};

// Plain mode. Handles buf[0..n) in order and returns how many bytes it handled:
// n, or (index + 1) of the zero that brought runLength to threshold, where it
// stops. The run is complete exactly when s->runLength == threshold afterwards.
uint32_t ScanPlain(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold);

// JUNK skipping mode, same contract. remaining is the number of bytes from the
// start of this block to the end of the file: a chunk size above it is ignored.
uint32_t ScanJunk(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                  uint64_t remaining);

// The same two without vector instructions, for machines without SSE2 and
// so that both forms can be held to the same results.
uint32_t ScanPlainPortable(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold);
uint32_t ScanJunkPortable(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                          uint64_t remaining);
