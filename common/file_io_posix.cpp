#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/file_io.h"

// errno is overwritten by the closing and the next calls; the reason is kept.
static FileError g_lastError = {kNoFailure, 0};

static int Fail(FileError error) {
  g_lastError = error;
  return 0;
}

static FileHandle Refuse(int fd, FileError error) {
  if (fd >= 0) close(fd);
  Fail(error);
  return kNoFile;
}

FileError LastFileError() { return g_lastError; }

// Only regular files and block devices (a disc or a disc image behind a loop
// device) are read: a FIFO, a terminal or /dev/zero would block or never end.
// Opened without blocking, so a FIFO without a writer is refused at once.
FileHandle OpenForRead(const char* path) {
  int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return Refuse(fd, SystemFailure(errno));
  struct stat st;
  FileError error = {kNoFailure, 0};
  if (fstat(fd, &st) != 0)
    error = SystemFailure(errno);
  else if (S_ISDIR(st.st_mode))
    error.failure = kFailedIsFolder;
  else if (!S_ISREG(st.st_mode) && !S_ISBLK(st.st_mode))
    error.failure = kFailedNotRegular;
  else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    error = SystemFailure(errno);
  return error.failure != kNoFailure ? Refuse(fd, error) : fd;
}

static int SameFile(const struct stat& a, int fd) {
  struct stat b;
  return fstat(fd, &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// POSIX has no sharing modes: open without truncating, make sure the file is
// none of the inputs, and only then cut it to length 0.
FileHandle CreateAlways(const char* path, const FileHandle* inputs, int count) {
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return Refuse(fd, SystemFailure(errno));
  struct stat st;
  FileError error = {kNoFailure, 0};
  if (fstat(fd, &st) != 0)
    error = SystemFailure(errno);
  else if (!S_ISREG(st.st_mode))
    error.failure = kFailedNotRegular;
  for (int i = 0; error.failure == kNoFailure && i < count; ++i)
    if (inputs[i] != kNoFile && SameFile(st, static_cast<int>(inputs[i])))
      error.failure = kFailedIsInput;
  if (error.failure == kNoFailure && ftruncate(fd, 0) != 0) error = SystemFailure(errno);
  return error.failure != kNoFailure ? Refuse(fd, error) : fd;
}

// A block device's size is where its end lies; fstat gives 0 for it.
int GetSize(FileHandle file, uint64_t* size) {
  const int fd = static_cast<int>(file);
  struct stat st;
  if (fstat(fd, &st) != 0) return Fail(SystemFailure(errno));
  if (!S_ISBLK(st.st_mode)) {
    *size = static_cast<uint64_t>(st.st_size);
    return 1;
  }
  const off_t here = lseek(fd, 0, SEEK_CUR), end = lseek(fd, 0, SEEK_END);
  if (here < 0 || end < 0 || lseek(fd, here, SEEK_SET) != here) return Fail(SystemFailure(errno));
  *size = static_cast<uint64_t>(end);
  return 1;
}

int ReadExact(FileHandle file, void* buffer, uint32_t n) {
  char* p = static_cast<char*>(buffer);
  while (n > 0) {
    ssize_t got = read(static_cast<int>(file), p, n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return Fail(got < 0 ? SystemFailure(errno) : FileError{kFailedEndedEarly, 0});
    p += got;
    n -= static_cast<uint32_t>(got);
  }
  return 1;
}

int WriteExact(FileHandle file, const void* buffer, uint32_t n) {
  const char* p = static_cast<const char*>(buffer);
  while (n > 0) {
    ssize_t put = write(static_cast<int>(file), p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return Fail(SystemFailure(put < 0 ? errno : ENOSPC));
    p += put;
    n -= static_cast<uint32_t>(put);
  }
  return 1;
}

int WriteAt(FileHandle file, uint64_t offset, const void* buffer, uint32_t n) {
  const off_t to = static_cast<off_t>(offset);
  if (lseek(static_cast<int>(file), to, SEEK_SET) != to) return Fail(SystemFailure(errno));
  return WriteExact(file, buffer, n);
}

void CloseFile(FileHandle file) {
  if (file != kNoFile) close(static_cast<int>(file));
}

int RemoveFile(const char* path) { return unlink(path) == 0 ? 1 : Fail(SystemFailure(errno)); }

const char* NextPathChar(const char* p) { return p + 1; }

int IsFolderSeparator(char c) { return c == '/'; }
