#include "scan/mapfile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

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
    for (; k < damaged.size() && damaged[k].offset <= joined.end(); ++k)
      joined.length = std::max(joined.end(), damaged[k].end()) - joined.offset;
    AddBlock(&text, done, joined.offset - done, '+');
    AddBlock(&text, joined.offset, joined.length, '?');
    done = joined.end();
  }
  if (done < size) AddBlock(&text, done, size - done, '+');
  return text;
}

// A number as C++ writes an integer constant, below 2^63 as ddrescue keeps it.
static int ReadNumber(const std::string& token, uint64_t* value) {
  const bool hex = token.size() > 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X');
  const unsigned base = hex ? 16 : token.size() > 1 && token[0] == '0' ? 8 : 10;
  *value = 0;
  for (size_t i = hex ? 2 : 0; i < token.size(); ++i) {
    const char c = token[i];
    const unsigned digit = c >= '0' && c <= '9'   ? unsigned(c - '0')
                           : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                           : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
                                                  : 16;
    if (digit >= base || *value > ((1ull << 63) - 1 - digit) / base) return 0;
    *value = *value * base + digit;
  }
  return !token.empty();
}

// The words of a line, up to a "#" that starts one.
static std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    if (line[i] == '#') break;
    const size_t end = line.find_first_of(" \t\r", i);
    words.push_back(line.substr(i, end - i));
    i = end == std::string::npos ? line.size() : end;
  }
  return words;
}

static bool IsStatus(const std::string& word, const char* allowed) {
  return word.size() == 1 && std::strchr(allowed, word[0]) != nullptr;
}

// A map that cannot be read holds nothing.
static std::string Refuse(CopyMap* map, const std::string& why) {
  map->rescued.clear();
  return why;
}

std::string ReadMapfile(const std::string& text, CopyMap* map) {
  *map = CopyMap{1, {}, 0};
  uint64_t end = 0;  // of the blocks so far
  bool status = false;
  size_t number = 0;
  for (size_t at = 0; at < text.size();) {
    const size_t next = std::min(text.find('\n', at), text.size());
    const std::vector<std::string> w = Words(text.substr(at, next - at));
    at = next + 1;
    ++number;
    const std::string where = "line " + std::to_string(number) + ": ";
    uint64_t pos = 0, size = 0, pass = 1;
    if (w.empty()) continue;
    if (!status) {
      const bool decimal =
          w.size() < 3 || w[2].find_first_not_of("0123456789") == std::string::npos;
      if (w.size() < 2 || w.size() > 3 || !ReadNumber(w[0], &pos) || !IsStatus(w[1], "?*/-FG+") ||
          (w.size() == 3 && (!decimal || !ReadNumber(w[2], &pass) || pass == 0)))
        return Refuse(map, where + "not a status line (position, status, pass)");
      status = true;
      continue;
    }
    if (w.size() != 3 || !ReadNumber(w[0], &pos) || !ReadNumber(w[1], &size) || size == 0 ||
        !IsStatus(w[2], "?*/-+"))
      return Refuse(map, where + "not a block line (position, size, status)");
    if (pos != end)
      return Refuse(map, where + (end == 0 ? "the first block does not start at 0"
                                           : "the block does not start where the last ended"));
    if (size > (1ull << 63) - 1 - pos) return Refuse(map, where + "the block ends past 2^63");
    if (w[2] == "+") AddRange(&map->rescued, {pos, size});
    end = map->extent = pos + size;
  }
  return status ? std::string() : "line " + std::to_string(number + 1) + ": no status line";
}
