// The file-level scan on real files, with the recording message seam and the
// scripted pump standing in for the dialog.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "common/settings.h"
#include "scan/scan_file.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

typedef std::vector<uint8_t> Bytes;

static Bytes Fill(size_t n, uint8_t value) { return Bytes(n, value); }

static Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

static Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

static Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The twelve bytes an AVI file starts with.
static Bytes Avi() { return Text("RIFF\x11\x22\x33\x44" "AVI "); }

static const char kDamaged[] = "ファイルが破損している可能性があります。\nAddress : ";
static const char kCannotOpen[] = "ファイルが開けません。";
static const char kCannotRead[] = "ファイルから読み込めません。";

// Every message shown so far, as "caption | text | kind"; "-" for the
// platform's default caption.
static std::vector<std::string> Shown() {
  std::vector<std::string> all;
  for (const RecordedMessage& m : g_host.messages)
    all.push_back((m.hasCaption ? m.caption : "-") + " | " + m.text + " | " +
                  std::to_string(m.kind));
  return all;
}

static std::vector<std::string> DamageAt(const char* offsetText) {
  return {"破損検出 | " + std::string(kDamaged) + offsetText + " | " + std::to_string(kWarningOk)};
}

static std::vector<std::string> Warning(const char* text) {
  return {"- | " + std::string(text) + " | " + std::to_string(kWarningOk)};
}

class ScanFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = g_settings;
    ResetHost();
    dir = MakeTempDir();
  }
  void TearDown() override {
    g_settings = saved;
    ResetHost();
    RemoveTree(dir);
  }
  std::string Make(const Bytes& bytes, const char* name = "file.bin") {
    std::string path = JoinPath(dir, name);
    WriteBytes(path, bytes);
    return path;
  }
  void Use(int32_t errorLength, int32_t skipJunk) {
    g_settings.ErrorLength = errorLength;
    g_settings.SkipJunk = skipJunk;
  }
  Settings saved;
  std::string dir;
};

