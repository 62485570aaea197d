#include "ui/tail_split.h"

#include <cstddef>

// Blanks and double quotes are single bytes that never occur inside a
// Shift-JIS character, so the tail can be walked byte by byte.
TailPiece TakeTailName(const char** pos, char* name) {
  const char* p = *pos;
  name[0] = '\0';
  if (*p == '\0') return kTailEnd;

  const char* start;
  const char* end;
  if (*p == '"') {
    start = ++p;
    while (*p != '\0' && *p != '"') ++p;
    end = p;
    if (*p == '"') ++p;
  } else {
    start = p;
    while (*p != '\0' && *p != ' ') ++p;
    end = p;
  }
  if (*p == ' ') ++p;
  *pos = p;

  const std::ptrdiff_t length = end - start;
  if (length > kMaxEntryLength) return kTailTooLong;
  for (std::ptrdiff_t i = 0; i < length; ++i) name[i] = start[i];
  name[length] = '\0';
  return kTailName;
}
