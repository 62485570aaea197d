#include "cli/json_text.h"

#include <cstdint>
#include <cstdio>

static const uint32_t kReplacement = 0xFFFD;

// Decodes the character at text[*i], moving *i past it; an invalid sequence
// (stray continuation byte, overlong form, surrogate, beyond U+10FFFF or cut
// short) yields U+FFFD for its first byte alone.
static uint32_t NextCodePoint(const std::string& text, size_t* i) {
  const uint8_t lead = static_cast<uint8_t>(text[*i]);
  ++*i;
  if (lead < 0x80) return lead;
  int extra;
  uint32_t cp, min;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  if (*i + extra > text.size()) return kReplacement;
  for (int k = 0; k < extra; ++k) {
    const uint8_t c = static_cast<uint8_t>(text[*i + k]);
    if ((c & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (c & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  *i += extra;
  return cp;
}

static void AppendUnit(std::string* out, uint32_t unit) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
  *out += escape;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    const uint32_t cp = NextCodePoint(utf8, &i);
    switch (cp) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (cp >= 0x20 && cp < 0x7F) {
          out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
          AppendUnit(&out, cp);
        } else {
          AppendUnit(&out, 0xD800 + ((cp - 0x10000) >> 10));
          AppendUnit(&out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
  }
  return out + "\"";
}