TEST_F(ScanFileTest, ResultsMessagesAndPumpCalls) {
  const uint32_t t = 8192;
  const Bytes junk8192 = Cat({Avi(), Text("JUNK"), Le32(t), Fill(t, 0), Text("x")});
  const Bytes junk0 = Cat({Avi(), Text("JUNK"), Le32(0), Fill(t - 1, 0), Text("x")});
  // A header cut after "JU" by the first block end, its payload reaching into a third block.
  const Bytes splitHeader = Cat({Avi(), Fill(65536 - 12 - 2, 0x11), Text("JUNK"), Le32(70000),
                                 Fill(70000, 0), Text("x"), Fill(100, 0x11)});
  // The size test counts from the start of the block that holds the size
  // field: 13 bytes of that block up to the field's end, and 20 after it.
  const Bytes nearEnd = Cat({Fill(65536 - 12 + 5, 0x33), Text("JUNK")});
  struct Case {
    const char* what;
    Bytes bytes;
    int32_t errorLength, skipJunk;
    int result;
    const char* damageAt;  // nullptr: no message
    int pumps;
  } cases[] = {
      {"empty file", {}, 8192, 1, 1, nullptr, 0},
      {"one full block", Fill(65536, 0x11), 8192, 1, 1, nullptr, 1},
      {"one block and a byte", Fill(65537, 0x11), 8192, 1, 1, nullptr, 2},
      {"exactly the threshold of zeros", Fill(t, 0), 8192, 1, 0, "00000000", 0},
      {"ends one zero short", Cat({Fill(100000 - t + 1, 0x11), Fill(t - 1, 0)}), 8192, 1, 1,
       nullptr, 2},
      {"ends in the threshold of zeros", Cat({Fill(100000 - t, 0x11), Fill(t, 0)}), 8192, 1, 0,
       "000166A0", 1},
      {"run across a block end", Cat({Fill(65436, 0x11), Fill(t, 0), Fill(9000, 0x11)}), 8192, 1,
       0, "0000FF9C", 1},
      {"run across four blocks", Cat({Fill(10, 1), Fill(200000, 0), Fill(100000, 1)}), 200000, 1,
       0, "0000000A", 3},
      {"two runs, first reported", Cat({Fill(100, 1), Fill(t, 0), Fill(1, 1), Fill(t, 0)}), 8192,
       1, 0, "00000064", 0},
      {"long run at its first zero", Cat({Fill(100, 1), Fill(3 * t, 0), Fill(1, 1)}), 8192, 1, 0,
       "00000064", 0},
      {"threshold 1, no zero", Text("abc"), 1, 1, 1, nullptr, 1},
      {"threshold 1, a zero", Cat({Text("ab"), Fill(1, 0)}), 1, 1, 0, "00000002", 0},
      {"JUNK payload passed over", junk8192, 8192, 1, 1, nullptr, 1},
      {"JUNK payload, SkipJunk off", junk8192, 8192, 0, 0, "00000012", 0},
      {"JUNK payload, riff in lower case",
       Cat({Text("riff"), Bytes(junk8192.begin() + 4, junk8192.end())}), 8192, 1, 0, "00000012", 0},
      {"RIFF at the start of a later block counts for nothing",
       Cat({Fill(65536, 0x11), junk8192}), 8192, 1, 0, "00010012", 1},
      {"three bytes", Text("RIF"), 8192, 1, 1, nullptr, 1},
      {"three zero bytes", Fill(3, 0), 3, 1, 0, "00000000", 0},
      {"JUNK of size 0", junk0, 8192, 1, 1, nullptr, 1},
      {"JUNK of size 0, SkipJunk off", junk0, 8192, 0, 0, "00000010", 0},
      {"JJUNK", Cat({Avi(), Text("JJUNK"), Le32(t), Fill(t, 0), Text("x")}), 8192, 1, 1, nullptr,
       1},
      {"JUNJUNK", Cat({Avi(), Text("JUNJUNK"), Le32(t), Fill(t, 0), Text("x")}), 8192, 1, 1,
       nullptr, 1},
      {"JU then zeros", Cat({Avi(), Text("JU"), Fill(t, 0), Text("x")}), 8192, 1, 0, "0000000E",
       0},
      {"JUN then zeros", Cat({Avi(), Text("JUN"), Fill(t, 0), Text("x")}), 8192, 1, 0, "0000000F",
       0},
      {"size one past the file's end from the block start",
       Cat({Avi(), Text("JUNK"), Le32(t + 1 + 21), Fill(t, 0), Text("x")}), 8192, 1, 0,
       "00000014", 0},
      {"size exactly to the file's end from the block start",
       Cat({Avi(), Text("JUNK"), Le32(t + 1 + 20), Fill(t, 0), Text("x")}), 8192, 1, 1, nullptr,
       1},
      {"size test in a later block passes", Cat({Avi(), nearEnd, Le32(33), Fill(20, 0)}), 16, 1, 1,
       nullptr, 2},
      {"size test in a later block fails", Cat({Avi(), nearEnd, Le32(34), Fill(20, 0)}), 16, 1, 0,
       "0001000D", 1},
      {"pad byte after an odd payload",
       Cat({Avi(), Text("JUNK"), Le32(3), Text("abc"), Fill(t, 0), Text("x")}), 8192, 1, 0,
       "00000017", 0},
      {"JUNK inside a payload is no header",
       Cat({Avi(), Text("JUNK"), Le32(40), Text("abJUNK"), Le32(9000), Fill(30, 'p'), Fill(t, 0),
            Fill(900, 'x')}),
       8192, 1, 0, "0000003C", 0},
      {"header split across blocks", splitHeader, 8192, 1, 1, nullptr, 3},
      {"header split across blocks, SkipJunk off", splitHeader, 8192, 0, 0, "00010005", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetHost();
    Use(c.errorLength, c.skipJunk);
    const std::string path = Make(c.bytes);
    EXPECT_EQ(ScanFile(path.c_str()), c.result);
    EXPECT_EQ(Shown(), c.damageAt ? DamageAt(c.damageAt) : std::vector<std::string>());
    EXPECT_EQ(g_host.pumpCalls, c.pumps);
  }
}

// A stop reported by the pump ends the scan quietly; only after the last
// block does it leave the file counted as clean.
TEST_F(ScanFileTest, StopAfterEachBlock) {
  Use(8192, 1);
  const std::string path = Make(Fill(3 * 65536, 0x5A));
  for (int stopAt = 1; stopAt <= 3; ++stopAt) {
    ResetHost();
    g_host.stopAtPump = stopAt;
    EXPECT_EQ(ScanFile(path.c_str()), stopAt == 3 ? 1 : 0) << stopAt;
    EXPECT_EQ(g_host.pumpCalls, stopAt);
    EXPECT_TRUE(g_host.messages.empty());
  }
}

TEST_F(ScanFileTest, WhatCannotBeOpened) {
  Use(8192, 1);
  const std::string paths[] = {JoinPath(dir, "missing.avi"), dir, ""};
  for (const std::string& path : paths) {
    ResetHost();
    EXPECT_EQ(ScanFile(path.c_str()), 0) << path;
    EXPECT_EQ(Shown(), Warning(kCannotOpen)) << path;
    EXPECT_EQ(g_host.pumpCalls, 0);
  }
}

// The damage message is shown while the file is still open; afterwards
// nothing of the scan is left holding it.
TEST_F(ScanFileTest, DamageIsShownBeforeTheFileIsReleased) {
  Use(8192, 1);
  const std::string path = Make(Cat({Fill(70000, 0x11), Fill(8192, 0)}));
  std::vector<bool> heldDuring;
  g_host.onMessage = [&] { heldDuring.push_back(HeldOpen(path)); };
  ASSERT_FALSE(HeldOpen(path));
  EXPECT_EQ(ScanFile(path.c_str()), 0);
  EXPECT_EQ(heldDuring, std::vector<bool>({true}));
  EXPECT_FALSE(HeldOpen(path));
  EXPECT_EQ(RemoveFile(path.c_str()), 1);
}

TEST_F(ScanFileTest, CleanFileIsReleased) {
  Use(8192, 1);
  const std::string path = Make(Fill(70000, 0x11));
  std::vector<bool> heldDuring;
  g_host.onPump = [&] { heldDuring.push_back(HeldOpen(path)); };
  EXPECT_EQ(ScanFile(path.c_str()), 1);
  EXPECT_EQ(heldDuring, std::vector<bool>({true, true}));
  EXPECT_FALSE(HeldOpen(path));
  EXPECT_EQ(RemoveFile(path.c_str()), 1);
}

#ifdef _WIN32
TEST_F(ScanFileTest, FileHeldForWritingByAnotherProgram) {
  Use(8192, 1);
  const std::string path = Make(Fill(1000, 0x11));
  HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ScanFile(path.c_str()), 0);
  EXPECT_EQ(Shown(), Warning(kCannotOpen));
  CloseHandle(writer);
}
#else
// Windows' read sharing keeps others from changing the file during the scan;
// POSIX does not, and the scan must cope with what they do.
TEST_F(ScanFileTest, FileThatShrinksWhileScanned) {
  Use(8192, 1);
  const std::string path = Make(Fill(3 * 65536, 0x11));
  g_host.onPump = [&] {
    if (g_host.pumpCalls == 1) {
      ASSERT_EQ(truncate(path.c_str(), 65536 + 100), 0);
    }
  };
  std::vector<bool> heldDuring;
  g_host.onMessage = [&] { heldDuring.push_back(HeldOpen(path)); };
  EXPECT_EQ(ScanFile(path.c_str()), 0);
  EXPECT_EQ(Shown(), Warning(kCannotRead));
  EXPECT_EQ(heldDuring, std::vector<bool>({true}));
  EXPECT_EQ(g_host.pumpCalls, 1);
  EXPECT_FALSE(HeldOpen(path));
}

