// The vector helpers the block functions share, and the choice between their
// SSE2 and portable forms. Only the vector forms are compiled for SSE2 (the
// Windows program also runs on processors without it), and they are called
// only where g_useSse2 says the processor has it.
#pragma once
#include <cstdint>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#define HAVE_SSE2_FORMS 1
#include <emmintrin.h>
#endif

// 1 when the SSE2 forms are to be taken. Set once at start-up from the
// processor; tests clear it to run the portable forms through the same calls.
extern int g_useSse2;

// Eight bytes from anywhere, as one word.
static inline uint64_t Load8(const uint8_t* p) {
  uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

static inline bool HasZeroByte(uint64_t word) {
  return ((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0;
}

#if HAVE_SSE2_FORMS
#pragma GCC push_options
#pragma GCC target("sse2")
static inline __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
#pragma GCC pop_options
#endif
