#include "common/offset_text.h"

#include <cstdio>

void FormatOffset(uint64_t offset, char out[kOffsetTextSize]) {
  unsigned high = static_cast<unsigned>(offset >> 32);
  unsigned low = static_cast<unsigned>(offset);
  if (high == 0)
    std::snprintf(out, kOffsetTextSize, "%08X", low);
  else
    std::snprintf(out, kOffsetTextSize, "%08X%08X", high, low);
}
