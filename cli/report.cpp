#include "cli/report.h"

#include <cstring>

#include "cli/console.h"
#include "cli/json_text.h"

// Every message that names an offset puts it, as hex digits, after this text;
// the line break cannot be part of a double-byte character.
static const char kOffsetMark[] = "\nAddress : ";

static int IsOffsetDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

static std::string OffsetText(const std::string& message) {
  size_t at = message.find(kOffsetMark);
  if (at == std::string::npos) return std::string();
  size_t begin = at + std::strlen(kOffsetMark), end = begin;
  while (end < message.size() && IsOffsetDigit(message[end])) ++end;
  return message.substr(begin, end - begin);
}

static std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

static std::string FormatJson(const ItemReport& r) {
  std::string offset = r.message ? OffsetText(r.message->text) : std::string();
  std::string line = "{\"path\":" + JsonString(PathToUtf8(r.path));
  line += ",\"result\":" + JsonString(r.result);
  line += ",\"offset\":" + (offset.empty() ? std::string("null") : JsonString(offset));
  line += ",\"message\":" +
          (r.message ? JsonString(ProgramTextToUtf8(r.message->text.c_str())) : std::string("null"));
  if (r.repair) line += ",\"output\":" + (r.output ? JsonString(PathToUtf8(r.output)) : "null");
  return line + "}\n";
}

std::string FormatReport(const ItemReport& r, int json) {
  if (json) return FormatJson(r);
  std::string line = PathToUtf8(r.path) + ": " + r.result;
  if (r.message) line += ": " + OneLine(ProgramTextToUtf8(r.message->text.c_str()));
  if (r.output) line += " -> " + PathToUtf8(r.output);
  return line + "\n";
}
