#include "repair/merge_block.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
uint32_t MergeBlockPortable(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
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

#if defined(__SSE2__)
// Sixteen positions at a time wherever no differing pair lies among them: the
// kept byte is D where D is non-zero and S elsewhere, and the counter ends as
// the count of positions where both hold zero after the last position where
// both hold the same non-zero byte (or, with no such position, is raised by all
// of them). A piece holding a differing pair goes position by position.
uint32_t MergeBlock(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                    int32_t threshold) {
  const __m128i zero = _mm_setzero_si128();
  int32_t run = *zeroRun;
  uint32_t i = 0;
  for (; n - i >= 16; i += 16) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dmg + i));
    const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    const __m128i dZero = _mm_cmpeq_epi8(d, zero);
    const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(d, s)));
    const unsigned dZeros = static_cast<unsigned>(_mm_movemask_epi8(dZero));
    const unsigned sZeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(s, zero)));
    if ((equal | dZeros | sZeros) != 0xFFFF) break;
    if (dZeros != 0)
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dmg + i), _mm_or_si128(d, _mm_and_si128(dZero, s)));
    const unsigned bothZero = dZeros & sZeros;
    const unsigned sameData = equal & ~dZeros & 0xFFFF;
    if (sameData != 0) {
      const unsigned after = bothZero >> (31 - __builtin_clz(sameData));
      run = after ? Raise(0, __builtin_popcount(after), threshold) : 0;
    } else if (bothZero != 0) {
      run = Raise(run, __builtin_popcount(bothZero), threshold);
    }
  }
  *zeroRun = run;
  return i + MergeBlockPortable(dmg + i, src + i, n - i, zeroRun, threshold);
}
#else
uint32_t MergeBlock(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                    int32_t threshold) {
  return MergeBlockPortable(dmg, src, n, zeroRun, threshold);
}
#endif
