// The file-system operations the command-line tool needs beyond the core's
// file layer, with one Windows and one POSIX implementation. Paths are bytes in
// the ANSI code page (Windows) or the locale's encoding (POSIX).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/file_io.h"

// 1 when path names a folder.
int IsFolder(const char* path);

// The path of name inside folder.
std::string JoinPath(const char* folder, const char* name);

// The plain files directly inside folder (no subfolders, hidden files
// included), each joined to the folder, sorted by name. Returns 0 when the
// folder cannot be listed.
int ListFolderFiles(const char* folder, std::vector<std::string>* files);

// The size a listing of its folder gives for the regular file at path, 0 for
// anything else. Opens nothing, so it never waits on a FIFO or a device.
uint64_t ListedSize(const char* path);

// 1 when both paths name one existing file (also through other spellings or links).
int SameFile(const char* a, const char* b);

// 1 when a repair may put its output at path: nothing has that name yet, or a
// regular file does. Links, devices, FIFOs, sockets and folders are refused
// (on Windows devices such as NUL or CON, folders and reparse points).
int MayReplace(const char* path);

// Creates a new empty file, open for writing, under a name no one can guess in
// folder (a prefix ending in a separator, or empty for the current folder),
// and puts its name in *path. It gets the permission bits (and, where allowed,
// the owner) of the regular file at output, or those of a new file when there
// is none. Returns kNoFile when no file can be made.
FileHandle CreatePartialFile(const std::string& folder, const char* output, std::string* path);

// Puts the file at from in place of the one at to, replacing it in one step.
int ReplaceWith(const char* from, const char* to);

// The character after the one at p, stepping over both bytes of a
// double-byte character where paths are in an ANSI code page.
const char* NextPathChar(const char* p);

// 1 for the characters that end a folder name in a path.
int IsFolderSeparator(char c);