TEST_F(ScanFileTest, FileThatGrowsWhileScannedIsReadToItsSizeAtOpening) {
  Use(8192, 1);
  const std::string path = Make(Fill(65537, 0x11));
  g_host.onPump = [&] {
    if (g_host.pumpCalls == 1) WriteAt(path, 65537, Fill(70000, 0));
  };
  EXPECT_EQ(ScanFile(path.c_str()), 1);
  EXPECT_TRUE(g_host.messages.empty());
  EXPECT_EQ(g_host.pumpCalls, 2);
}
#endif

// Shift-JIS names whose second bytes are 0x5C, the backslash, in a folder
// named so too: the path reaches the file system untouched.
TEST_F(ScanFileTest, ShiftJisNamesWithBackslashTrailBytes) {
#ifdef _WIN32
  ASSERT_EQ(GetACP(), 932u) << "the tests run with LC_ALL=ja_JP.UTF-8";
  ASSERT_STREQ("表", "\x95\x5C") << "string literals are Shift-JIS in this build";
  const std::string folder = dir + "\\表示";
  // "あ" (82 A0) has no 0x5C byte: if even that cannot be made, Wine has no
  // Unix encoding for Japanese names (the ja_JP.UTF-8 locale is not generated).
  if (!CreateDirectoryA((dir + "\\あ").c_str(), nullptr)) {
    GTEST_SKIP() << "this Wine cannot store Japanese file names";
  }
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr)) << GetLastError();
  const std::string sep = "\\";
