#include "repair/merge_block.h"

#include <cstring>

static uint64_t Load(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

static bool HasZeroByte(uint64_t w) {
  return ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0;
}

// The counter after `by` more positions where both copies hold zero. Written
// so that it cannot overflow whatever the threshold.
static int32_t Raise(int32_t run, int32_t by, int32_t threshold) {
  if (run >= threshold) return run;
  return threshold - run > by ? run + by : threshold;
}

// One position by the merge rule; false at a differing pair, left untouched.
static bool MergeOne(uint8_t* d, uint8_t s, int32_t* run, int32_t threshold) {
  if (*d == 0) {
    if (s == 0)
      *run = Raise(*run, 1, threshold);
    else
      *d = s;
  } else if (s == *d) {
    *run = 0;
  } else if (s != 0) {
    return false;
  }
  return true;
}

// Eight positions at a time wherever they all fall under one row of the rule
// (intact and equal, both zero, or one side wholly zero against a side without
// zeros), which is nearly everywhere in real files; any other word goes
// position by position.
uint32_t MergeBlock(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                    int32_t threshold) {
  int32_t run = *zeroRun;
  uint32_t i = 0;
  while (n - i >= 8) {
    const uint64_t d = Load(dmg + i), s = Load(src + i);
    if (d == s) {
      if (!HasZeroByte(d)) {
        run = 0;
        i += 8;
        continue;
      }
      if (d == 0) {
        run = Raise(run, 8, threshold);
        i += 8;
        continue;
      }
    } else if (d == 0) {
      if (!HasZeroByte(s)) {
        std::memcpy(dmg + i, &s, sizeof s);
        i += 8;
        continue;
      }
    } else if (s == 0 && !HasZeroByte(d)) {
      i += 8;
      continue;
    }
    for (const uint32_t end = i + 8; i < end; ++i)
      if (!MergeOne(dmg + i, src[i], &run, threshold)) goto done;
  }
  for (; i < n; ++i)
    if (!MergeOne(dmg + i, src[i], &run, threshold)) break;
done:
  *zeroRun = run;
  return i;
}
