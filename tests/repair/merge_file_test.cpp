#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "common/settings.h"
#include "repair/merge_file.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Nonzero(size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(1 + rng() % 255);
  return b;
}

std::string Question(const char* offset) {
  return std::string("修復できません。処理を続行しますか?\nAddress : ") + offset;
}

class MergeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetHost();
    g_settings.ErrorLength = 8192;
    dir = MakeTempDir();
    dmg = JoinPath(dir, "clip.avi");
    src = JoinPath(dir, "copy.avi");
    out = JoinPath(dir, "clip.fixed.avi");
  }
  void TearDown() override {
    // Every message is a warning with the platform's caption; only the
    // question asks Yes or No.
    for (const auto& m : g_host.messages) {
      EXPECT_FALSE(m.hasCaption) << m.text;
      EXPECT_EQ(m.kind, m.text.rfind(Question(""), 0) == 0 ? kWarningYesNo : kWarningOk) << m.text;
    }
    g_settings.ErrorLength = kDefaultErrorLength;
    ResetHost();
    RemoveTree(dir);
  }
  int Run(const Bytes& d, const Bytes& s) {
    WriteBytes(dmg, d);
    WriteBytes(src, s);
    return Run();
  }
  int Run() { return Merge(out.c_str(), dmg.c_str(), src.c_str(), &made); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> t;
    for (const auto& m : g_host.messages) t.push_back(m.text);
    return t;
  }
  // On every message: which of the three files the merge holds open.
  void WatchFiles() {
    g_host.onMessage = [this] {
      held.push_back({HeldOpen(dmg), HeldOpen(src), HeldOpen(out)});
    };
  }

  std::string dir, dmg, src, out;
  int made = -1;
  std::vector<std::vector<bool>> held;
};

const std::vector<bool> kAllHeld = {true, true, true}, kNoneHeld = {false, false, false};

TEST_F(MergeFile, EmptyCopiesMakeAnEmptyOutput) {
  EXPECT_EQ(Run({}, {}), 1);
  EXPECT_TRUE(g_host.messages.empty());
  EXPECT_EQ(made, 1);
  EXPECT_TRUE(FileExists(out));
  EXPECT_TRUE(ReadBytes(out).empty());
}

TEST_F(MergeFile, OpeningFailuresAreToldAfterClosingAndMakeNoOutput) {
  WatchFiles();
  EXPECT_EQ(Run(), 0);  // no damaged file yet
  EXPECT_EQ(made, 0);
  WriteBytes(dmg, {1, 2, 3});
  EXPECT_EQ(Run(), 0);  // no source yet
  EXPECT_EQ(made, 0);
  WriteBytes(src, {1, 2});
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({"修復するファイルが開けません。",
                                               "修復用のファイルが開けません。",
                                               "ファイルサイズが一致しません。"}));
  EXPECT_EQ(held, std::vector<std::vector<bool>>(3, kNoneHeld));
  EXPECT_EQ(made, 0);
  EXPECT_FALSE(FileExists(out));
}

TEST_F(MergeFile, SizesDifferingOnlyInTheHighHalfDoNotMatch) {
  MakeSparseFile(dmg, 0x10000000Aull);
  WriteBytes(src, Bytes(10, 1));
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({"ファイルサイズが一致しません。"}));
  EXPECT_EQ(made, 0);
  EXPECT_FALSE(FileExists(out));
}

TEST_F(MergeFile, OutputNamingAnInputLeavesThatInputAlone) {
  const Bytes d = {0, 5, 0, 7}, s = {4, 5, 6, 0};
  for (const std::string* input : {&dmg, &src}) {
    ResetHost();
    WatchFiles();
    held.clear();
    WriteBytes(dmg, d);
    WriteBytes(src, s);
    EXPECT_EQ(Merge(input->c_str(), dmg.c_str(), src.c_str(), &made), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>({"書き込み先ファイルが開けません。"}));
    EXPECT_EQ(held, std::vector<std::vector<bool>>(1, kNoneHeld));
    EXPECT_EQ(made, 0);
    EXPECT_EQ(ReadBytes(dmg), d);
    EXPECT_EQ(ReadBytes(src), s);
  }
}

TEST_F(MergeFile, AnExistingOutputIsTruncated) {
  WriteBytes(out, Bytes(100000, 0xEE));
  EXPECT_EQ(Run({1, 0, 3}, {1, 2, 0}), 1);
  EXPECT_EQ(made, 1);
  EXPECT_EQ(ReadBytes(out), Bytes({1, 2, 3}));
}

TEST_F(MergeFile, ALastBlockOfOneByteIsMergedOnItsOwn) {
  Bytes d = Nonzero(65537, 1), s = d;
  d[65536] = 0;
  s[65536] = 0x55;
  EXPECT_EQ(Run(d, s), 1);
  d[65536] = 0x55;
  EXPECT_EQ(ReadBytes(out), d);
  EXPECT_TRUE(g_host.messages.empty());

  d[65536] = 0x41;
  s[65536] = 0x42;
  EXPECT_EQ(Run(d, s), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({"データが一致しません。\nAddress : 00010000 (41 / 42)"}));
  EXPECT_EQ(ReadBytes(out), Bytes(d.begin(), d.begin() + 65536));
}

