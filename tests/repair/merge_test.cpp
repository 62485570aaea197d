// The block merge in both forms and the merge of real files, against a byte loop.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <random>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "common/file_io.h"
#include "common/offset_text.h"
#include "common/settings.h"
#include "repair/merge_block.h"
#include "repair/merge_file.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

typedef std::vector<uint8_t> Bytes;
typedef std::vector<std::string> Texts;

// Returns n, a differing pair's index, or 1 + that of the position bringing run to t.
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

// The messages of a whole merge, shown with all three files open, and the blocks written before a stop.
static std::pair<Texts, Bytes> ModelFile(Bytes d, const Bytes& s, int32_t t, bool yes) {
  Texts texts;
  char text[128], offset[kOffsetTextSize];
  int32_t run = 0, asked = 0, stop = 0;
  for (size_t i = 0; i < d.size() && !stop; ++i) {
    const int32_t before = run;
    if ((stop = ModelMerge(&d[i], &s[i], 1, &run, t) == 0)) {
      FormatOffset(i, offset);
      std::snprintf(text, sizeof text, "データが一致しません。\nAddress : %s (%02X / %02X) D S O", offset, d[i], s[i]);
      texts.push_back(text);
    } else if (run == t && before < t && !asked) {
      FormatOffset(i + 1 - uint64_t(t), offset);
      texts.push_back(std::string("修復できません。処理を続行しますか?\nAddress : ") + offset + " D S O");
      stop = !(asked = yes);
    }
    if (stop) d.resize(i / 65536 * 65536);
  }
  return {texts, d};
}

// Stretches equal, zero in both, zero on one side, and with kinds == 8 also differing.
static void MakeCopies(std::mt19937& rng, size_t size, Bytes* d, Bytes* s, uint32_t kinds) {
  for (uint32_t kind = 0, len = 0; d->size() < size; len ? --len : (kind = rng() % kinds, len = rng() % 6000)) {
    const uint8_t r = uint8_t(rng()), x = uint8_t(1 + rng() % 255), some = rng() % 8 ? x : 0, y = uint8_t(rng() % 3);
    const uint8_t pairs[8][2] = {{r, r}, {x, x}, {0, 0}, {0, some}, {some, 0}, {0, r}, {r, 0}, {y, uint8_t(rng() % 16 ? y : rng() % 3)}};
    d->push_back(pairs[kind][0]), s->push_back(pairs[kind][1]);
  }
}

class Merge : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTree(dir); }
  // The messages, marked with the files held open meanwhile, "!" for a wrong look.
  Texts Run(const std::string& output) {
    Texts texts;
    bool failed = false;  // told of a failure, so the result must be 0
    g_host.messages.clear();
    g_host.onMessage = [&] {
      const RecordedMessage& m = g_host.messages.back();
      failed |= m.text.rfind("修復でき", 0) != 0;  // anything but the question
      texts.push_back(m.text + (m.hasCaption || m.kind != (failed ? kWarningOk : kWarningYesNo) ? "!" : "") +
                      (HeldOpen(dmg) ? " D" : "") + (HeldOpen(src) ? " S" : "") + (HeldOpen(out) ? " O" : ""));
    };
    result = ::Merge(output.c_str(), dmg.c_str(), src.c_str(), &made);
    EXPECT_FALSE(HeldOpen(dmg) || HeldOpen(src) || HeldOpen(out) || (failed && result));
    return texts;
  }
  // Merges over a longer earlier output as the model does; the model's messages.
  Texts Check(const Bytes& d, const Bytes& s, int32_t t, bool yes) {
    g_settings.ErrorLength = t, g_host.answerYes = yes;
    WriteBytes(dmg, d), WriteBytes(src, s), WriteBytes(out, Bytes(d.size() + 70000, 0xEE));
    const auto [want, wantOut] = ModelFile(d, s, t, yes);
    EXPECT_EQ(Run(out), want);
    EXPECT_EQ(result + made, wantOut.size() == d.size() ? 2 : 1);
    EXPECT_EQ(ReadBytes(out), wantOut);
    return want;
  }
  std::string dir = MakeTempDir(), dmg = JoinPath(dir, "d"), src = JoinPath(dir, "s"), out = JoinPath(dir, "o");
  int result = -1, made = -1;
};

