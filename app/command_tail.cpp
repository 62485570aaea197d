#include "app/command_tail.h"

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

const char* CommandTail(const char* p) {
  while (IsBlank(*p)) ++p;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"' && *p != '\t') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  return p;
}