TEST_F(MergeFile, ADifferingPairStopsBeforeItsBlockIsWritten) {
  Bytes d = Nonzero(3 * 65536, 2), s = d;
  d[5] = 0;
  d[0x12345] = 0x41;
  s[0x12345] = 0x42;
  WatchFiles();
  EXPECT_EQ(Run(d, s), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({"データが一致しません。\nAddress : 00012345 (41 / 42)"}));
  EXPECT_EQ(held, std::vector<std::vector<bool>>(1, kAllHeld));
  EXPECT_EQ(made, 1);
  EXPECT_EQ(ReadBytes(out), Bytes(s.begin(), s.begin() + 65536));
  EXPECT_FALSE(HeldOpen(dmg) || HeldOpen(src) || HeldOpen(out));
  EXPECT_EQ(std::remove(out.c_str()), 0);
}

// Copies of two blocks, equal and without zeros except where both hold zero
// from `from` to the end of the first block.
void ZerosToFirstBlockEnd(size_t from, Bytes* d, Bytes* s) {
  *d = Nonzero(2 * 65536, 3);
  std::fill(d->begin() + from, d->begin() + 65536, 0);
  *s = *d;
}

TEST_F(MergeFile, TheQuestionNamesTheStretchByTheCounterAtTheBlockEnd) {
  for (size_t from : {57344, 45536}) {  // a full count after equal data; a stretch beyond the count
    ResetHost();
    WatchFiles();
    held.clear();
    Bytes d, s;
    ZerosToFirstBlockEnd(from, &d, &s);
    EXPECT_EQ(Run(d, s), 0) << from;  // No stops the merge with nothing written
    ASSERT_EQ(g_host.messages.size(), 1u) << from;
    EXPECT_EQ(g_host.messages[0].text, Question("0000E000"));
    EXPECT_EQ(held, std::vector<std::vector<bool>>(1, kAllHeld));
    EXPECT_EQ(made, 1);
    EXPECT_TRUE(ReadBytes(out).empty());
  }
}

TEST_F(MergeFile, YesGoesOnAndTheQuestionIsNotAskedAgain) {
  Bytes d = Nonzero(3 * 65536 + 100, 4);
  for (size_t block = 1; block <= 3; ++block)  // a stretch at the end of each full block
    std::fill(d.begin() + block * 65536 - 10000, d.begin() + block * 65536, 0);
  const Bytes s = d;
  g_host.answerYes = 1;
  EXPECT_EQ(Run(d, s), 1);
  EXPECT_EQ(Texts(), std::vector<std::string>({Question("0000E000")}));
  EXPECT_EQ(ReadBytes(out), d);
}

TEST_F(MergeFile, StretchesEndedByEqualDataOrShortOfTheThresholdAskNothing) {
  Bytes d = Nonzero(65536, 5);
  std::fill(d.begin() + 20000, d.begin() + 30000, 0);
  EXPECT_EQ(Run(d, d), 1);
  EXPECT_EQ(ReadBytes(out), d);
  ZerosToFirstBlockEnd(57345, &d, &d);
  EXPECT_EQ(Run(d, d), 1);
  EXPECT_EQ(ReadBytes(out), d);
  EXPECT_TRUE(g_host.messages.empty());
}

TEST_F(MergeFile, TheQuestionComesBeforeTheMismatch) {
  Bytes d(65536, 0), s(65536, 0);
  d[8192] = 0x41;
  s[8192] = 0x42;
  EXPECT_EQ(Run(d, s), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({Question("00000000")}));
  EXPECT_TRUE(ReadBytes(out).empty());
  ResetHost();
  g_host.answerYes = 1;
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>(
                         {Question("00000000"), "データが一致しません。\nAddress : 00002000 (41 / 42)"}));
  EXPECT_TRUE(ReadBytes(out).empty());
}

// A short read and a failed write can be provoked only where the merge's
// inputs are not held against writers and a process can cap its file size.
#ifndef _WIN32
TEST_F(MergeFile, AReadThatComesUpShortIsReported) {
  Bytes d, s;
  ZerosToFirstBlockEnd(57344, &d, &s);
  g_host.answerYes = 1;
  g_host.onMessage = [this] { WriteBytes(src, Bytes(65536 + 10, 1)); };  // cut while asking
  EXPECT_EQ(Run(d, s), 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({Question("0000E000"), "ファイルから読み込めません。"}));
  EXPECT_EQ(ReadBytes(out), Bytes(d.begin(), d.begin() + 65536));
}

TEST_F(MergeFile, AWriteThatFailsPartWayIsReported) {
  const Bytes d = Nonzero(3 * 65536, 7);
  WriteBytes(dmg, d);
  WriteBytes(src, d);
  struct rlimit saved, limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  limit = saved;
  limit.rlim_cur = 100000;  // inside the second block
  void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const int result = Run();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(Texts(), std::vector<std::string>({"ファイルに書き込めません。"}));
  const Bytes written = ReadBytes(out);
  ASSERT_GE(written.size(), 65536u);
  EXPECT_LE(written.size(), 100000u);
  EXPECT_TRUE(std::equal(written.begin(), written.end(), d.begin()));
}
#endif

}  // namespace
