// Strings for the JSON output.
#pragma once
#include <string>

// utf8 as a JSON string literal, quotes included, in plain ASCII: every other
// character is written as \uXXXX (surrogate pairs beyond U+FFFF), so the
// output reads the same in any code page. Bytes that are not UTF-8 (a POSIX
// name can hold such) become U+FFFD.
std::string JsonString(const std::string& utf8);
