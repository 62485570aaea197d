#include <windows.h>

#include "common/file_io.h"

// Later calls may overwrite the system's last error; the reason is kept.
static FileError g_lastError = {kNoFailure, 0};

static int Fail(FileError error) {
  g_lastError = error;
  return 0;
}

static int FailBySystem() { return Fail(SystemFailure(static_cast<int>(GetLastError()))); }

FileError LastFileError() { return g_lastError; }

static HANDLE AsHandle(FileHandle file) { return reinterpret_cast<HANDLE>(file); }

FileHandle OpenForRead(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<FileHandle>(h);
  // A folder cannot be opened this way; say so rather than "access denied".
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path);
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  Fail(folder ? FileError{kFailedIsFolder, 0} : SystemFailure(static_cast<int>(error)));
  return kNoFile;
}

// The inputs are held open with read sharing only, so the system itself
// refuses to open any of them again for writing.
FileHandle CreateAlways(const char* path, const FileHandle*, int) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) FailBySystem();
  return reinterpret_cast<FileHandle>(h);
}

int GetSize(FileHandle file, uint64_t* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(AsHandle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return FailBySystem();
  *size = (static_cast<uint64_t>(high) << 32) | low;
  return 1;
}

int ReadExact(FileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(AsHandle(file), buffer, n, &got, nullptr)) return FailBySystem();
  return got == n ? 1 : Fail({kFailedEndedEarly, 0});
}

int WriteExact(FileHandle file, const void* buffer, uint32_t n) {
  DWORD put = 0;
  if (!WriteFile(AsHandle(file), buffer, n, &put, nullptr)) return FailBySystem();
  return put == n ? 1 : Fail(SystemFailure(ERROR_DISK_FULL));
}

int WriteAt(FileHandle file, uint64_t offset, const void* buffer, uint32_t n) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(AsHandle(file), to, nullptr, FILE_BEGIN)) return FailBySystem();
  return WriteExact(file, buffer, n);
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) CloseHandle(AsHandle(file));
}

int RemoveFile(const char* path) {
  return DeleteFileA(path) ? 1 : FailBySystem();
}

const char* NextPathChar(const char* p) { return CharNextA(p); }

int IsFolderSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
