// Where a repair writes by default.
#pragma once
#include <cstdint>
#include <string>

// The damaged file's path with ".fixed" put before the extension of its last
// component: clip.avi gives clip.fixed.avi, take.2.avi gives take.2.fixed.avi,
// clip gives clip.fixed. Folder names are left alone, dots or not, and a
// leading dot (a hidden file's) starts no extension.
std::string FixedOutputPath(const char* damaged);

// The path up to and including its last folder separator: where a file beside
// it goes. Empty for a bare name, which lies in the current folder.
std::string FolderPrefix(const char* path);

// Writes text to path as a repair puts its output in place: into a partial
// file beside it, renamed over it once complete. Tells on stderr and returns 0,
// leaving any earlier file, when it cannot.
int WriteMapfile(const char* path, const std::string& text);