#else
  const std::string folder = dir + "/表示";
  ASSERT_EQ(mkdir(folder.c_str(), 0777), 0);
  const std::string sep = "/";
#endif
  Use(8192, 1);
  const struct {
    const char* name;
    Bytes bytes;
    int result;
  } files[] = {{"表.avi", Cat({Fill(100, 7), Fill(8192, 0)}), 0},
               {"ソ能.avi", Fill(100, 7), 1}};
  for (const auto& f : files) {
    ResetHost();
    const std::string path = folder + sep + f.name;
    FileHandle out = CreateAlways(path.c_str(), nullptr, 0);
    ASSERT_NE(out, kNoFile) << f.name;
    ASSERT_EQ(WriteExact(out, f.bytes.data(), static_cast<uint32_t>(f.bytes.size())), 1);
    CloseFile(out);
    EXPECT_EQ(ScanFile(path.c_str()), f.result) << f.name;
    EXPECT_EQ(Shown(), f.result ? std::vector<std::string>() : DamageAt("00000064")) << f.name;
    EXPECT_EQ(RemoveFile(path.c_str()), 1);
  }
}

// A file just over 4 GiB, sparse, so all zeros: the block size follows the
// whole 64-bit size, so the run is found inside the first block of 65536
// bytes, before any pump call (blocks sized by the low 32 bits, 256, would
// have pumped 31 times first).
TEST_F(ScanFileTest, BlocksOfAFileOverFourGiB) {
  const std::string path = JoinPath(dir, "big.avi");
  MakeSparseFile(path, 0x100000100ull);
#ifndef _WIN32
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  if (static_cast<uint64_t>(st.st_blocks) * 512 > (1u << 20)) {
    GTEST_SKIP() << "no sparse files here";
  }
#endif
  Use(8192, 1);
  EXPECT_EQ(ScanFile(path.c_str()), 0);
  EXPECT_EQ(Shown(), DamageAt("00000000"));
  EXPECT_EQ(g_host.pumpCalls, 0);
}
