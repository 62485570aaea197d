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

// Makes the folder at path, one level, as mkdir does. Returns 0, or the
// system's error number.
int MakeFolder(const char* path);

// The path of name inside folder.
std::string JoinPath(const char* folder, const char* name);

// The entries directly inside folder, each joined to it, sorted by name: the
// regular files into *files, and into *others (when not null) everything else
// but "." and "..". With followLinks a link to a regular file counts as one;
// without, every link is another thing. Returns 0 when the folder cannot be
// listed.
int ListFolder(const char* folder, int followLinks, std::vector<std::string>* files,
               std::vector<std::string>* others);

// 1 when both paths name one existing file (also through other spellings or links).
int SameFile(const char* a, const char* b);

// 1 when both paths name one place: one existing file, or one name in one
// folder where nothing has that name yet (also through other spellings).
int SamePlace(const char* a, const char* b);

// The size of the file at path, a block device's too. Returns 0 when it cannot be had.
int SizeOf(const char* path, uint64_t* size);

// 1 when a repair may put its output at path: nothing has that name yet, or a
// regular file does. Links, devices, FIFOs, sockets and folders are refused
// (on Windows devices such as NUL or CON, folders and reparse points).
int MayReplace(const char* path);

// Creates a new empty file, open for writing, under a name no one can guess in
// folder (a prefix ending in a separator, or empty for the current folder),
// and puts its name in *path. It gets the permission bits (and, where allowed,
// the owner) of the regular file at output; when there is none, those of the
// file at like (the damaged copy), with the umask applied, as cp gives a copy.
// Returns kNoFile when no file can be made.
FileHandle CreatePartialFile(const std::string& folder, const char* output, const char* like,
                             std::string* path);

// The system's error number for the last call that failed (errno, or
// GetLastError() on Windows).
int SystemError();

// Makes what was written to file durable before it takes another's place.
int FlushFile(FileHandle file);

// Puts the closed file at from in place of the one at to in one step, and
// makes the change of names durable.
int ReplaceWith(const char* from, const char* to);
