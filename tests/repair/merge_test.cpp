// The merger against a byte loop of the merge rule: both forms of the block
// merge over random copies and splits, and the file-level merge on real files
// with the recording message seam.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>

#include "common/file_io.h"
#include "common/offset_text.h"
#include "common/settings.h"
#include "repair/merge_block.h"
#include "repair/merge_file.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"
#ifndef _WIN32
#include <sys/resource.h>
#endif

typedef std::vector<uint8_t> Bytes;
typedef std::vector<std::string> Texts;

// The rule position by position. Returns n, the index of a differing pair,
// or (index + 1) of the position that brought the counter to the threshold.
static uint32_t ModelMerge(uint8_t* d, const uint8_t* s, uint32_t n, int32_t* run, int32_t t) {
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t a = d[i], b = s[i];
    if (a != 0 && b != 0 && a != b) return i;
    if (a == 0) d[i] = b;
    if (a != 0 && a == b) *run = 0;
    if (a == 0 && b == 0 && *run < t && ++*run == t) return i + 1;
  }
  return n;
}

// Stretches equal (zeros among the data or not), zero in both, zero on one
// side only, and with kinds == 8 also disagreeing.
static void MakeCopies(std::mt19937& rng, size_t size, Bytes* d, Bytes* s, uint32_t kinds) {
  while (d->size() < size) {
    const uint32_t kind = rng() % kinds, len = 1 + rng() % (rng() % 2 ? 24 : 12000);
    for (uint32_t i = 0; i < len && d->size() < size; ++i) {
      const uint8_t r = uint8_t(rng()), data = uint8_t(1 + rng() % 255), some = rng() % 8 ? data : 0;
      const uint8_t small = uint8_t(rng() % 3), other = rng() % 16 ? small : uint8_t(rng() % 3);
      const uint8_t pairs[8][2] = {{r, r}, {data, data}, {0, 0}, {0, some}, {some, 0}, {0, r}, {r, 0}, {small, other}};
      d->push_back(pairs[kind][0]);
      s->push_back(pairs[kind][1]);
    }
  }
}

TEST(MergeBlock, BothFormsAgreeWithTheModelOverRandomCopiesAndSplits) {
  std::mt19937 rng(11);
  const int32_t thresholds[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 63, 64, 65, 8192, INT32_MAX};
  for (int trial = 0; trial < 400; ++trial) {
    const int32_t t = trial % 15 < 14 ? thresholds[trial % 15] : int32_t(1 + rng() % 20000);
    Bytes d, s;
    MakeCopies(rng, 1 + rng() % 150000, &d, &s, 8);
    for (auto merge : {MergeBlock, MergeBlockPortable}) {
      Bytes got = d, want = d;
      // Carried in from an earlier block: up to the threshold, often close to it.
      int32_t run = t - int32_t(std::min<uint32_t>(rng() % 2 ? rng() % 70 : rng(), uint32_t(t))), wantRun = run;
      for (size_t at = 0; at < d.size();) {
        const uint32_t len = uint32_t(std::min<size_t>(d.size() - at, 1 + rng() % (rng() % 3 ? 70000 : 40)));
        const uint32_t n = merge(got.data() + at, s.data() + at, len, &run, t);
        ASSERT_EQ(n, ModelMerge(want.data() + at, s.data() + at, len, &wantRun, t)) << trial << " at " << at;
        ASSERT_EQ(run, wantRun) << trial << " at " << at;
        at += n == 0 ? 1 : n;  // past a differing pair, the rest as a block of its own
      }
      ASSERT_EQ(got, want) << trial;
    }
  }
}

// The messages of a whole merge, and into *out the blocks written before a stop.
static Texts ModelFile(Bytes d, const Bytes& s, int32_t t, bool yes, Bytes* out) {
  Texts texts;
  int32_t run = 0;
  bool asked = false, stop = false;
  for (size_t i = 0; i < d.size() && !stop; ++i) {
    const int32_t before = run;
    char text[80], offset[kOffsetTextSize];
    if ((stop = ModelMerge(&d[i], &s[i], 1, &run, t) == 0)) {
      FormatOffset(i, offset);
      std::snprintf(text, sizeof text, "データが一致しません。\nAddress : %s (%02X / %02X)", offset, d[i], s[i]);
      texts.push_back(text);
    } else if (run == t && before < t && !asked) {
      FormatOffset(i + 1 - uint64_t(t), offset);
      texts.push_back(std::string("修復できません。処理を続行しますか?\nAddress : ") + offset);
      stop = !(asked = yes);
    }
    if (stop) d.resize(i / 65536 * 65536);
  }
  *out = d;
  return texts;
}

