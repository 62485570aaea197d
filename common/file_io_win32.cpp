#include <windows.h>

#include "common/file_io.h"

static HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle OpenForRead(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(h);
}

// The inputs are held open with read sharing only, so the system itself
// refuses to open any of them again for writing.
FileHandle CreateAlways(const char* path, const FileHandle*, int) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileHandle>(h);
}

int GetSize(FileHandle file, uint64_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(AsHandle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  *size = (static_cast<uint64_t>(high) << 32) | low;
  return 1;
}

int ReadExact(FileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  return ReadFile(AsHandle(file), buffer, n, &got, nullptr) && got == n;
}

int WriteExact(FileHandle file, const void* buffer, uint32_t n) {
  DWORD put = 0;
  return WriteFile(AsHandle(file), buffer, n, &put, nullptr) && put == n;
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(AsHandle(file));
}

int RemoveFile(const char* path) { return DeleteFileA(path) ? 1 : 0; }
