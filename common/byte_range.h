// A stretch of a file: damage found, positions voted on, bytes no copy holds.
#pragma once
#include <cstdint>

struct ByteRange {
  uint64_t offset;  // of its first byte
  uint64_t length;
};
