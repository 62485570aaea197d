#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/block_buffer.h"

namespace {

TEST(BlockBuffer, StartsOnACacheLineAndHoldsItsWholeSize) {
  // Allocations of assorted sizes side by side, so that the memory beneath
  // them starts at assorted offsets.
  std::vector<uint8_t*> buffers;
  for (size_t size : {1, 15, 16, 63, 64, 65, 4096, 65536, 131072, 100, 3, 65535}) {
    uint8_t* buffer = AllocateBlockBuffer(size);
    ASSERT_NE(buffer, nullptr) << size;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 64, 0u) << size;
    std::memset(buffer, 0xA5, size);  // out of bounds is the sanitizer's to catch
    buffers.push_back(buffer);
  }
  for (uint8_t* buffer : buffers) FreeBlockBuffer(buffer);
}

TEST(BlockBuffer, ASizeBeyondAnyMemoryIsRefused) {
  EXPECT_EQ(AllocateBlockBuffer(SIZE_MAX), nullptr);
  EXPECT_EQ(AllocateBlockBuffer(SIZE_MAX - 63), nullptr);
  FreeBlockBuffer(nullptr);
}

}  // namespace
