#include "cli/report.h"

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/console.h"
#include "common/offset_text.h"

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

// The length of the well-formed UTF-8 character at p, or 0 when the bytes
// there are not one. The text ends in a NUL, which is no continuation byte, so
// a character cut short by the end is refused.
static size_t Utf8Length(const unsigned char* p) {
  const unsigned lead = p[0];
  if (lead < 0x80) return 1;
  size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (n == 0) return 0;
  // The second byte's range rules out overlong forms, surrogates and code
  // points past U+10FFFF.
  const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return n;
}

static int IsUtf8(const std::string& text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  for (size_t n; p < end; p += n)
    if ((n = Utf8Length(p)) == 0) return 0;
  return 1;
}

// A name that holds a control character or bytes that are not UTF-8 is shown
// as $'...' (as GNU ls quotes for a terminal), so that it stays on one line,
// sends no escape sequence to the terminal, and a shell reads back its bytes.
static std::string QuotedName(const std::string& name) {
  std::string quoted;
  int plain = 1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name.data());
  const unsigned char* end = p + name.size();
  for (size_t n; p < end; p += n) {
    const size_t length = Utf8Length(p);
    n = length ? length : 1;
    // C0 and C1 controls, DEL, and a byte that starts no character.
    const int control = length == 0 || (n == 1 && (*p < 0x20 || *p == 0x7F)) ||
                        (n == 2 && p[0] == 0xC2 && p[1] < 0xA0);
    if (!control) {
      if (*p == '\\' || *p == '\'') quoted += '\\';
      quoted.append(reinterpret_cast<const char*>(p), n);
      continue;
    }
    plain = 0;
    for (size_t i = 0; i < n; ++i) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\%03o", p[i]);
      quoted += p[i] == '\n' ? "\\n" : p[i] == '\t' ? "\\t" : escape;
    }
  }
  return plain ? name : "$'" + quoted + "'";
}

static std::string Hex(const char* bytes) {
  std::string hex;
  char digits[3];
  for (const char* p = bytes; *p; ++p) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(*p));
    hex += digits;
  }
  return hex;
}

static nlohmann::ordered_json RangesJson(const std::vector<ByteRange>& ranges) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const ByteRange& r : ranges) list.push_back({{"offset", r.offset}, {"length", r.length}});
  return list;
}

static uint64_t Bytes(const std::vector<ByteRange>& ranges) {
  uint64_t bytes = 0;
  for (const ByteRange& r : ranges) bytes += r.length;
  return bytes;
}

// One indented "offset length" line per range, under a heading line if any.
static std::string RangeLines(const char* heading, const std::vector<ByteRange>& ranges) {
  if (ranges.empty()) return std::string();
  std::string lines = heading ? std::string("  ") + heading + ":\n" : std::string();
  for (const ByteRange& r : ranges) {
    char offset[kOffsetTextSize];
    FormatOffset(r.offset, offset);
    lines += (heading ? "    " : "  ") + std::string(offset) + " " + std::to_string(r.length) + "\n";
  }
  return lines;
}

static std::string MergeLines(const ItemReport& r) {
  std::string lines;
  for (size_t k = 0; r.merge->taken.size() > 1 && k < r.merge->taken.size(); ++k)
    lines += "  taken from " + QuotedName(PathToUtf8((*r.sources)[k])) + ": " +
             std::to_string(r.merge->taken[k]) + " bytes\n";
  if (r.merge->voted > 0)
    lines += "  voted: " + std::to_string(r.merge->voted) + " positions\n" +
             RangeLines("voted ranges", r.merge->votedRanges);
  return lines + RangeLines("unsupplied", r.merge->unsupplied);
}

// Keys in a fixed order; the text is plain ASCII (every other character as
// \uXXXX) so it reads the same in any code page, and bytes that are not UTF-8
// (a POSIX name can hold such) become U+FFFD, the name's bytes then following
// in hex as path_hex.
static std::string FormatJson(const ItemReport& r) {
  const std::string offset = r.message ? OffsetText(r.message->text) : std::string();
  nlohmann::ordered_json line;
  const std::string path = PathToUtf8(r.path);
  line["path"] = path;
  if (!IsUtf8(path)) line["path_hex"] = Hex(r.path);
  line["result"] = r.result;
  line["offset"] = offset.empty() ? nullptr : nlohmann::ordered_json(offset);
  line["message"] = r.message ? nlohmann::ordered_json(ProgramTextToUtf8(r.message->text.c_str()))
                              : nullptr;
  if (r.repair) line["output"] = r.output ? nlohmann::ordered_json(PathToUtf8(r.output)) : nullptr;
  if (r.runs) {
    line["runs"] = RangesJson(*r.runs);
    line["damaged_bytes"] = Bytes(*r.runs);
  }
  if (r.merge) {
    line["taken"] = r.merge->taken;
    line["voted"] = r.merge->voted;
    line["voted_ranges"] = RangesJson(r.merge->votedRanges);
    line["unsupplied"] = RangesJson(r.merge->unsupplied);
  }
  return line.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string FormatReport(const ItemReport& r, int json) {
  if (json) return FormatJson(r);
  std::string line = QuotedName(PathToUtf8(r.path)) + ": " + r.result;
  if (r.runs && !r.runs->empty())
    line += ": " + std::to_string(r.runs->size()) + " runs, " + std::to_string(Bytes(*r.runs)) +
            " damaged bytes";
  else if (r.message)
    line += ": " + OneLine(ProgramTextToUtf8(r.message->text.c_str()));
  if (r.output) line += " -> " + QuotedName(PathToUtf8(r.output));
  line += "\n";
  if (r.runs) line += RangeLines(nullptr, *r.runs);
  return r.merge ? line + MergeLines(r) : line;
}
