#include "common/file_io.h"

// What is read whole is a ddrescue mapfile, a line of some 40 bytes per block
// it tells apart: one past this size is no map of a copy of our files.
static const uint64_t kMaxSmallFile = 1ull << 28;

int SizeOf(const char* path, uint64_t* size) {
  const FileHandle file = OpenForRead(path);
  const int known = file != kNoFile && GetSize(file, size);
  CloseFile(file);
  return known;
}

int ReadSmallFile(const char* path, std::string* text, FileError* error) {
  const FileHandle file = OpenForRead(path);
  uint64_t size = 0;
  int ok = file != kNoFile && GetSize(file, &size);
  *error = {kNoFailure, 0};
  if (ok && size > kMaxSmallFile) {
    error->failure = kFailedTooLarge;
    ok = 0;
  } else if (ok) {
    text->resize(static_cast<size_t>(size));
    ok = size == 0 || ReadExact(file, &(*text)[0], static_cast<uint32_t>(size));
  }
  if (!ok && error->failure == kNoFailure) *error = LastFileError();
  CloseFile(file);
  return ok;
}
