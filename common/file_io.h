// The little file access the scanner and the merger need, with one Windows and
// one POSIX implementation. Paths are bytes in the ANSI code page (Windows) or
// the locale's encoding (POSIX). Every function returns 1 for success, 0 for
// failure, and never shows anything: the caller tells the user, and may ask
// LastFileError() why.
#pragma once
#include <cstdint>
#include <string>

// A Windows HANDLE or a POSIX descriptor; kNoFile when nothing is open.
typedef intptr_t FileHandle;
constexpr FileHandle kNoFile = -1;

// Opens an existing file for reading. Others may read it meanwhile but not
// write it (Windows sharing; POSIX has no such guard). Folders are refused, and
// on POSIX everything but regular files and block devices.
FileHandle OpenForRead(const char* path);

// Makes the file at path anew for reading and writing, no sharing: an existing
// one is truncated to length 0. Fails, touching nothing, when path names one of
// the count files in inputs, which the caller holds open (Windows refuses
// through the sharing modes; POSIX compares device and inode).
FileHandle CreateAlways(const char* path, const FileHandle* inputs, int count);

// The file's size.
int GetSize(FileHandle file, uint64_t* size);

// Reads exactly n bytes at the current position; a short read is a failure.
int ReadExact(FileHandle file, void* buffer, uint32_t n);

// Writes exactly n bytes at the current position; a short write is a failure.
int WriteExact(FileHandle file, const void* buffer, uint32_t n);

// Writes exactly n bytes at offset, wherever the file's position is; it is
// left anywhere.
int WriteAt(FileHandle file, uint64_t offset, const void* buffer, uint32_t n);

// Releases the file; a kNoFile handle is ignored.
void CloseFile(FileHandle file);

// Deletes the file at path.
int RemoveFile(const char* path);

// Why a file operation failed: the system said so (its error number, errno
// or GetLastError() on Windows), or the program found one of the others.
enum FileFailure {
  kNoFailure,
  kFailedBySystem,
  kFailedIsFolder,    // a folder was to be read
  kFailedNotRegular,  // neither a regular file nor a block device
  kFailedEndedEarly,  // the file ended before its size: it shrank meanwhile
  kFailedIsInput,     // the file to make is one of the files being read
  kFailedTooLarge,    // larger than what is read whole
};
struct FileError {
  FileFailure failure;
  int system;  // kFailedBySystem: the system's error number
};

inline FileError SystemFailure(int system) { return {kFailedBySystem, system}; }

// Why the last failing call above failed.
FileError LastFileError();

// Whole files, through the calls above. The size of the file at path, a block
// device's too; and the whole file at path, of at most 256 MiB, into *text
// (a larger one is kFailedTooLarge). Both return 0 when they cannot.
int SizeOf(const char* path, uint64_t* size);
int ReadSmallFile(const char* path, std::string* text, FileError* error);

// The character after the one at p, stepping over both bytes of a
// double-byte character where paths are in an ANSI code page.
const char* NextPathChar(const char* p);

// 1 for the characters that end a folder name in a path.
int IsFolderSeparator(char c);
