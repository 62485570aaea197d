#include <windows.h>

#include <algorithm>
#include <cstring>

#include "cli/fs.h"

int IsFolder(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Joins with a backslash unless the folder already ends in a separator; the
// last character is found through the code page, as a trail byte can be 0x5C.
static std::string JoinFolder(const char* folder, const char* name) {
  std::string path = folder;
  if (!path.empty()) {
    const char* last = CharPrevA(folder, folder + path.size());
    if (!(last + 1 == folder + path.size() && IsFolderSeparator(*last))) path += '\\';
  }
  return path + name;
}

int ListFolderFiles(const char* folder, std::vector<std::string>* files) {
  WIN32_FIND_DATAA item;
  HANDLE find = FindFirstFileA(JoinFolder(folder, "*").c_str(), &item);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    if (!(item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      files->push_back(JoinFolder(folder, item.cFileName));
  } while (FindNextFileA(find, &item));
  FindClose(find);
  std::sort(files->begin(), files->end());
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

int CreateNewFile(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  CloseHandle(h);
  return 1;
}

int ReplaceWith(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

const char* NextPathChar(const char* p) { return CharNextA(p); }

int IsFolderSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }
