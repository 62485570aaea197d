#include "cli/report.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/console.h"

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

// Keys in a fixed order; the text is plain ASCII (every other character as
// \uXXXX) so it reads the same in any code page, and bytes that are not UTF-8
// (a POSIX name can hold such) become U+FFFD.
static std::string FormatJson(const ItemReport& r) {
  const std::string offset = r.message ? OffsetText(r.message->text) : std::string();
  nlohmann::ordered_json line;
  line["path"] = PathToUtf8(r.path);
  line["result"] = r.result;
  line["offset"] = offset.empty() ? nullptr : nlohmann::ordered_json(offset);
  line["message"] = r.message ? nlohmann::ordered_json(ProgramTextToUtf8(r.message->text.c_str()))
                              : nullptr;
  if (r.repair) line["output"] = r.output ? nlohmann::ordered_json(PathToUtf8(r.output)) : nullptr;
  return line.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string FormatReport(const ItemReport& r, int json) {
  if (json) return FormatJson(r);
  std::string line = PathToUtf8(r.path) + ": " + r.result;
  if (r.message) line += ": " + OneLine(ProgramTextToUtf8(r.message->text.c_str()));
  if (r.output) line += " -> " + PathToUtf8(r.output);
  return line + "\n";
}
