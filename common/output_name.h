// Where a repair writes by default: beside the damaged file, its name with
// ".fixed" put before its extension (clip.avi gives clip.fixed.avi, clip gives
// clip.fixed). Both programs put the mark in so; they find the extension each
// in their own way.
#pragma once
#include <string>

constexpr char kFixedMark[] = ".fixed";
constexpr int kFixedMarkLength = sizeof kFixedMark - 1;
constexpr char kPlayableMark[] = ".playable";  // a repair made playable

// path with mark (kFixedMark unless said) put in where extension, a pointer
// into path at its last component's extension or at its end, begins.
std::string WithFixedMark(const char* path, const char* extension, const char* mark = kFixedMark);

// The command-line program's extension: from the last dot of the last
// component on, unless that dot starts the component (a hidden file's name
// has none), else the end of path. take.2.avi gives .avi, v.old/clip none.
// Walks the path through its code page (NextPathChar), so a Shift-JIS trail
// byte of 0x5C is never taken for a backslash.
const char* FindExtension(const char* path);

// WithFixedMark(damaged, FindExtension(damaged), mark).
std::string FixedOutputPath(const char* damaged, const char* mark = kFixedMark);

// 1 when the last component of path is named as FixedOutputPath names an
// output: name.fixed.ext or name.fixed, or so with kPlayableMark.
int IsFixedOutputName(const char* path);

// The path up to and including its last folder separator: where a file beside
// it goes. Empty for a bare name, which lies in the current folder.
std::string FolderPrefix(const char* path);
