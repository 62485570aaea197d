// Every zero run of a file, and the merge of several copies, each against a
// byte-by-byte model over random data and block splits; files; ddrescue.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "common/vector_forms.h"
#include "repair/merge_many.h"
#include "scan/mapfile.h"
#include "scan/zero_runs.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

using Bytes = std::vector<uint8_t>;
using Ranges = std::vector<ByteRange>;
bool operator==(ByteRange a, ByteRange b) { return a.offset == b.offset && a.length == b.length; }

static Ranges Stretches(const std::vector<bool>& at, uint64_t min) {  // where at[] holds, >= min
  Ranges ranges;
  for (uint64_t a = 0, b = 0; a < at.size(); a = ++b)
    if ((b = std::find(at.begin() + a, at.end(), false) - at.begin()) - a >= std::max<uint64_t>(min, 1))
      ranges.push_back({a, b - a});
  return ranges;
}

static Bytes Data(std::mt19937& rng, uint32_t size, uint32_t t) {  // "RIFF", runs, JUNK, noise
  Bytes d = {'R', 'I', 'F', 'F'};
  for (uint32_t r = rng(), f = 0; d.size() < size; r = rng()) {
    d.insert(d.end(), r % 4 ? 0 : t - 1 + (r >> 8) % 3, 0);
    d.insert(d.end(), r % 4 == 1, "\0JUNKx"[(r >> 8) % 6]);
    d.insert(d.end(), r % 4 == 3 ? r >> 8 & 15 : 0, uint8_t(r >> 16));
    f = r % 2 ? (r >> 8) % (2 * t + 9) : size - uint32_t(d.size()) + r % 16;
    for (uint32_t k = 0; r % 4 == 2 && k < 8 + std::min(f, 3 * t); ++k)
      d.push_back(k < 4 ? "JUNK"[k] : k < 8 ? uint8_t(f >> (8 * k - 32)) : 0);
  }
  d.resize(size);
  return d;
}

TEST(ZeroRuns, EveryRunAsTheModelFindsItOverRandomFilesAndSplits) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const uint32_t t = seed % 5 ? 1 + rng() % (seed % 2 ? 9 : 3000) : 70000;
    const uint32_t size = rng() % (seed % 3 ? 3000 : 200000);
    const Bytes d = Data(rng, size, t);
    std::vector<size_t> ends;  // of the blocks
    for (size_t at = 0; at < size; ends.push_back(at))
      at = std::min<size_t>(size, at + (seed % 2 ? 65536 : 1 + rng() % (rng() % 2 ? 50 : 30000)));
    for (int junk = 0; junk <= 1; ++junk) {
      ZeroRunsState s = {{0, 0, 0}, 0};  // model: t or more zeros the scanner counts in a row
      std::vector<bool> counted;
      for (size_t i = 0, k = 0; i < size; ++i) {
        const int32_t before = s.scan.runLength;
        k += i == ends[k];  // the JUNK size test looks from the start of the block
        junk ? ScanJunk(&s.scan, &d[i], 1, 0x7FFFFFFF, size - (k ? ends[k - 1] : 0))
             : ScanPlain(&s.scan, &d[i], 1, 0x7FFFFFFF);
        counted.push_back(s.scan.runLength > before);
      }
      s = {{0, 0, 0}, 0};
      Ranges runs;
      for (size_t k = 0, at = 0; k < ends.size(); at = ends[k++]) {
        const Bytes block(d.begin() + at, d.begin() + ends[k]);  // exact: overreads show
        FindRunsInBlock(&s, block.data(), uint32_t(block.size()), int32_t(t), junk, size - at, &runs);
      }
      ASSERT_EQ(runs, Stretches(counted, t)) << "seed " << seed << " junk " << junk;
    }
  }
}

struct Outcome { Bytes out; MergeReport r; int64_t question, stop; };
static auto Key(const Outcome& o) {
  return std::tie(o.out, o.r.taken, o.r.voted, o.r.votedRanges, o.r.unsupplied, o.question, o.stop);
}

