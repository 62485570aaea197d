// Writing a small file as a repair puts its output in place.
#pragma once
#include <string>

// Writes text to path into a partial file beside it, made durable and renamed
// over it once complete. Tells on stderr and returns 0, leaving any earlier
// file, when it cannot.
int WriteMapfile(const char* path, const std::string& text);
