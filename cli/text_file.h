// Small text files: mapfiles read and written.
#pragma once
#include <string>

// Reads the whole file at path into *text. Returns 0 when it cannot.
int ReadSmallFile(const char* path, std::string* text);

// Writes text to path into a partial file beside it, made durable and renamed
// over it once complete. Tells on stderr and returns 0, leaving any earlier
// file, when it cannot.
int WriteMapfile(const char* path, const std::string& text);
