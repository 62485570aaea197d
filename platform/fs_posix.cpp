#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/fs.h"
#include "common/output_name.h"

int IsFolder(const char* path) {
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int MakeFolder(const char* path) { return mkdir(path, 0777) == 0 ? 0 : errno; }

std::string JoinPath(const char* folder, const char* name) {
  std::string path = folder;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + name;
}

int ListFolder(const char* folder, int followLinks, std::vector<std::string>* files,
               std::vector<std::string>* others) {
  DIR* dir = opendir(folder);
  if (!dir) return 0;
  while (const dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    std::string path = JoinPath(folder, entry->d_name);
    struct stat st;
    const int known = (followLinks ? stat(path.c_str(), &st) : lstat(path.c_str(), &st)) == 0;
    if (known && S_ISREG(st.st_mode))
      files->push_back(path);
    else if (others)
      others->push_back(path);
  }
  closedir(dir);
  std::sort(files->begin(), files->end());
  if (others) std::sort(others->begin(), others->end());
  return 1;
}

int SameFile(const char* a, const char* b) {
  struct stat sa, sb;
  return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Where path stands: the real path of what it names, or, where nothing has its
// name yet, its folder's real path and its name.
static std::string PlaceOf(const char* path) {
  char* real = realpath(path, nullptr);
  const std::string folder = FolderPrefix(path);
  std::string place = real ? "" : path + folder.size();
  if (!real) real = realpath(folder.empty() ? "." : folder.c_str(), nullptr);
  if (!real) return path;
  place = real + (place.empty() ? "" : "/" + place);
  std::free(real);
  return place;
}

int SamePlace(const char* a, const char* b) { return SameFile(a, b) || PlaceOf(a) == PlaceOf(b); }

int MayReplace(const char* path) {
  struct stat st;
  if (lstat(path, &st) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode);
}

// mkostemp makes the file exclusively (never through a link) with mode 0600;
// the output's owner goes first, as a change of owner clears set-id bits.
FileHandle CreatePartialFile(const std::string& folder, const char* output, const char* like,
                             std::string* path) {
  std::string name = folder + ".orvalintex-XXXXXX";
  int fd = mkostemp(&name[0], O_CLOEXEC);
  if (fd < 0) return kNoFile;
  *path = name;
  struct stat st;
  mode_t mode;
  if (lstat(output, &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
    // Not given away (only root may), the file loses its set-id bits.
    if (fchown(fd, st.st_uid, st.st_gid) != 0) mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = (stat(like, &st) == 0 ? st.st_mode & 0777 : 0666) & ~mask;
  }
  fchmod(fd, mode);
  return fd;
}

int SystemError() { return errno; }

int FlushFile(FileHandle file) { return fsync(static_cast<int>(file)) == 0; }

int ReplaceWith(const char* from, const char* to) {
  if (std::rename(from, to) != 0) return 0;
  const std::string folder = FolderPrefix(to);
  const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return 1;
}
