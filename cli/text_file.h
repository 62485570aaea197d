// Small text files: mapfiles read and written.
#pragma once
#include <string>

// Reads the whole file at path, of at most 256 MiB, into *text. Returns 0,
// with *why, when it cannot.
int ReadSmallFile(const char* path, std::string* text, std::string* why);

// Writes text to path into a partial file beside it, made durable and renamed
// over it once complete. Tells on stderr and returns 0, leaving any earlier
// file, when it cannot.
int WriteMapfile(const char* path, const std::string& text);
