#include "repair/merge_block.h"

uint32_t MergeBlock(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                    int32_t threshold) {
  int32_t run = *zeroRun;
  uint32_t i = 0;
  for (; i < n; ++i) {
    const uint8_t d = dmg[i], s = src[i];
    if (d == 0) {
      if (s == 0) {
        if (run != threshold) ++run;
      } else {
        dmg[i] = s;
      }
    } else if (s == d) {
      run = 0;
    } else if (s != 0) {
      break;
    }
  }
  *zeroRun = run;
  return i;
}
