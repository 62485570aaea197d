#include "repair/merge_block.h"

#include <cstring>

#include "common/vector_forms.h"

#if defined(__i386__) || defined(__x86_64__)
#define HAVE_SSE2_FORMS 1
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

enum Step { kDiffer, kGo, kReached };

// One position by the merge rule: kDiffer at a differing pair, left untouched;
// kReached where the counter has just come to the threshold.
static Step MergeOne(uint8_t* d, uint8_t s, int32_t* run, int32_t threshold) {
  if (*d == 0) {
    if (s != 0) {
      *d = s;
      return kGo;
    }
    if (*run >= threshold) return kGo;
    return ++*run == threshold ? kReached : kGo;
  }
  if (s == *d) {
    *run = 0;
    return kGo;
  }
  return s == 0 ? kGo : kDiffer;
}

// Eight positions at a time wherever they need no look at each position
// (equal and ending in data, both zero, or one side wholly zero against a side
// without zeros), which is nearly everywhere in real files; any other word,
// and a word in which the counter may come to the threshold, goes position by
// position.
uint32_t MergeBlockPortable(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                            int32_t threshold) {
  int32_t run = *zeroRun;
  uint32_t i = 0;
  Step step = kGo;
  while (n - i >= 8) {
    const uint64_t d = Load(dmg + i), s = Load(src + i);
    if (d == s) {
      if (d == 0) {
        if (run < threshold && threshold - run <= 8) {
          i += static_cast<uint32_t>(threshold - run);
          run = threshold;
          goto done;
        }
        if (run < threshold) run += 8;
        i += 8;
        continue;
      }
      // Zeros shared before the last pair are reset by it. A counter more
      // than 8 below the threshold cannot come to it among these positions.
      if (dmg[i + 7] != 0 && (run < threshold - 8 || !HasZeroByte(d))) {
        run = 0;
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
    for (const uint32_t end = i + 8; i < end && step == kGo; ++i)
      step = MergeOne(dmg + i, src[i], &run, threshold);
    if (step != kGo) goto stopped;
  }
  for (; i < n && step == kGo; ++i) step = MergeOne(dmg + i, src[i], &run, threshold);
stopped:
  if (step == kDiffer) --i;  // the differing pair is not passed
done:
  *zeroRun = run;
  return i;
}

#if HAVE_SSE2_FORMS
// Compiled for SSE2 and called only where g_useSse2 says the processor has it.
#pragma GCC push_options
#pragma GCC target("sse2")
static __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// True when the 64 positions from d and s hold the same bytes and the last of
// them is non-zero: nothing is to be filled, and that last pair leaves the
// counter at 0 whatever zeros the two copies share before it. That is all of a
// repair's time but the damaged stretches, so it is decided with one branch
// per 64 positions.
static bool EqualEndingInData64(const uint8_t* d, const uint8_t* s) {
  const __m128i differ =
      _mm_or_si128(_mm_or_si128(_mm_xor_si128(Load16(d), Load16(s)),
                                _mm_xor_si128(Load16(d + 16), Load16(s + 16))),
                   _mm_or_si128(_mm_xor_si128(Load16(d + 32), Load16(s + 32)),
                                _mm_xor_si128(Load16(d + 48), Load16(s + 48))));
  return _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF && d[63] != 0;
}

// Sixteen positions wherever no differing pair lies among them: the kept byte
// is D where D is non-zero and S elsewhere, and the counter ends as the count
// of positions where both hold zero after the last position where both hold
// the same non-zero byte (or, with no such position, is raised by all of
// them). False, with nothing changed, for a piece holding a differing pair or
// a position where the counter comes to the threshold: the zeros counted onto
// the counter carried in are those before the first pair of the same data,
// and a count begun after one reaches at most 15.
static bool MergePiece16(uint8_t* dmg, const uint8_t* src, int32_t* run, int32_t threshold) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i d = Load16(dmg), s = Load16(src);
  const __m128i dZero = _mm_cmpeq_epi8(d, zero);
  const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(d, s)));
  const unsigned dZeros = static_cast<unsigned>(_mm_movemask_epi8(dZero));
  const unsigned sZeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(s, zero)));
  if ((equal | dZeros | sZeros) != 0xFFFF) return false;
  const unsigned bothZero = dZeros & sZeros;
  const unsigned sameData = equal & ~dZeros & 0xFFFF;
  const unsigned carried = bothZero & ((sameData & (0u - sameData)) - 1u);
  if (*run < threshold && __builtin_popcount(carried) >= threshold - *run) return false;
  if (sameData != 0 && threshold < 16) return false;
  if (dZeros != 0)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dmg), _mm_or_si128(d, _mm_and_si128(dZero, s)));
  if (sameData != 0)
    *run = __builtin_popcount(bothZero >> (31 - __builtin_clz(sameData)));
  else if (*run < threshold)
    *run += __builtin_popcount(bothZero);
  return true;
}

// A piece holding a differing pair, or the position where the counter comes to
// the threshold, is left to the portable form, which stops there. Only the
// pieces near that position lose the long steps: 64 positions are taken at a
// time only while the counter is more than 64 below the threshold, so that no
// count among them can come to it.
static uint32_t MergeBlockSse2(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                               int32_t threshold) {
  int32_t run = *zeroRun;
  uint32_t i = 0;
  while (n - i >= 16) {
    if (n - i >= 64 && run < threshold - 64 && EqualEndingInData64(dmg + i, src + i)) {
      run = 0;
      i += 64;
    } else if (MergePiece16(dmg + i, src + i, &run, threshold)) {
      i += 16;
    } else {
      break;
    }
  }
  *zeroRun = run;
  return i + MergeBlockPortable(dmg + i, src + i, n - i, zeroRun, threshold);
}
#pragma GCC pop_options
#endif

uint32_t MergeBlock(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                    int32_t threshold) {
#if HAVE_SSE2_FORMS
  if (g_useSse2) return MergeBlockSse2(dmg, src, n, zeroRun, threshold);
#endif
  return MergeBlockPortable(dmg, src, n, zeroRun, threshold);
}
