#define _CRT_RAND_S  // rand_s from stdlib.h
#include <stdlib.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/fs.h"

int IsFolder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int MakeFolder(const char* path) {
  return CreateDirectoryA(path, nullptr) ? 0 : static_cast<int>(GetLastError());
}

// The last character is found through the code page: a trail byte can be 0x5C.
std::string JoinPath(const char* folder, const char* name) {
  std::string path = folder;
  if (!path.empty()) {
    const char* last = CharPrevA(folder, folder + path.size());
    if (!(last + 1 == folder + path.size() && IsFolderSeparator(*last))) path += '\\';
  }
  return path + name;
}

// A reparse point (a link or junction) is a file only when links are followed.
int ListFolder(const char* folder, int followLinks, std::vector<std::string>* files,
               std::vector<std::string>* others) {
  WIN32_FIND_DATAA item;
  HANDLE find = FindFirstFileA(JoinPath(folder, "*").c_str(), &item);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  const DWORD links = followLinks ? 0 : FILE_ATTRIBUTE_REPARSE_POINT;
  const DWORD notFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | links;
  do {
    if (std::strcmp(item.cFileName, ".") == 0 || std::strcmp(item.cFileName, "..") == 0) continue;
    if (!(item.dwFileAttributes & notFile))
      files->push_back(JoinPath(folder, item.cFileName));
    else if (others)
      others->push_back(JoinPath(folder, item.cFileName));
  } while (FindNextFileA(find, &item));
  FindClose(find);
  std::sort(files->begin(), files->end());
  if (others) std::sort(others->begin(), others->end());
  return 1;
}

// Opened for no access at all, so files held open by others are still seen.
static int Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int ok = GetFileInformationByHandle(h, info) != 0;
  CloseHandle(h);
  return ok;
}

int SameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return Identify(a, &ia) && Identify(b, &ib) &&
         ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

// Names are compared whole and without regard to case, as Windows finds files.
int SamePlace(const char* a, const char* b) {
  char fullA[MAX_PATH], fullB[MAX_PATH];
  const DWORD na = GetFullPathNameA(a, MAX_PATH, fullA, nullptr);
  const DWORD nb = GetFullPathNameA(b, MAX_PATH, fullB, nullptr);
  return SameFile(a, b) ||
         (na > 0 && na < MAX_PATH && nb > 0 && nb < MAX_PATH && lstrcmpiA(fullA, fullB) == 0);
}

// The name itself is opened, not what a reparse point leads to; a device name
// such as NUL or CON opens as a character device, not as a disk file.
int MayReplace(const char* path) {
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD notPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  int ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, &info) &&
           !(info.dwFileAttributes & notPlain);
  CloseHandle(h);
  return ok;
}

// CREATE_NEW never opens what is there, a link included; the name's digits
// are the system's random numbers; the folder gives the permissions.
FileHandle CreatePartialFile(const std::string& folder, const char*, const char*,
                             std::string* path) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned int random = 0;
    if (rand_s(&random) != 0) return kNoFile;
    char name[32];
    std::snprintf(name, sizeof name, ".orvalintex-%08X", random);
    *path = folder + name;
    HANDLE h = CreateFileA(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<FileHandle>(h);
    if (GetLastError() != ERROR_FILE_EXISTS) return kNoFile;
  }
  return kNoFile;
}

int SystemError() { return static_cast<int>(GetLastError()); }

int FlushFile(FileHandle file) { return FlushFileBuffers(reinterpret_cast<HANDLE>(file)) != 0; }

int ReplaceWith(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
