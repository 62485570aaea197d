#include <gtest/gtest.h>

#include "common/command_tail.h"

TEST(CommandTail, SkipsTheProgramNameQuotedOrNot) {
  EXPECT_STREQ(CommandTail("prog.exe a.avi b.avi"), "a.avi b.avi");
  EXPECT_STREQ(CommandTail("  \t prog.exe \t  a.avi"), "a.avi");
  EXPECT_STREQ(CommandTail("\"C:\\Program Files\\o.exe\" \"b c.avi\""), "\"b c.avi\"");
  EXPECT_STREQ(CommandTail("\"C:\\o.exe\"a.avi"), "a.avi");
}

TEST(CommandTail, EmptyTails) {
  EXPECT_STREQ(CommandTail(""), "");
  EXPECT_STREQ(CommandTail("prog.exe"), "");
  EXPECT_STREQ(CommandTail("prog.exe   "), "");
  EXPECT_STREQ(CommandTail("\"unclosed name"), "");
}

TEST(CommandTail, AQuotedNameEndsAtATab) {
  EXPECT_STREQ(CommandTail("\"prog\tx.avi"), "x.avi");
}

TEST(CommandTail, KeepsShiftJisBytesOfTheFirstName) {
  // The first name of the tail may begin with a lead byte of 0x80 or above.
  EXPECT_STREQ(CommandTail("o.exe \x95\x5c.avi"), "\x95\x5c.avi");
}
