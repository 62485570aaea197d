#include <gtest/gtest.h>

#include <cstring>

#include "common/block_buffer.h"
#include "common/command_tail.h"
#include "common/offset_text.h"
#include "common/settings.h"
#include "common/tail_split.h"

TEST(TailSplit, Table) {
  const std::string longest(kMaxEntryLength, 'x'), tooLong(kMaxEntryLength + 1, 'y');
  const std::pair<std::string, std::string> rows[] = {  // each name in brackets, "<>" for one too long
      {"", ""}, {"a   b", "[a][][][b]"}, {"a ", "[a]"}, {"a  ", "[a][]"}, {"c \"a  b\"", "[c][a  b]"}, {"\"\" x", "[][x]"},
      {"\"", "[]"}, {"a \"b c  d", "[a][b c  d]"}, {"\"a b\"c", "[a b][c]"}, {"\"a\"  b", "[a][][b]"}, {"a\"b\tc d", "[a\"b\tc][d]"},
      {"\x95\x5c.avi \x83\x65", "[\x95\x5c.avi][\x83\x65]"}, {longest, "[" + longest + "]"}, {"a " + tooLong + "  b", "[a]<>[][b]"},
      {"\"" + tooLong + "\" " + longest, "<>[" + longest + "]"}};
  for (const auto& r : rows) {
    std::string names;
    std::vector<char> name(kMaxEntryLength + 1);  // on the heap, where a write past it is seen
    for (const char* pos = r.first.c_str(); TailPiece p = TakeTailName(&pos, name.data());)  // to kTailEnd
      names += (p == kTailName ? "[" : "<") + std::string(name.data()) + (p == kTailName ? "]" : ">");
    EXPECT_EQ(names, r.second) << r.first;
  }
}

TEST(CommandTail, Table) {
  const std::pair<const char*, const char*> rows[] = {
      {"prog.exe a.avi b.avi", "a.avi b.avi"}, {"  \t prog.exe \t  a.avi", "a.avi"}, {"", ""}, {"prog.exe   ", ""},
      {"\"C:\\Program Files\\o.exe\" \"b c\"", "\"b c\""}, {"\"C:\\o.exe\"a.avi", "a.avi"}, {"\"unclosed name", ""},
      {"\"prog\tx.avi", "x.avi"}, {"o.exe \x95\x5c", "\x95\x5c"}};
  for (const auto& r : rows) EXPECT_STREQ(CommandTail(r.first), r.second) << r.first;
}

TEST(OffsetText, Table) {
  const std::pair<uint64_t, const char*> rows[] = {{0x12345, "00012345"}, {0xFFFFFFFF, "FFFFFFFF"},
      {0x100000010, "0000000100000010"}, {0xABCDEF0012, "000000ABCDEF0012"}, {~0ull, "FFFFFFFFFFFFFFFF"}};
  char text[kOffsetTextSize];
  for (const auto& r : rows) EXPECT_STREQ((FormatOffset(r.first, text), text), r.second);
}

TEST(SettingsRules, DefaultsAndLoadRules) {
  Settings rows[][2] = {{g_settings, {0, 0, 8192, 1}}, {{-20, -7, 0, 7}, {-20, -7, 8192, 1}},
      {{0, 0, -5, 0}, {0, 0, 8192, 0}}, {{0, 0, 1, -1}, {0, 0, 1, 1}}, {{3, 4, 99999, 1}, {3, 4, 99999, 1}}};
  for (auto& r : rows)
    EXPECT_EQ((ApplyLoadRules(&r[0]), std::memcmp(&r[0], &r[1], sizeof(Settings))), 0) << r[1].WindowLeft << r[1].ErrorLength;
}

TEST(BlockBuffer, StartsOnACacheLineHoldsItsSizeAndRefusesTheImpossible) {
  std::vector<uint8_t*> buffers;  // side by side, so the memory beneath starts at assorted offsets
  for (size_t size : {1, 15, 63, 64, 65, 4096, 131072, 3, 65535}) {
    buffers.push_back(static_cast<uint8_t*>(std::memset(AllocateBlockBuffer(size), 0xA5, size)));  // all of it
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffers.back()) % 64, 0u) << size;
  }
  for (uint8_t* buffer : buffers) FreeBlockBuffer(buffer);
  EXPECT_FALSE(AllocateBlockBuffer(SIZE_MAX) || AllocateBlockBuffer(SIZE_MAX - 63));
}
