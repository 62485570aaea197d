#include "common/simd.h"

#if defined(_WIN32)
#include <windows.h>
#endif

static int ProcessorHasSse2() {
#if defined(_WIN32)
  return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
#elif defined(__x86_64__)
  return 1;
#elif defined(__i386__)
  return __builtin_cpu_supports("sse2");
#else
  return 0;
#endif
}

int g_useSse2 = ProcessorHasSse2();
