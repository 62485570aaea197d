#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "repair/merge_block.h"

namespace {

// The merge rule position by position, one branch per row of its table.
uint32_t ReferenceMerge(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                        int32_t threshold) {
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t d = dmg[i], s = src[i];
    if (d != 0 && s == d) {
      *zeroRun = 0;
    } else if (d == 0 && s == 0) {
      if (*zeroRun != threshold) ++*zeroRun;
    } else if (d == 0) {
      dmg[i] = s;
    } else if (s != 0) {
      return i;
    }
  }
  return n;
}

// Stretches as two damaged copies hold them: intact and equal (zeros among the
// data or not), both zero, zero on one side only, and now and then a short
// stretch of small values where the copies disagree.
void MakeCopies(std::mt19937& rng, size_t size, std::vector<uint8_t>* d, std::vector<uint8_t>* s) {
  d->clear();
  s->clear();
  while (d->size() < size) {
    const int kind = static_cast<int>(rng() % 11);
    const size_t len = std::min<size_t>(size - d->size(), 1 + rng() % (rng() % 2 ? 24 : 12000));
    for (size_t i = 0; i < len; ++i) {
      uint8_t a = static_cast<uint8_t>(rng()), b = a;
      const uint8_t nonzero = static_cast<uint8_t>(1 + rng() % 255);
      switch (kind) {
        case 0: case 1: case 2: break;
        case 3: a = b = nonzero; break;
        case 4: case 5: a = b = 0; break;
        case 6: a = 0; b = rng() % 8 ? nonzero : 0; break;
        case 7: b = 0; a = rng() % 8 ? nonzero : 0; break;
        case 8: a = 0; break;
        case 9: b = 0; break;
        default: a = rng() % 3; b = rng() % 3; if (rng() % 64) b = a; break;
      }
      d->push_back(a);
      s->push_back(b);
    }
  }
}

TEST(MergeBlock, EachRowOfTheRule) {
  // D, S -> kept byte, counter after (from 5, threshold 9), positions passed.
  const struct { uint8_t d, s, kept; int32_t run; uint32_t passed; } rows[] = {
      {0x33, 0x33, 0x33, 0, 1}, {0, 0, 0, 6, 1},         {0, 0x7F, 0x7F, 5, 1},
      {0x7F, 0, 0x7F, 5, 1},    {0x41, 0x42, 0x41, 5, 0},
  };
  for (const auto& r : rows) {
    uint8_t d = r.d;
    int32_t run = 5;
    EXPECT_EQ(MergeBlock(&d, &r.s, 1, &run, 9), r.passed) << int(r.d) << "/" << int(r.s);
    EXPECT_EQ(d, r.kept) << int(r.d) << "/" << int(r.s);
    EXPECT_EQ(run, r.run) << int(r.d) << "/" << int(r.s);
  }
}

using MergeFunction = uint32_t (*)(uint8_t*, const uint8_t*, uint32_t, int32_t*, int32_t);

class MergeForms : public ::testing::TestWithParam<MergeFunction> {};

INSTANTIATE_TEST_SUITE_P(FastAndPortable, MergeForms,
                         ::testing::Values(&MergeBlock, &MergeBlockPortable));

TEST_P(MergeForms, AgreeWithTheRuleOverRandomCopiesAndBlockSplits) {
  const MergeFunction merge = GetParam();
  std::mt19937 rng(20240611);
  const int32_t thresholds[] = {1, 2, 3, 7, 8, 9, 64, 8192, INT32_MAX};
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t threshold = trial % 10 < 9 ? thresholds[trial % 9] : 1 + rng() % 20000;
    std::vector<uint8_t> d, s;
    MakeCopies(rng, 1 + rng() % 150000, &d, &s);
    std::vector<uint8_t> want = d;
    // Carried in from an earlier block: anywhere up to the threshold, often close to it.
    const uint32_t below = rng() % 2 ? rng() % 20 : rng();
    int32_t run = static_cast<int32_t>(threshold - std::min<uint32_t>(below, threshold));
    int32_t wantRun = run;
    size_t pos = 0;
    while (pos < d.size()) {
      const uint32_t n = static_cast<uint32_t>(
          std::min<size_t>(d.size() - pos, 1 + rng() % (rng() % 3 ? 70000 : 20)));
      const uint32_t passed = merge(d.data() + pos, s.data() + pos, n, &run, threshold);
      const uint32_t wantPassed = ReferenceMerge(want.data() + pos, s.data() + pos, n, &wantRun,
                                                 threshold);
      ASSERT_EQ(passed, wantPassed) << "trial " << trial << " at " << pos;
      ASSERT_EQ(run, wantRun) << "trial " << trial << " at " << pos;
      // Past a differing pair, go on with the rest as a block of its own.
      pos += passed < n ? passed + 1 : n;
    }
    ASSERT_EQ(d, want) << "trial " << trial;
  }
}

}  // namespace
