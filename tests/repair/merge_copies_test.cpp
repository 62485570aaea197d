#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/settings.h"
#include "repair/merge_file.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSector = 2048;

// Data like a video file's: mostly dense bytes (zeros among them), with short
// zero paddings here and there.
Bytes MakeOriginal(std::mt19937& rng, size_t size) {
  Bytes b(size);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  for (int pads = 0; pads < 40; ++pads) {
    const size_t at = rng() % size;
    std::fill(b.begin() + at, b.begin() + std::min(size, at + rng() % 300), 0);
  }
  return b;
}

// Zeroes runs of whole sectors (the last one may be cut by the file's end),
// marking them in lost; runs that would touch a byte marked in avoid are left
// out.
Bytes Damage(std::mt19937& rng, const Bytes& original, std::vector<bool>* lost,
             const std::vector<bool>& avoid) {
  Bytes copy = original;
  const size_t sectors = (copy.size() + kSector - 1) / kSector;
  for (int runs = 0; runs < 12; ++runs) {
    const size_t first = rng() % sectors * kSector;
    const size_t end = std::min(copy.size(), first + (1 + rng() % 6) * kSector);
    if (std::find(avoid.begin() + first, avoid.begin() + end, true) != avoid.begin() + end) continue;
    for (size_t i = first; i < end; ++i) {
      copy[i] = 0;
      (*lost)[i] = true;
    }
  }
  return copy;
}

TEST(MergeCopies, TwoDamagedCopiesGiveBackTheOriginalWhereTheirDamageDoesNotOverlap) {
  const std::string dir = MakeTempDir();
  const std::string a = JoinPath(dir, "a.avi"), b = JoinPath(dir, "b.avi"),
                    out = JoinPath(dir, "a.fixed.avi");
  g_settings.ErrorLength = kDefaultErrorLength;
  std::mt19937 rng(77);
  for (int trial = 0; trial < 12; ++trial) {
    ResetHost();
    g_host.answerYes = 1;  // go on over stretches that both copies lost
    const Bytes original = MakeOriginal(rng, 5 * 65536 + rng() % 65536);
    std::vector<bool> lostA(original.size()), lostB(original.size());
    const std::vector<bool> anywhere(original.size());
    const Bytes copyA = Damage(rng, original, &lostA, anywhere);
    const Bytes copyB = Damage(rng, original, &lostB, trial % 2 ? anywhere : lostA);
    WriteBytes(a, copyA);
    WriteBytes(b, copyB);
    int made = 0;
    ASSERT_EQ(Merge(out.c_str(), a.c_str(), b.c_str(), &made), 1) << "trial " << trial;
    const Bytes merged = ReadBytes(out);
    ASSERT_EQ(merged.size(), original.size());
    bool overlap = false;
    for (size_t i = 0; i < original.size(); ++i) {
      const bool both = lostA[i] && lostB[i];
      overlap = overlap || both;
      ASSERT_EQ(merged[i], both ? 0 : original[i]) << "trial " << trial << " offset " << i;
    }
    // Without overlap nothing is lost to both and nothing is asked.
    if (!overlap) {
      EXPECT_EQ(merged, original) << "trial " << trial;
      EXPECT_TRUE(g_host.messages.empty()) << "trial " << trial;
    }
  }
  RemoveTree(dir);
}

}  // namespace
