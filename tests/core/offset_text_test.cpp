#include <gtest/gtest.h>

#include "common/offset_text.h"

static std::string Text(uint64_t offset) {
  char out[kOffsetTextSize];
  FormatOffset(offset, out);
  return out;
}

TEST(OffsetText, EightDigitsWhileTheHighHalfIsZero) {
  EXPECT_EQ(Text(0), "00000000");
  EXPECT_EQ(Text(0x12345), "00012345");
  EXPECT_EQ(Text(0xFFFFFFFFu), "FFFFFFFF");
}

TEST(OffsetText, SixteenDigitsHighHalfFirstBeyondFourGiB) {
  EXPECT_EQ(Text(0x100000000ull), "0000000100000000");
  EXPECT_EQ(Text(0x100000010ull), "0000000100000010");
  EXPECT_EQ(Text(0xFFFFFFFFFFFFFFFFull), "FFFFFFFFFFFFFFFF");
  EXPECT_EQ(Text(0xABCDEF0012ull), "000000ABCDEF0012");
}
