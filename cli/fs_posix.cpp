#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "cli/fs.h"

int IsFolder(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Only regular files (links followed): a FIFO or a device inside a folder
// would block or never end.
int ListFolderFiles(const char* folder, std::vector<std::string>* files) {
  DIR* dir = opendir(folder);
  if (!dir) return 0;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    std::string path = prefix + entry->d_name;
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files->push_back(path);
  }
  closedir(dir);
  std::sort(files->begin(), files->end());
  return 1;
}

int SameFile(const char* a, const char* b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int CreateNewFile(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return 0;
  close(fd);
  return 1;
}

int ReplaceWith(const char* from, const char* to) { return std::rename(from, to) == 0; }

const char* NextPathChar(const char* p) { return p + 1; }

int IsFolderSeparator(char c) { return c == '/'; }
