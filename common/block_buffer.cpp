#include "common/block_buffer.h"

#include <cstdlib>

static const size_t kAlignment = 64;

// The byte before the buffer holds its distance from the allocation's start,
// 1 to 64.
uint8_t* AllocateBlockBuffer(size_t size) {
  if (size > SIZE_MAX - kAlignment) return nullptr;
  uint8_t* allocation = static_cast<uint8_t*>(std::malloc(size + kAlignment));
  if (!allocation) return nullptr;
  const size_t shift = kAlignment - reinterpret_cast<uintptr_t>(allocation) % kAlignment;
  uint8_t* buffer = allocation + shift;
  buffer[-1] = static_cast<uint8_t>(shift);
  return buffer;
}

void FreeBlockBuffer(uint8_t* buffer) {
  if (buffer) std::free(buffer - buffer[-1]);
}
