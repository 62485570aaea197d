#include "tests/cli/cli_run.h"

#include <algorithm>
#include <filesystem>
#include <random>

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

static void AppendUtf8(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

static bool ReadHex4(const std::string& s, size_t* i, uint32_t* unit) {
  if (*i + 4 > s.size()) return false;
  *unit = 0;
  for (int k = 0; k < 4; ++k) {
    char c = s[*i + k];
    int digit = c >= '0' && c <= '9' ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (digit < 0) return false;
    *unit = *unit * 16 + static_cast<uint32_t>(digit);
  }
  *i += 4;
  return true;
}

static bool ReadString(const std::string& s, size_t* i, std::string* value) {
  if (*i >= s.size() || s[*i] != '"') return false;
  ++*i;
  value->clear();
  while (*i < s.size()) {
    char c = s[(*i)++];
    if (c == '"') return true;
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c != '\\') {
      *value += c;
      continue;
    }
    if (*i >= s.size()) return false;
    char e = s[(*i)++];
    switch (e) {
      case '"': case '\\': case '/': *value += e; break;
      case 'b': *value += '\b'; break;
      case 'f': *value += '\f'; break;
      case 'n': *value += '\n'; break;
      case 'r': *value += '\r'; break;
      case 't': *value += '\t'; break;
      case 'u': {
        uint32_t unit, low;
        if (!ReadHex4(s, i, &unit)) return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          if (s.compare(*i, 2, "\\u") != 0) return false;
          *i += 2;
          if (!ReadHex4(s, i, &low) || low < 0xDC00 || low > 0xDFFF) return false;
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          return false;
        }
        AppendUtf8(value, unit);
        break;
      }
      default: return false;
    }
  }
  return false;
}

bool ParseJsonObject(const std::string& line, JsonObject* object) {
  *object = JsonObject();
  size_t i = 0;
  if (line.empty() || line[i++] != '{') return false;
  if (i < line.size() && line[i] == '}') return i + 1 == line.size();
  for (;;) {
    std::string key, value;
    if (!ReadString(line, &i, &key) || i >= line.size() || line[i++] != ':') return false;
    if (line.compare(i, 4, "null") == 0) {
      i += 4;
      object->nulls.push_back(key);
    } else if (ReadString(line, &i, &value)) {
      object->values[key] = value;
    } else {
      return false;
    }
    if (i >= line.size()) return false;
    char c = line[i++];
    if (c == '}') return i == line.size();
    if (c != ',') return false;
  }
}

std::vector<uint8_t> NonZeroBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(1, 255);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byte(random));
  return bytes;
}

std::vector<std::string> FolderNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
