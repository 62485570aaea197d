// Every zero run against the check's own rules fed one byte at a time, over
// random files and block splits; a file's runs as a ddrescue mapfile.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>

#include "scan/mapfile.h"
#include "scan/zero_runs.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

using Bytes = std::vector<uint8_t>;
using Runs = std::vector<ByteRange>;
bool operator==(ByteRange a, ByteRange b) { return a.offset == b.offset && a.length == b.length; }

// A run: the zeros the scanner counts in a row, once t of them. ends[k]: where
// block k ends (JUNK mode's size test counts from the start of a block).
static Runs Model(const Bytes& d, const std::vector<size_t>& ends, int32_t t, int junk) {
  Runs runs;
  ZeroRunState s = {0, 0, 0};
  for (size_t i = 0, k = 0; i < d.size(); ++i) {
    const int32_t before = s.runLength;
    k += i == ends[k];
    junk ? ScanJunk(&s, &d[i], 1, INT32_MAX, d.size() - (k ? ends[k - 1] : 0))
         : ScanPlain(&s, &d[i], 1, INT32_MAX);
    if (s.runLength > before && s.runLength > t) ++runs.back().length;
    if (s.runLength > before && s.runLength == t) runs.push_back({i + 1 - t, uint64_t(t)});
  }
  return runs;
}

TEST(ZeroRuns, EveryRunAsTheModelFindsItOverRandomFilesAndSplits) {
  for (unsigned seed = 1; seed <= 300; ++seed) {
    std::mt19937 rng(seed);
    const uint32_t t = seed % 5 ? 1 + rng() % (seed % 2 ? 9 : 3000) : 70000;
    const uint32_t size = rng() % (seed % 3 ? 3000 : 200000);
    // Zero runs around t, "JUNK" letters, headers sized inside and past the end.
    Bytes d = {'R', 'I', 'F', 'F'};
    while (d.size() < size) {
      const uint32_t r = rng(), payload = r % (2 * t + 9);
      const uint32_t field = r % 2 ? payload : size - uint32_t(d.size()) + r % 16;
      if (r % 3 == 0) d.insert(d.end(), t - 1 + r % 3, 0);
      if (r % 3 == 1) d.push_back("\0JUNKx"[r % 6]);
      for (int k = 0; r % 3 == 2 && k < 8; ++k) d.push_back(k < 4 ? "JUNK"[k] : uint8_t(field >> (8 * k - 32)));
      if (r % 3 == 2) d.insert(d.end(), payload, 0);
    }
    d.resize(size);
    std::vector<size_t> ends;
    for (size_t at = 0; at < size; ends.push_back(at))
      at = std::min<size_t>(size, at + (seed % 2 ? 65536 : 1 + rng() % (rng() % 2 ? 50 : 30000)));
    for (int junk = 0; junk <= 1; ++junk) {
      ZeroRunsState s = {{0, 0, 0}, 0};
      Runs runs;
      for (size_t k = 0, at = 0; k < ends.size(); at = ends[k++]) {
        const Bytes block(d.begin() + at, d.begin() + ends[k]);  // exact: overreads show
        FindRunsInBlock(&s, block.data(), uint32_t(block.size()), int32_t(t), junk, size - at, &runs);
      }
      ASSERT_EQ(runs, Model(d, ends, int32_t(t), junk)) << "seed " << seed << " junk " << junk;
    }
  }
}

// ddrescue, given the mapfile of a file's runs, reads exactly them again.
TEST(ZeroRuns, AFilesRunsAsAMapfileDriveDdrescue) {
  EXPECT_EQ(MapfileText(0x300000000, {{0, 16}, {16, 5}, {0x8000, 0x2FFFF8000}}).substr(MapfileText(0, {}).size()),
            "0x00000000  0x00000015  ?\n0x00000015  0x00007FEB  +\n0x00008000  0x2FFFF8000  ?\n");
  const std::string dir = MakeTempDir(), copy = JoinPath(dir, "copy");
  Bytes d(300000, 'x');
  std::fill(d.begin() + 65530, d.begin() + 75000, 0);
  std::fill(d.begin() + 140000, d.end(), 0);
  WriteBytes(copy, d);
  Runs runs;
  EXPECT_EQ(FindZeroRuns(copy.c_str(), 8192, 1, &runs), 1);
  EXPECT_EQ(runs, (Runs{{65530, 9470}, {140000, 160000}}));
  EXPECT_EQ(g_host.pumpCalls, 5);
  const std::string map = MapfileText(d.size(), runs);
  WriteBytes(JoinPath(dir, "map"), Bytes(map.begin(), map.end()));
  WriteBytes(JoinPath(dir, "disc"), Bytes(300000, 'd'));
#ifndef _WIN32
  ASSERT_EQ(std::system(("cd " + dir + " && ddrescuelog -t map | grep -q 'non-tried: *169470 B'" +
                         " && ddrescue -q disc copy map").c_str()), 0);
  std::replace(d.begin(), d.end(), uint8_t(0), uint8_t('d'));
  EXPECT_EQ(ReadBytes(copy), d);
#endif
  RemoveTree(dir);
}