class MergeFile : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTree(dir); }
  // The messages, each marked with the files held open meanwhile, "!" for a
  // caption or a wrong kind.
  Texts Run(const std::string& output) {
    Texts texts;
    g_host.messages.clear();
    g_host.onMessage = [&] {
      const RecordedMessage& m = g_host.messages.back();
      const bool wrong = m.hasCaption || m.kind != (m.text.rfind("修復できません。", 0) ? kWarningOk : kWarningYesNo);
      texts.push_back(m.text + (wrong ? "!" : "") + (HeldOpen(dmg) ? " D" : "") + (HeldOpen(src) ? " S" : "") +
                      (HeldOpen(out) ? " O" : ""));
      if (during) during();
    };
    result = Merge(output.c_str(), dmg.c_str(), src.c_str(), &made);
    EXPECT_FALSE(HeldOpen(dmg) || HeldOpen(src) || HeldOpen(out));
    return texts;
  }
  // Merges d and s over an earlier, longer output as the model does; returns
  // the model's messages.
  Texts Check(const Bytes& d, const Bytes& s, int32_t t, bool yes) {
    g_settings.ErrorLength = t;
    g_host.answerYes = yes;
    WriteBytes(dmg, d);
    WriteBytes(src, s);
    WriteBytes(out, Bytes(d.size() + 70000, 0xEE));
    Bytes wantOut;
    const Texts want = ModelFile(d, s, t, yes, &wantOut);
    Texts held = want;
    for (std::string& text : held) text += " D S O";
    EXPECT_EQ(Run(out), held);
    EXPECT_EQ(result + made, wantOut.size() == d.size() ? 2 : 1);
    EXPECT_EQ(ReadBytes(out), wantOut);
    g_settings.ErrorLength = kDefaultErrorLength;
    return want;
  }
  std::string dir = MakeTempDir(), dmg = JoinPath(dir, "clip.avi"), src = JoinPath(dir, "copy.avi"),
              out = JoinPath(dir, "clip.fixed.avi");
  int result = -1, made = -1;
  std::function<void()> during;  // runs while a message is shown
};

TEST_F(MergeFile, OutputsAndMessagesAgreeWithTheModel) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 30; ++trial) {
    Bytes d, s;
    MakeCopies(rng, rng() % (trial % 3 ? 300000 : 70000), &d, &s, trial % 4 ? 7 : 8);
    Check(d, s, std::vector<int32_t>{8192, 100, 20000, int32_t(1 + rng() % 70000)}[trial % 4], rng() % 2);
    ASSERT_FALSE(HasFailure()) << trial;
  }
}

// Shared zeros are asked about by their first zero, wherever in a block they
// reach the threshold, once per merge, and before the mismatch message.
TEST_F(MergeFile, TheQuestionAndTheMismatch) {
  Bytes d(4 * 65536), s;
  for (size_t i = 0; i < d.size(); ++i) d[i] = uint8_t(i < 100000 || i >= 110000 ? 1 + i % 251 : 0);
  std::fill(d.begin() + 150000, d.begin() + 170000, 0);
  s = d;
  d[123456] = 0x41;
  s[123456] = 0x42;
  const std::string ask = "修復できません。処理を続行しますか?\nAddress : ",
                    mismatch = "データが一致しません。\nAddress : 0001E240 (41 / 42)";
  EXPECT_EQ(Check(d, d, 8192, false), Texts{ask + "000186A0"});
  EXPECT_EQ(Check(d, d, 8192, true), Texts{ask + "000186A0"});
  EXPECT_EQ(Check(d, d, 10001, true), Texts{ask + "000249F0"});
  EXPECT_EQ(Check(d, s, 8192, true), (Texts{ask + "000186A0", mismatch}));
  EXPECT_EQ(Check(d, s, 65536, true), Texts{mismatch});
  EXPECT_EQ(Check({}, {}, 8192, false), Texts{});
}

TEST_F(MergeFile, FailuresBeforeTheMergeAreToldAfterClosingAndMakeNoOutput) {
  EXPECT_EQ(Run(out), Texts{"修復するファイルが開けません。"});
  WriteBytes(dmg, {0, 5, 0});
  EXPECT_EQ(Run(out), Texts{"修復用のファイルが開けません。"});
  WriteBytes(src, {4, 5});
  EXPECT_EQ(Run(out), Texts{"ファイルサイズが一致しません。"});
  WriteBytes(src, {4, 5, 6});
  for (const std::string& output : {dir, dmg, src}) EXPECT_EQ(Run(output), Texts{"書き込み先ファイルが開けません。"});
  EXPECT_EQ(result + made, 0);
  EXPECT_EQ(ReadBytes(dmg), Bytes({0, 5, 0}));
  EXPECT_EQ(ReadBytes(src), Bytes({4, 5, 6}));
  EXPECT_EQ(FileExists(out) + RemoveFile(dmg.c_str()) + RemoveFile(dmg.c_str()), 1);
}

// Short reads and failed writes can be provoked only where the inputs are not
// held against writers and a process can cap its file size.
#ifndef _WIN32
TEST_F(MergeFile, AShortReadAndAFailedWrite) {
  Bytes d(3 * 65536, 7);
  std::fill(d.begin() + 100, d.begin() + 9000, 0);
  g_host.answerYes = 1;
  during = [&] { WriteBytes(src, Bytes(65536 + 10, 7)); };  // cut while asking
  for (const std::string failure : {"ファイルから読み込めません。", "ファイルに書き込めません。"}) {
    WriteBytes(dmg, d);
    WriteBytes(src, d);
    struct rlimit saved, limit;
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = saved;
    limit.rlim_cur = during ? saved.rlim_cur : 100000;  // inside the second block
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    const Texts texts = Run(out);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);
    EXPECT_EQ(texts, (Texts{"修復できません。処理を続行しますか?\nAddress : 00000064 D S O", failure + " D S O"}));
    EXPECT_EQ(ReadBytes(out).size() / 65536, 1u);
    during = nullptr;
  }
}
#endif
