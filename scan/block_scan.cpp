#include "scan/block_scan.h"

#include <cstring>

#include "common/simd.h"

// Two searches carry all the speed: back over zeros, and forward to the next
// "JUNK". Each has a portable form and, on x86, a vector form, which the
// Windows build needs: its C library's memchr, on which the portable search
// rests, is a byte loop. Only the vector forms are compiled for SSE2, and they
// are called only where g_useSse2 says the processor has it.
typedef uint32_t (*TrailingZerosFn)(const uint8_t* buf, uint32_t lo, uint32_t hi);
typedef uint32_t (*FindJunkFn)(const uint8_t* buf, uint32_t from, uint32_t n);

// The number of zero bytes at the end of buf[lo..hi).
static uint32_t TrailingZerosPortable(const uint8_t* buf, uint32_t lo, uint32_t hi) {
  uint32_t i = hi;
  for (; i - lo >= 8; i -= 8) {
    if (Load8(buf + i - 8) != 0) break;
  }
  while (i > lo && buf[i - 1] == 0) --i;
  return hi - i;
}

// The index of the first "JUNK" that lies wholly in buf[from..n), or n.
static uint32_t FindJunkPortable(const uint8_t* buf, uint32_t from, uint32_t n) {
  for (uint32_t i = from; n - i >= 4; ++i) {
    const void* hit = std::memchr(buf + i, 'J', n - i - 3);
    if (!hit) break;
    i = static_cast<uint32_t>(static_cast<const uint8_t*>(hit) - buf);
    if (std::memcmp(buf + i, "JUNK", 4) == 0) return i;
  }
  return n;
}

#if HAVE_SSE2_FORMS
#pragma GCC push_options
#pragma GCC target("sse2")
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

// 0xFF at each of the 16 places from p on that hold a 'J' with a 'K' three
// bytes on: rare enough in video data that whole blocks pass with one branch
// per 64 bytes.
static __m128i JunkCandidates(const uint8_t* p) {
  return _mm_and_si128(_mm_cmpeq_epi8(Load16(p), _mm_set1_epi8('J')),
                       _mm_cmpeq_epi8(Load16(p + 3), _mm_set1_epi8('K')));
}

static uint32_t FindJunkSse2(const uint8_t* buf, uint32_t from, uint32_t n) {
  uint32_t i = from;
  for (; n - i >= 64 + 3; i += 64) {
    const uint8_t* p = buf + i;
    __m128i any = _mm_or_si128(_mm_or_si128(JunkCandidates(p), JunkCandidates(p + 16)),
                               _mm_or_si128(JunkCandidates(p + 32), JunkCandidates(p + 48)));
    if (_mm_movemask_epi8(any) == 0) continue;
    for (uint32_t at = i; at < i + 64; ++at)
      if (buf[at] == 'J' && std::memcmp(buf + at, "JUNK", 4) == 0) return at;
  }
  for (; n - i >= 4; ++i)
    if (buf[i] == 'J' && std::memcmp(buf + i, "JUNK", 4) == 0) return i;
  return n;
}
#pragma GCC pop_options
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
    // Where that run would reach the threshold; one of 0 or less it never reaches.
    const int64_t last = threshold > 0 ? start + threshold - 1 : size;
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

// The header letters a stretch ends with: "J", "JU" or "JUN" leave the JUNK
// state at 1, 2 or 3 for the next block to go on from.
static uint32_t OpenHeaderAtEnd(const uint8_t* buf, uint32_t from, uint32_t n) {
  for (uint32_t letters = 3; letters >= 1; --letters) {
    if (n - from >= letters && std::memcmp(buf + n - letters, "JUNK", letters) == 0)
      return letters;
  }
  return 0;
}

// Outside headers and payloads JUNK mode is plain mode up to the next "JUNK":
// a 'J' not followed by "UNK" leaves the state where a plain non-zero byte
// would, and "JUNK" has no letter twice, so only a whole "JUNK" starts a
// header. Payloads are passed over whole.
template <TrailingZerosFn TrailingZeros, FindJunkFn FindJunk>
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
      uint32_t header = FindJunk(buf, i, n);
      uint32_t handled = PlainRun<TrailingZeros>(&s->runLength, buf + i, header - i, threshold);
      if (s->runLength == threshold) return i + handled;
      if (header == n) {
        s->junkState = OpenHeaderAtEnd(buf, i, n);
        return n;
      }
      s->runLength = 0;
      s->junkState = 4;
      i = header + 4;
    }
  }
  return n;
}

uint32_t ScanPlainPortable(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
  return PlainRun<TrailingZerosPortable>(&s->runLength, buf, n, threshold);
}

uint32_t ScanJunkPortable(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                          uint64_t remaining) {
  return JunkRun<TrailingZerosPortable, FindJunkPortable>(s, buf, n, threshold, remaining);
}

uint32_t ScanPlain(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
#if HAVE_SSE2_FORMS
  if (g_useSse2) return PlainRun<TrailingZerosSse2>(&s->runLength, buf, n, threshold);
#endif
  return ScanPlainPortable(s, buf, n, threshold);
}

uint32_t ScanJunk(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                  uint64_t remaining) {
#if HAVE_SSE2_FORMS
  if (g_useSse2) return JunkRun<TrailingZerosSse2, FindJunkSse2>(s, buf, n, threshold, remaining);
#endif
  return ScanJunkPortable(s, buf, n, threshold, remaining);
}
