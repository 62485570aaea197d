#include "scan/zero_run.h"

uint32_t ScanPlain(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold) {
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

// Handles one byte outside a skip and outside a header (state 0, skip count 0).
// Returns 1 when the byte completed a run.
static int PlainByteInJunkMode(ZeroRunState* s, uint8_t byte, int32_t threshold) {
  if (byte == 0) return ++s->runLength == threshold;
  s->runLength = 0;
  if (byte == 'J') s->junkState = 1;
  return 0;
}

uint32_t ScanJunk(ZeroRunState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                  uint64_t remaining) {
  static const uint8_t kLetters[4] = {'J', 'U', 'N', 'K'};
  for (uint32_t i = 0; i < n; ++i) {
    uint8_t byte = buf[i];
    switch (s->junkState) {
      case 0:
        if (s->skipCount > 0) {
          --s->skipCount;
        } else if (PlainByteInJunkMode(s, byte, threshold)) {
          return i + 1;
        }
        break;
      case 1:
      case 2:
      case 3:
        if (byte == kLetters[s->junkState]) {
          ++s->junkState;
        } else {
          s->junkState = 0;
          if (PlainByteInJunkMode(s, byte, threshold)) return i + 1;
        }
        break;
      case 4:
      case 5:
      case 6:
        s->skipCount = (s->skipCount >> 8) | (static_cast<uint32_t>(byte) << 24);
        ++s->junkState;
        break;
      default:
        s->skipCount = (s->skipCount >> 8) | (static_cast<uint32_t>(byte) << 24);
        if (static_cast<uint64_t>(s->skipCount) > remaining) s->skipCount = 0;
        s->runLength = 0;
        s->junkState = 0;
        break;
    }
  }
  return n;
}
