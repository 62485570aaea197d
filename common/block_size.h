// Files are read in blocks of 65536 bytes, or whole when they are smaller.
#pragma once
#include <cstdint>

constexpr uint32_t kMaxBlock = 65536;

// Judged on the full 64-bit size, so a file of 4 GiB and a few bytes is read
// in full blocks too.
inline uint32_t BlockSizeFor(uint64_t size) {
  return size >= kMaxBlock ? kMaxBlock : static_cast<uint32_t>(size);
}
