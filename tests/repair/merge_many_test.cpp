// The several-copy merge against a position-by-position model over random
// copies and block splits; files, and one source against the two-copy merge.
#include <gtest/gtest.h>

#include <random>

#include "common/settings.h"
#include "repair/merge_file.h"
#include "repair/merge_many.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

using Bytes = std::vector<uint8_t>;
using Copies = std::vector<Bytes>;
bool operator==(ByteRange a, ByteRange b) { return a.offset == b.offset && a.length == b.length; }
struct Outcome {
  Bytes out;
  MergeReport r;
  int64_t question, stop;
  bool operator==(const Outcome& o) const {
    return std::tie(out, r.taken, r.voted, r.votedRanges, r.unsupplied, question, stop) ==
           std::tie(o.out, o.r.taken, o.r.voted, o.r.votedRanges, o.r.unsupplied, o.question, o.stop);
  }
};

static std::vector<ByteRange> Stretches(const std::vector<bool>& at, uint64_t min) {
  std::vector<ByteRange> ranges;
  for (uint64_t a = 0, b = 0; a < at.size(); a = ++b) {
    while (b < at.size() && at[b]) ++b;
    if (b - a >= min && b > a) ranges.push_back({a, b - a});
  }
  return ranges;
}

static Outcome Model(const Copies& c, int32_t t) {
  Outcome m = {c[0], {std::vector<uint64_t>(c.size() - 1), 0, {}, {}}, -1, -1};
  std::vector<bool> voted, zero;
  for (int32_t i = 0, counter = 0; i < int32_t(c[0].size()) && m.stop < 0; ++i) {
    int held[256] = {}, nonZero = 0, best = 0;
    for (const Bytes& x : c)
      if (x[i] && ++nonZero && ++held[x[i]] > held[best]) best = x[i];
    if (2 * held[best] <= nonZero && nonZero > 0 && (m.stop = i) >= 0) break;
    zero.push_back(nonZero == 0);
    voted.push_back(held[best] < nonZero);
    m.r.voted += voted.back();
    if (zero.back() && counter < t && ++counter == t && m.question < 0) m.question = i + 1 - t;
    counter = held[best] == int(c.size()) ? 0 : counter;
    auto from = std::find_if(c.begin() + 1, c.end(), [&](const Bytes& x) { return x[i] == best; });
    if (best && !c[0][i]) ++m.r.taken[from - c.begin() - 1];
    m.out[i] = uint8_t(best);
  }
  m.r.votedRanges = Stretches(voted, 1);
  m.r.unsupplied = Stretches(zero, t);
  return m;
}

// Copies of random bytes (one in six zero), each with zeroed or altered stretches.
static Copies MakeCopies(std::mt19937& rng, size_t count, size_t size, uint32_t t) {
  Bytes original(size);
  for (uint8_t& b : original) b = rng() % 6 ? uint8_t(rng()) : 0;
  Copies c(count, original);
  for (Bytes& x : c) {
    for (int k = rng() % 6; k > 0 && size > 0; --k) {
      const size_t at = rng() % size, n = std::min<size_t>(size - at, rng() % (3 * t));
      std::fill_n(x.begin() + at, n, rng() % 5 ? 0 : uint8_t(rng()));
    }
  }
  return c;
}

TEST(MergeMany, BlocksAgreeWithTheModelOverRandomCopiesAndSplits) {
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    const int32_t t = 1 + rng() % (seed % 2 ? 20 : 3000);
    Copies c = MakeCopies(rng, 2 + seed % 4, rng() % (seed % 3 ? 4000 : 200000), t);
    const Outcome want = Model(c, t);
    Outcome o = {{}, {std::vector<uint64_t>(c.size() - 1), 0, {}, {}}, -1, -1};
    MergeState s = {0, 0, 0, 0};
    for (uint64_t from = 0; (from = s.position) < c[0].size() && o.stop < 0;) {
      const uint32_t n = uint32_t(std::min<uint64_t>(c[0].size() - from, rng() % 2 ? 65536 : 1 + rng() % 300));
      Copies block;  // exactly the block, so overreads show
      std::vector<uint8_t*> at;
      for (Bytes& x : c) at.push_back(block.emplace_back(x.begin() + from, x.begin() + from + n).data());
      const uint32_t passed = MergeManyBlock(&s, at.data(), int(c.size()), n, t, &o.r);
      std::copy(block[0].begin(), block[0].end(), c[0].begin() + from);
      if (s.zeroRun == t && !s.asked) o.question = s.position - t, s.asked = 1;
      else if (passed < n) o.stop = s.position;
    }
    o.out = c[0];
    ASSERT_TRUE(o == want) << "seed " << seed;
  }
}

// One source: the output and warnings of the two-copy merge (Yes to its
// question); a dry run finds the same; a No stops; three copies name every byte.
TEST(MergeMany, FilesMergeAsTheTwoCopyMerge) {
  const std::string dir = MakeTempDir(), out = JoinPath(dir, "out"), two = JoinPath(dir, "two");
  const std::string names[] = {JoinPath(dir, "0"), JoinPath(dir, "1"), JoinPath(dir, "2")};
  const char* paths[] = {names[0].c_str(), names[1].c_str(), names[2].c_str()};
  auto warnings = [] { std::string w; for (auto& m : g_host.messages) w += m.kind == kWarningOk ? m.text : ""; return w; };
  MergeReport r, dry;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    const Copies c = MakeCopies(rng, 2, 100000 + rng() % 100000, 9000);
    WriteBytes(names[0], c[0]), WriteBytes(names[1], c[1]);
    ResetHost();
    g_host.answerYes = 1;
    const int merged = Merge(two.c_str(), paths[0], paths[1], nullptr);
    const std::string want = warnings();
    const FileHandle file = CreateAlways(out.c_str(), nullptr, 0);
    EXPECT_EQ(MergeMany(file, paths, 2, 8192, &r), merged) << seed;
    CloseFile(file);
    EXPECT_EQ(ReadBytes(out), ReadBytes(two)) << seed;
    EXPECT_EQ(MergeMany(kNoFile, paths, 2, 8192, &dry), merged) << seed;
    EXPECT_EQ(warnings(), want + want + want) << seed;
    EXPECT_TRUE((Outcome{{}, r, 0, 0} == Outcome{{}, dry, 0, 0})) << seed;
  }
  WriteBytes(names[0], Bytes(9000, 0)), WriteBytes(names[1], Bytes(9000, 0));
  ResetHost();
  const FileHandle file = CreateAlways(out.c_str(), nullptr, 0);
  EXPECT_EQ(MergeMany(file, paths, 2, 8192, &r), 0);
  CloseFile(file);
  EXPECT_EQ(MergeMany(kNoFile, paths, 2, 8192, &dry), 1);
  EXPECT_EQ(ReadBytes(out).size() + g_host.messages.size() + dry.unsupplied.at(0).length, 9001u);
  EXPECT_EQ(g_host.messages.at(0).text, "修復できません。処理を続行しますか?\nAddress : 00000000");
  WriteBytes(names[0], {0, 1, 2, 0}), WriteBytes(names[1], {0, 1, 3, 0}), WriteBytes(names[2], {0, 0, 4, 0});
  EXPECT_EQ(MergeMany(kNoFile, paths, 3, 8192, &r), 0);
  EXPECT_EQ(g_host.messages.back().text, "データが一致しません。\nAddress : 00000002 (02 / 03 / 04)");
  RemoveTree(dir);
}
