// The file-system operations the command-line tool needs beyond the core's
// file layer, with one Windows and one POSIX implementation. Paths are bytes in
// the ANSI code page (Windows) or the locale's encoding (POSIX).
#pragma once
#include <string>
#include <vector>

// 1 when path names a folder.
int IsFolder(const char* path);

// The plain files directly inside folder (no subfolders, hidden files
// included), each joined to the folder, sorted by name. Returns 0 when the
// folder cannot be listed.
int ListFolderFiles(const char* folder, std::vector<std::string>* files);

// 1 when both paths name one existing file (also through other spellings or links).
int SameFile(const char* a, const char* b);

// Creates path as a new empty file; fails when anything already has that name.
int CreateNewFile(const char* path);

// Puts the file at from in place of the one at to, replacing it in one step.
int ReplaceWith(const char* from, const char* to);

// The character after the one at p, stepping over both bytes of a
// double-byte character where paths are in an ANSI code page.
const char* NextPathChar(const char* p);

// 1 for the characters that end a folder name in a path.
int IsFolderSeparator(char c);