TEST_F(Merge, BlocksInBothFormsAndWholeFilesAgreeWithTheModel) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t t = std::vector<int32_t>{1, 2, 3, 7, 8, 9, 15, 16, 17, 63, 64, 65, 8192, INT32_MAX,
                                           int32_t(1 + rng() % 20000)}[trial % 15];
    Bytes d, s;
    MakeCopies(rng, rng() % (trial % 5 ? 100000 : 300000), &d, &s, trial % 4 ? 8 : 7);
    if (trial % 10 == 0) Check(d, s, trial % 20 ? t : 8192, rng() % 2);
    for (auto merge : {MergeBlock, MergeBlockPortable}) {
      Bytes got = d, want = d;
      int32_t run = t - int32_t(std::min<uint32_t>(rng() % 2 ? rng() % 70 : rng(), t)), wantRun = run;  // carried in
      for (size_t at = 0, n; at < d.size(); at += n ? n : 1) {  // after a differing pair, the rest
        const uint32_t len = uint32_t(std::min<size_t>(d.size() - at, 1 + rng() % (rng() % 3 ? 70000 : 40)));
        n = merge(got.data() + at, s.data() + at, len, &run, t);
        ASSERT_EQ(n, ModelMerge(want.data() + at, s.data() + at, len, &wantRun, t)) << trial << " at " << at;
        ASSERT_EQ(run, wantRun) << trial << " at " << at;
      }
      ASSERT_EQ(got, want) << trial;
    }
  }
}

// Shared zeros are asked about once, by their first zero, before a mismatch.
TEST_F(Merge, TheQuestionAndTheMismatch) {
  Bytes d(4 * 65536);  // both copies zero at 100000..109999 and 150000..159999
  for (size_t i = 0; i < d.size(); ++i) d[i] = uint8_t(i / 10000 == 10 || i / 10000 == 15 ? 0 : 1 + i % 251);
  Bytes s = d;
  d[123456] = 0x41, s[123456] = 0x42;
  const std::string ask = "修復できません。処理を続行しますか?\nAddress : 000186A0 D S O",
                    mismatch = "データが一致しません。\nAddress : 0001E240 (41 / 42) D S O";
  EXPECT_EQ(Check(d, d, 8192, false), Texts{ask});
  EXPECT_EQ(Check(d, d, 8192, true), Texts{ask});
  EXPECT_EQ(Check(d, d, 10001, true), Texts{});
  EXPECT_EQ(Check(d, s, 8192, true), (Texts{ask, mismatch}));
  EXPECT_EQ(Check({}, {}, 8192, false), Texts{});
}

TEST_F(Merge, FailuresBeforeTheMergeAreToldAfterClosingAndMakeNoOutput) {
  EXPECT_EQ(Run(out), Texts{"修復するファイルが開けません。"});
  WriteBytes(dmg, {0, 5, 0});
  EXPECT_EQ(Run(out), Texts{"修復用のファイルが開けません。"});
  WriteBytes(src, {4, 5});
  EXPECT_EQ(Run(out), Texts{"ファイルサイズが一致しません。"});
  WriteBytes(src, {4, 5, 6});
  for (const std::string& output : {dir, dmg, src}) EXPECT_EQ(Run(output), Texts{"書き込み先ファイルが開けません。"});
  EXPECT_EQ(result + made, 0);
  EXPECT_EQ(ReadBytes(dmg).size() + ReadBytes(src).size(), 6u);  // no input cut
  EXPECT_EQ(FileExists(out) + RemoveFile(dmg.c_str()) + RemoveFile(dmg.c_str()), 1);
#ifndef _WIN32  // a file that tells a size its reads fall short of
  dmg = src = "/sys/devices/system/cpu/online";
  EXPECT_EQ(Run(out), Texts{"ファイルから読み込めません。 D S O"});
  dmg = JoinPath(dir, "d2"), src = JoinPath(dir, "s2");
  WriteBytes(dmg, Bytes(70000, 1)), WriteBytes(src, Bytes(70000, 1));
  rlimit limit = {1000, RLIM_INFINITY};  // a write past it fails, as on a full disk
  signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &limit);
  EXPECT_EQ(Run(out), Texts{"ファイルに書き込めません。 D S O"});
  limit.rlim_cur = RLIM_INFINITY, setrlimit(RLIMIT_FSIZE, &limit);
#endif
}
