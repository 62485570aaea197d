// The per-position merge rule over one block, free of any file or window.
#pragma once
#include <cstdint>

// Merges src[0..n) into dmg[0..n) in place: a zero of dmg takes src's byte.
// *zeroRun counts the positions where both hold zero since both last held the
// same non-zero byte, up to threshold; it starts at 0 and carries over between
// blocks.
// Returns the number of positions passed: n; or the index of the first
// position where both hold different non-zero bytes (left untouched, as is
// everything after it); or (index + 1) of the position that brought *zeroRun
// up to threshold, where it stops so that the caller can ask about the stretch
// and then go on with the rest. A counter that already stands at threshold is
// not brought to it again until both copies have held the same non-zero byte.
uint32_t MergeBlock(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                    int32_t threshold);

// The same without vector instructions, for machines without SSE2 and so that
// both forms can be held to the same results.
uint32_t MergeBlockPortable(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                            int32_t threshold);