static Outcome MergeModel(const std::vector<Bytes>& c, int32_t t) {  // position by position
  Outcome m = {c[0], {std::vector<uint64_t>(c.size() - 1), 0, {}, {}}, -1, -1};
  std::vector<bool> voted, zero;
  for (int32_t i = 0, counter = 0; i < int32_t(c[0].size()); ++i) {
    int held[256] = {}, nonZero = 0, best = 0;
    for (const Bytes& x : c)
      if (x[i] && ++nonZero && ++held[x[i]] > held[best]) best = x[i];
    if (2 * held[best] <= nonZero && nonZero > 0 && (m.stop = i) >= 0) break;
    zero.push_back(nonZero == 0), voted.push_back(held[best] < nonZero);
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

TEST(MergeMany, BlocksAgreeWithTheModelOverRandomCopiesAndSplits) {
  const int sse2 = g_useSse2;
  for (unsigned seed = 1; seed <= 400; ++seed) {
    std::mt19937 rng(seed);
    g_useSse2 = sse2 && seed % 2;  // the portable form on every other seed
    const uint32_t t = 1 + rng() % (seed % 2 ? 20 : 3000), size = rng() % (seed % 3 ? 4000 : 200000);
    std::vector<Bytes> c(2 + seed % 4, Data(rng, size, t));
    for (size_t k = 0, n = rng() % 6 * c.size(); size > 0 && k < n; ++k) {  // zeroed, altered
      const size_t at = rng() % size, length = std::min<size_t>(size - at, rng() % (3 * t));
      std::fill_n(c[k % c.size()].begin() + at, length, rng() % 5 ? 0 : uint8_t(rng()));
    }
    const Outcome want = MergeModel(c, int32_t(t));
    Outcome o = {{}, {std::vector<uint64_t>(c.size() - 1), 0, {}, {}}, -1, -1};
    MergeState s = {0, 0, 0, 0};
    for (uint64_t at = 0; (at = s.position) < size && o.stop < 0;) {
      const uint32_t n = uint32_t(std::min<uint64_t>(size - at, rng() % 2 ? 65536 : 1 + rng() % 300));
      std::vector<Bytes> block;  // exactly the block, so overreads show
      std::vector<uint8_t*> p;
      for (Bytes& x : c) p.push_back(block.emplace_back(x.begin() + at, x.begin() + at + n).data());
      const uint32_t passed = MergeManyBlock(&s, p.data(), int(c.size()), n, int32_t(t), &o.r);
      std::copy(block[0].begin(), block[0].end(), c[0].begin() + at);
      if (s.zeroRun == int32_t(t) && !s.asked) o.question = s.position - t, s.asked = 1;
      else if (passed < n) o.stop = s.position;
    }
    o.out = c[0];
    ASSERT_TRUE(Key(o) == Key(want)) << "seed " << seed;
  }
  g_useSse2 = sse2;
}

// A No stops, a dry run asks nothing, three copies name each byte; ddrescuelog.
TEST(MergeMany, FilesAndMapfiles) {
  const std::string dir = MakeTempDir(), out = JoinPath(dir, "out");
  const std::string names[] = {JoinPath(dir, "0"), JoinPath(dir, "1"), JoinPath(dir, "2")};
  const char* paths[] = {names[0].c_str(), names[1].c_str(), names[2].c_str()};
  WriteBytes(names[0], Bytes(9000, 0)), WriteBytes(names[1], Bytes(9000, 0));
  MergeReport r, dry;
  const FileHandle file = CreateAlways(out.c_str(), nullptr, 0);
  EXPECT_EQ(MergeMany(file, paths, 2, 8192, &r) + MergeMany(kNoFile, paths, 2, 8192, &dry), 1);
  CloseFile(file);
  EXPECT_EQ(ReadBytes(out).size() + g_host.messages.size() + dry.unsupplied.at(0).length, 9001u);
  EXPECT_EQ(g_host.messages.at(0).text, "修復できません。処理を続行しますか?\nAddress : 00000000");
  WriteBytes(names[0], {0, 1, 2, 0}), WriteBytes(names[1], {0, 1, 3, 0}), WriteBytes(names[2], {0, 0, 4, 0});
  EXPECT_EQ(MergeMany(kNoFile, paths, 3, 8192, &r), 0);
  EXPECT_EQ(g_host.messages.back().text, "データが一致しません。\nAddress : 00000002 (02 / 03 / 04)");
  EXPECT_EQ(MapfileText(0x300000000, {{0, 16}, {16, 5}, {0x8000, 0x2FFFF8000}}).substr(141),
            "0x00000000  0x00000015  ?\n0x00000015  0x00007FEB  +\n0x00008000  0x2FFFF8000  ?\n");
  Bytes d(300000, 'x');
  std::fill(d.begin() + 65530, d.begin() + 75000, 0), std::fill(d.begin() + 140000, d.end(), 0);
  WriteBytes(names[0], d);
  Ranges runs;
  EXPECT_EQ(FindZeroRuns(paths[0], 8192, 1, &runs) + g_host.pumpCalls, 6);
  EXPECT_EQ(runs, (Ranges{{65530, 9470}, {140000, 160000}}));
  const std::string map = MapfileText(d.size(), runs);
  WriteBytes(JoinPath(dir, "map"), Bytes(map.begin(), map.end()));
#ifndef _WIN32
  EXPECT_EQ(std::system(("ddrescuelog -t " + dir + "/map | grep -q 'non-tried: *169470 B'").c_str()), 0);
#endif
  RemoveTree(dir);
}
