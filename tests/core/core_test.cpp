#include <gtest/gtest.h>

#include <cstring>

#include "app/command_tail.h"
#include "app/settings.h"
#include "common/block_buffer.h"
#include "common/offset_text.h"
#include "common/output_name.h"
#include "ui/tail_split.h"

// Each name in brackets, "<>" for one too long for an entry.
static std::string Names(const std::string& tail) {
  std::string names;
  std::vector<char> name(kMaxEntryLength + 1);  // on the heap, where a write past it is seen
  const char* pos = tail.c_str();
  for (TailPiece p; (p = TakeTailName(&pos, name.data())) != kTailEnd;)
    names += p == kTailName ? "[" + std::string(name.data()) + "]" : "<>";
  return names;
}

TEST(TailSplit, Table) {
  const std::string longest(kMaxEntryLength, 'x'), tooLong(kMaxEntryLength + 1, 'y');
  const std::pair<std::string, std::string> rows[] = {
      {"", ""}, {"a   b", "[a][][][b]"}, {"a  ", "[a][]"}, {"c \"a  b\"", "[c][a  b]"},
      {"\"", "[]"}, {"a \"b c  d", "[a][b c  d]"}, {"\"a b\"c", "[a b][c]"},
      {"\"a\"  b", "[a][][b]"}, {"a\"b\tc d", "[a\"b\tc][d]"},
      {"\x95\x5c.avi \x83\x65", "[\x95\x5c.avi][\x83\x65]"}, {longest, "[" + longest + "]"},
      {"a " + tooLong + "  b", "[a]<>[][b]"},
      {"\"" + tooLong + "\" " + longest, "<>[" + longest + "]"},
  };
  for (const auto& [tail, names] : rows) EXPECT_EQ(Names(tail), names) << tail;
}

TEST(CommandTail, Table) {
  const std::pair<const char*, const char*> rows[] = {
      {"prog.exe a.avi b.avi", "a.avi b.avi"}, {"  \t prog.exe \t  a.avi", "a.avi"}, {"", ""},
      {"\"C:\\Program Files\\o.exe\" \"b c\"", "\"b c\""}, {"\"C:\\o.exe\"a.avi", "a.avi"},
      {"\"unclosed name", ""}, {"\"prog\tx.avi", "x.avi"}, {"o.exe \x95\x5c", "\x95\x5c"},
  };
  for (const auto& [line, tail] : rows) EXPECT_STREQ(CommandTail(line), tail) << line;
}

TEST(OffsetText, Table) {
  const std::pair<uint64_t, const char*> rows[] = {
      {0x12345, "00012345"}, {0xFFFFFFFF, "FFFFFFFF"}, {0x100000010, "0000000100000010"},
      {0xABCDEF0012, "000000ABCDEF0012"}, {~0ull, "FFFFFFFFFFFFFFFF"},
  };
  char text[kOffsetTextSize];
  for (const auto& [offset, want] : rows) EXPECT_STREQ((FormatOffset(offset, text), text), want);
}

TEST(SettingsRules, DefaultsAndLoadRules) {
  Settings rows[][2] = {
      {g_settings, {0, 0, 8192, 1}}, {{-20, -7, 0, 7}, {-20, -7, 8192, 1}},
      {{0, 0, -5, 0}, {0, 0, 8192, 0}}, {{0, 0, 1, -1}, {0, 0, 1, 1}},
      {{3, 4, 99999, 1}, {3, 4, 99999, 1}},
  };
  for (auto& [loaded, want] : rows) {
    ApplyLoadRules(&loaded);
    EXPECT_EQ(std::memcmp(&loaded, &want, sizeof(Settings)), 0) << want.ErrorLength;
  }
}

// Path, where the command-line program puts ".fixed", and whether the name is one of its outputs.
TEST(OutputName, Table) {
  const std::tuple<const char*, const char*, bool> rows[] = {
      {"clip.avi", "clip.fixed.avi", false}, {"clip", "clip.fixed", false},
      {"v.old/clip", "v.old/clip.fixed", false}, {"v/.hid", "v/.hid.fixed", false},
      {"x.y\x95\x5cz", "x.fixed.y\x95\x5cz", false},  // 0x5C the second byte of a character
      {"d/clip.fixed.avi", "d/clip.fixed.fixed.avi", true},
      {"clip.fixed", "clip.fixed.fixed", true}, {".hid.fixed", ".hid.fixed.fixed", true},
      {"d/.fixed.avi", "d/.fixed.fixed.avi", false}, {"a.fixedx.avi", "a.fixedx.fixed.avi", false},
  };
  for (const auto& [path, output, isOutput] : rows) {
    EXPECT_EQ(FixedOutputPath(path), output);
    EXPECT_EQ(IsFixedOutputName(path) == 1, isOutput) << path;
  }
}

TEST(BlockBuffer, StartsOnACacheLineHoldsItsSizeAndRefusesTheImpossible) {
  std::vector<uint8_t*> buffers;  // side by side, so the memory beneath starts at assorted offsets
  for (size_t size : {1, 15, 63, 64, 65, 4096, 131072, 3, 65535}) {
    buffers.push_back(AllocateBlockBuffer(size));
    std::memset(buffers.back(), 0xA5, size);  // all of it is there
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffers.back()) % 64, 0u) << size;
  }
  for (uint8_t* buffer : buffers) FreeBlockBuffer(buffer);
  EXPECT_FALSE(AllocateBlockBuffer(SIZE_MAX) || AllocateBlockBuffer(SIZE_MAX - 63));
}
