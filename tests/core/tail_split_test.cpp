#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/tail_split.h"

// What the file list would receive from a tail, with "<skipped>" standing for
// a name that was passed over as too long.
static std::vector<std::string> Split(const std::string& tail) {
  std::vector<std::string> names;
  const char* pos = tail.c_str();
  // Exactly the room the list's buffers have, on the heap so that the
  // sanitizer sees a write past it.
  std::vector<char> name(kMaxEntryLength + 1);
  for (;;) {
    const TailPiece piece = TakeTailName(&pos, name.data());
    if (piece == kTailEnd) break;
    names.push_back(piece == kTailName ? std::string(name.data()) : "<skipped>");
  }
  return names;
}

using Names = std::vector<std::string>;

TEST(TailSplit, OneBlankSeparatesNames) {
  EXPECT_EQ(Split(""), Names{});
  EXPECT_EQ(Split("a.avi"), Names{"a.avi"});
  EXPECT_EQ(Split("a.avi b.avi"), (Names{"a.avi", "b.avi"}));
  EXPECT_EQ(Split("C:\\v\\a.avi D:\\b.avi e"), (Names{"C:\\v\\a.avi", "D:\\b.avi", "e"}));
}

TEST(TailSplit, EveryFurtherBlankInARowGivesAnEmptyName) {
  EXPECT_EQ(Split("a  b"), (Names{"a", "", "b"}));
  EXPECT_EQ(Split("a   b"), (Names{"a", "", "", "b"}));
  EXPECT_EQ(Split("a "), Names{"a"});
  EXPECT_EQ(Split("a  "), (Names{"a", ""}));
  EXPECT_EQ(Split("a   "), (Names{"a", "", ""}));
}

TEST(TailSplit, QuotedNamesHoldBlanksAndLoseTheirQuotes) {
  EXPECT_EQ(Split("\"my clip.avi\""), Names{"my clip.avi"});
  EXPECT_EQ(Split("\"a b\" c"), (Names{"a b", "c"}));
  EXPECT_EQ(Split("c \"a  b\""), (Names{"c", "a  b"}));
  EXPECT_EQ(Split("\"\" x"), (Names{"", "x"}));
  EXPECT_EQ(Split("\"\""), Names{""});
}

TEST(TailSplit, AnUnclosedQuoteTakesTheRestOfTheTail) {
  EXPECT_EQ(Split("a \"b c  d"), (Names{"a", "b c  d"}));
  EXPECT_EQ(Split("\""), Names{""});
}

TEST(TailSplit, ACharacterRightAfterAClosingQuoteStartsTheNextName) {
  EXPECT_EQ(Split("\"a b\"c"), (Names{"a b", "c"}));
  EXPECT_EQ(Split("\"a\"\"b\""), (Names{"a", "b"}));
  EXPECT_EQ(Split("\"a\"  b"), (Names{"a", "", "b"}));
}

TEST(TailSplit, QuotesInsideAndTabsBelongToNames) {
  EXPECT_EQ(Split("a\"b c"), (Names{"a\"b", "c"}));
  EXPECT_EQ(Split("ab\" c\""), (Names{"ab\"", "c\""}));
  EXPECT_EQ(Split("a\tb c"), (Names{"a\tb", "c"}));
  EXPECT_EQ(Split("\t"), Names{"\t"});
  EXPECT_EQ(Split("\"a\tb\""), Names{"a\tb"});
}

TEST(TailSplit, ShiftJisNamesPassUnchanged) {
  // 0x5C is a trail byte of the first character here, not a backslash.
  EXPECT_EQ(Split("\x95\x5c.avi \x83\x65\x83\x58\x83\x67"),
            (Names{"\x95\x5c.avi", "\x83\x65\x83\x58\x83\x67"}));
}

TEST(TailSplit, NamesLongerThanAnEntryAreSkippedNotCut) {
  const std::string longest(kMaxEntryLength, 'x');
  const std::string tooLong(kMaxEntryLength + 1, 'y');
  EXPECT_EQ(Split(longest), Names{longest});
  EXPECT_EQ(Split(tooLong), Names{"<skipped>"});
  EXPECT_EQ(Split("a " + tooLong + " b"), (Names{"a", "<skipped>", "b"}));
  EXPECT_EQ(Split("\"" + tooLong + "\" " + longest), (Names{"<skipped>", longest}));
  EXPECT_EQ(Split("\"" + std::string(kMaxEntryLength - 2, 'z') + " q\""),
            Names{std::string(kMaxEntryLength - 2, 'z') + " q"});
  EXPECT_EQ(Split(std::string(5000, 'w') + "  c"), (Names{"<skipped>", "", "c"}));
}

TEST(TailSplit, ASkippedNameLeavesTheBufferEmpty) {
  const std::string tail = std::string(kMaxEntryLength + 1, 'y');
  const char* pos = tail.c_str();
  char name[kMaxEntryLength + 1] = "stale";
  EXPECT_EQ(TakeTailName(&pos, name), kTailTooLong);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(TakeTailName(&pos, name), kTailEnd);
  EXPECT_STREQ(name, "");
}
