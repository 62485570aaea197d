#include "scan/zero_run.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Two searches carry all the speed; each has a portable form and, where the
// compiler targets SSE2, a vector form.
typedef uint32_t (*TrailingZerosFn)(const uint8_t* buf, uint32_t lo, uint32_t hi);
typedef uint32_t (*FindJFn)(const uint8_t* buf, uint32_t from, uint32_t n);

// The number of zero bytes at the end of buf[lo..hi).
static uint32_t TrailingZerosPortable(const uint8_t* buf, uint32_t lo, uint32_t hi) {
  uint32_t i = hi;
  for (; i - lo >= 8; i -= 8) {
    uint64_t word;
    std::memcpy(&word, buf + i - 8, 8);
    if (word != 0) break;
  }
  while (i > lo && buf[i - 1] == 0) --i;
  return hi - i;
}

// The index of the first 'J' in buf[from..n), or n.
static uint32_t FindJPortable(const uint8_t* buf, uint32_t from, uint32_t n) {
  if (from == n) return n;
  const void* hit = std::memchr(buf + from, 'J', n - from);
  return hit ? static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - buf) : n;
}

#if defined(__SSE2__)
static __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

static uint32_t TrailingZerosSse2(const uint8_t* buf, uint32_t lo, uint32_t hi) {
  const __m128i zero = _mm_setzero_si128();
  uint32_t i = hi;
  for (; i - lo >= 64; i -= 64) {
    const uint8_t* p = buf + i - 64;
    __m128i any = _mm_or_si128(_mm_or_si128(Load16(p), Load16(p + 16)),
                               _mm_or_si128(Load16(p + 32), Load16(p + 48)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)) != 0xFFFF) break;
  }
  for (; i - lo >= 16; i -= 16) {
    unsigned nonZero = ~static_cast<unsigned>(_mm_movemask_epi8(
                           _mm_cmpeq_epi8(Load16(buf + i - 16), zero))) & 0xFFFFu;
    if (nonZero != 0) return hi - i + static_cast<uint32_t>(__builtin_clz(nonZero)) - 16;
  }
  while (i > lo && buf[i - 1] == 0) --i;
  return hi - i;
}

// Not the C library's memchr: the Windows build's one (msvcrt) is a byte loop under Wine.
static uint32_t FindJSse2(const uint8_t* buf, uint32_t from, uint32_t n) {
  const __m128i letter = _mm_set1_epi8('J');
  uint32_t i = from;
  for (; n - i >= 64; i += 64) {
    const uint8_t* p = buf + i;
    __m128i hits = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(Load16(p), letter), _mm_cmpeq_epi8(Load16(p + 16), letter)),
        _mm_or_si128(_mm_cmpeq_epi8(Load16(p + 32), letter),
                     _mm_cmpeq_epi8(Load16(p + 48), letter)));
    if (_mm_movemask_epi8(hits) != 0) break;
  }
  for (; n - i >= 16; i += 16) {
    int hits = _mm_movemask_epi8(_mm_cmpeq_epi8(Load16(buf + i), letter));
    if (hits != 0) return i + static_cast<uint32_t>(__builtin_ctz(static_cast<unsigned>(hits)));
  }
  while (i < n && buf[i] != 'J') ++i;
  return i;
}
#endif

// Plain mode without looking at every byte: a run of threshold zeros that
// starts at `start` must reach the byte at start + threshold - 1, so a non-zero
// byte there rules out every start up to it, and a zero there leaves only the
// starts after the last non-zero byte before it, found by searching backwards.
// Each byte is looked at once at most; the run carried in from earlier blocks
// counts as zeros before buf[0].
template <TrailingZerosFn TrailingZeros>
static uint32_t PlainRun(int32_t* runLength, const uint8_t* buf, uint32_t n, int32_t threshold) {
  const int64_t size = n;
  int64_t start = -static_cast<int64_t>(*runLength);  // first zero of the run in question
  int64_t known = 0;  // buf[max(start, 0)..known) are known to be zeros
  for (;;) {
    const int64_t last = start + threshold - 1;  // where that run would reach the threshold
    if (last >= size) {
      uint32_t zeros = TrailingZeros(buf, static_cast<uint32_t>(known), n);
      *runLength = static_cast<int32_t>(zeros == size - known ? size - start : zeros);
      return n;
    }
    if (buf[last] != 0) {
      start = known = last + 1;
      continue;
    }
    uint32_t zeros =
        TrailingZeros(buf, static_cast<uint32_t>(known), static_cast<uint32_t>(last));
    if (zeros == last - known) {
      *runLength = threshold;
      return static_cast<uint32_t>(last + 1);
    }
    start = last - zeros;
    known = last + 1;
  }
}

// JUNK states 1 to 7: the letters after a 'J', then the four size bytes.
// Returns 1 when the byte completed a run.
static int HeaderByte(ZeroRunState* s, uint8_t byte, int32_t threshold, uint64_t remaining) {
  if (s->junkState >= 4) {
    s->skipCount = (s->skipCount >> 8) | (static_cast<uint32_t>(byte) << 24);
    if (++s->junkState == 8) {
      if (static_cast<uint64_t>(s->skipCount) > remaining) s->skipCount = 0;
      s->runLength = 0;
      s->junkState = 0;
    }
    return 0;
  }
  if (byte == "JUNK"[s->junkState]) {
    ++s->junkState;
    return 0;
  }
  // No header after all: the byte counts as it would outside one.
  s->junkState = 0;
  if (byte == 0) return ++s->runLength == threshold;
  s->runLength = 0;
  if (byte == 'J') s->junkState = 1;
  return 0;
}

// Outside headers and payloads JUNK mode is plain mode up to the next 'J',
// which breaks the run and starts a header; payloads are passed over whole.
template <TrailingZerosFn TrailingZeros, FindJFn FindJ>
static uint32_t JunkRun(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                        uint64_t remaining) {
  uint32_t i = 0;
  while (i < n) {
    if (s->junkState != 0) {
      if (HeaderByte(s, buf[i], threshold, remaining)) return i + 1;
      ++i;
    } else if (s->skipCount > 0) {
      uint32_t passed = s->skipCount < n - i ? s->skipCount : n - i;
      s->skipCount -= passed;
      i += passed;
    } else {
      uint32_t j = FindJ(buf, i, n);
      uint32_t handled = PlainRun<TrailingZeros>(&s->runLength, buf + i, j - i, threshold);
      if (s->runLength == threshold) return i + handled;
      if (j == n) return n;
      s->runLength = 0;
      s->junkState = 1;
      i = j + 1;
    }
  }
  return n;
}

uint32_t ScanPlainPortable(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
  return PlainRun<TrailingZerosPortable>(&s->runLength, buf, n, threshold);
}

uint32_t ScanJunkPortable(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                          uint64_t remaining) {
  return JunkRun<TrailingZerosPortable, FindJPortable>(s, buf, n, threshold, remaining);
}

#if defined(__SSE2__)
uint32_t ScanPlain(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
  return PlainRun<TrailingZerosSse2>(&s->runLength, buf, n, threshold);
}

uint32_t ScanJunk(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                  uint64_t remaining) {
  return JunkRun<TrailingZerosSse2, FindJSse2>(s, buf, n, threshold, remaining);
}
#else
uint32_t ScanPlain(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
  return ScanPlainPortable(s, buf, n, threshold);
}

uint32_t ScanJunk(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                  uint64_t remaining) {
  return ScanJunkPortable(s, buf, n, threshold, remaining);
}
#endif
