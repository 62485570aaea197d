#include "scan/mapfile.h"

#include <cstdio>

// "0x" and at least eight uppercase digits, as ddrescue writes its numbers.
static void AddHex(std::string* text, uint64_t value) {
  char digits[24];
  const unsigned high = static_cast<unsigned>(value >> 32), low = static_cast<unsigned>(value);
  if (high == 0)
    std::snprintf(digits, sizeof digits, "0x%08X", low);
  else
    std::snprintf(digits, sizeof digits, "0x%X%08X", high, low);
  *text += digits;
}

static void AddBlock(std::string* text, uint64_t pos, uint64_t size, char status) {
  if (size == 0) return;
  AddHex(text, pos);
  *text += "  ";
  AddHex(text, size);
  *text += std::string("  ") + status + "\n";
}

std::string MapfileText(uint64_t size, const std::vector<ByteRange>& damaged) {
  std::string text =
      "# Mapfile. Created by Orvalintex\n"
      "# current_pos  current_status  current_pass\n"
      "0x00000000     ?               1\n"
      "#      pos        size  status\n";
  uint64_t done = 0;  // where the blocks written so far end
  for (size_t k = 0; k < damaged.size();) {
    ByteRange joined = damaged[k++];
    while (k < damaged.size() && joined.Join(damaged[k])) ++k;
    AddBlock(&text, done, joined.offset - done, '+');
    AddBlock(&text, joined.offset, joined.length, '?');
    done = joined.end();
  }
  AddBlock(&text, done, size - done, '+');
  return text;
}
