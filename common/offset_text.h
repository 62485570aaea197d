// File offsets as the messages show them.
#pragma once
#include <cstdint>

constexpr int kOffsetTextSize = 20;

// "%08X" of the low half when the high half is zero, else "%08X%08X" high then
// low: 8 or 16 uppercase hex digits, no prefix.
void FormatOffset(uint64_t offset, char out[kOffsetTextSize]);
