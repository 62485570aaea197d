#include "bench/bench_data.h"

#include <cstdio>
#include <cstring>

#include "common/host.h"
#include "common/messages.h"

int g_benchFailures = 0;

void TellOutcome(const Outcome& outcome) {
  ++g_benchFailures;
  std::fprintf(stderr, "outcome: %s\n", OutcomeMessage(outcome).c_str());
}

int AskToGoOn(uint64_t) { return 1; }

int KeepGoing(Work, uint64_t, uint64_t) { return 1; }

static uint64_t Next(uint64_t* seed) {
  uint64_t z = (*seed += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void FillVideoLike(uint8_t* buf, size_t n, uint64_t* seed) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t r = Next(seed);
    std::memcpy(buf + i, &r, 8);
  }
  for (; i < n; ++i) buf[i] = static_cast<uint8_t>(Next(seed));
  for (size_t at = Next(seed) % 8192; at < n; at += 1 + Next(seed) % 8192) {
    size_t len = 1 + Next(seed) % 64;
    std::memset(buf + at, 0, len < n - at ? len : n - at);
  }
}

void AddJunkChunks(uint8_t* buf, size_t n, uint64_t* seed) {
  for (size_t at = Next(seed) % 131072; at + 8 + 4096 <= n; at += 1 + Next(seed) % 131072) {
    uint32_t size = 512 + static_cast<uint32_t>(Next(seed) % 3585);
    std::memcpy(buf + at, "JUNK", 4);
    for (int k = 0; k < 4; ++k) buf[at + 4 + k] = static_cast<uint8_t>(size >> (8 * k));
    std::memset(buf + at + 8, 0, size);
  }
}

void FillShortRuns(uint8_t* buf, size_t n, uint64_t* seed) {
  size_t i = 0;
  while (i < n) {
    uint64_t r = Next(seed);
    size_t zeros = 1 + (r & 31), others = 1 + ((r >> 5) & 31);
    for (size_t k = 0; k < zeros && i < n; ++k) buf[i++] = 0;
    const uint8_t other = static_cast<uint8_t>(1 + (r >> 10) % 255);
    for (size_t k = 0; k < others && i < n; ++k) buf[i++] = other;
  }
}

void FillSparseNonZero(uint8_t* buf, size_t n, uint64_t* seed) {
  std::memset(buf, 0, n);
  for (size_t at = Next(seed) % 4096; at < n; at += 1 + Next(seed) % 4096) buf[at] = 0x80;
}

uint32_t PlainByteLoop(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
  int32_t run = s->runLength;
  for (uint32_t i = 0; i < n; ++i) {
    if (buf[i] != 0) {
      run = 0;
    } else if (++run == threshold) {
      s->runLength = run;
      return i + 1;
    }
  }
  s->runLength = run;
  return n;
}

uint32_t JunkByteLoop(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                      uint64_t remaining) {
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t b = buf[i];
    if (s->junkState == 0 && s->skipCount > 0) {
      --s->skipCount;
    } else if (s->junkState >= 4) {
      s->skipCount = (s->skipCount >> 8) | (static_cast<uint32_t>(b) << 24);
      if (++s->junkState == 8) {
        if (s->skipCount > remaining) s->skipCount = 0;
        s->runLength = 0;
        s->junkState = 0;
      }
    } else if (s->junkState >= 1 && b == "JUNK"[s->junkState]) {
      ++s->junkState;
    } else {
      s->junkState = 0;
      if (b != 0) {
        s->runLength = 0;
        if (b == 'J') s->junkState = 1;
      } else if (++s->runLength == threshold) {
        return i + 1;
      }
    }
  }
  return n;
}

uint32_t MergeByteLoop(uint8_t* dmg, const uint8_t* src, uint32_t n, int32_t* zeroRun,
                       int32_t threshold) {
  int32_t run = *zeroRun;
  uint32_t i = 0;
  for (; i < n; ++i) {
    const uint8_t d = dmg[i], s = src[i];
    if (d == 0 && s == 0) {
      if (run < threshold) ++run;
    } else if (d == 0) {
      dmg[i] = s;
    } else if (s == d) {
      run = 0;
    } else if (s != 0) {
      break;
    }
  }
  *zeroRun = run;
  return i;
}
