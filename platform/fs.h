// The file system as the command-line tool needs it beyond the core's file
// layer, one Windows and one POSIX implementation. Paths are bytes in the ANSI
// code page (Windows) or the locale's encoding (POSIX).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/file_io.h"

// 1 when path names a folder.
int IsFolder(const char* path);

// Makes the folder at path, one level. Returns 0, or the system's error number.
int MakeFolder(const char* path);

// The path of name inside folder.
std::string JoinPath(const char* folder, const char* name);

// The entries inside folder, joined to it, by name: regular files into *files,
// the rest into *others (may be null); with followLinks a link to a regular
// file is one. Returns 0 when it cannot list.
int ListFolder(const char* folder, int followLinks, std::vector<std::string>* files,
               std::vector<std::string>* others);

// 1 when both paths name one existing file (also through other spellings or links).
int SameFile(const char* a, const char* b);

// 1 when both paths name one place: one existing file, or one name in one
// folder where nothing has that name yet (also through other spellings).
int SamePlace(const char* a, const char* b);

// 1 when an output may take path: nothing has the name yet, or a regular file
// (no link, device such as NUL, FIFO, socket, folder or reparse point).
int MayReplace(const char* path);

// A new empty file, open for writing, under a name no one can guess in folder
// (a prefix, or empty), its name in *path; with the mode (and, where allowed,
// the owner) of the regular file at output, else like's less the umask, as cp
// gives a copy. kNoFile when none can be made.
FileHandle CreatePartialFile(const std::string& folder, const char* output, const char* like,
                             std::string* path);

// The system's error number for the last call that failed.
int SystemError();

// Makes what was written to file durable before it takes another's place.
int FlushFile(FileHandle file);

// Puts the closed file at from in place of to in one durable step.
int ReplaceWith(const char* from, const char* to);
