#include "cli/text_file.h"

#include "platform/console.h"
#include "platform/fs.h"
#include "platform/replace.h"
#include "report/report.h"
#include "common/output_name.h"

// ddrescue writes a line of some 40 bytes per block it tells apart: a map
// past this size is no map of a copy of our files.
static const uint64_t kMaxMapfile = 1ull << 28;

int ReadSmallFile(const char* path, std::string* text, std::string* why) {
  const FileHandle file = OpenForRead(path);
  uint64_t size = 0;
  int ok = file != kNoFile && GetSize(file, &size);
  if (ok && size > kMaxMapfile) {
    *why = "larger than 256 MiB";
    ok = 0;
  } else if (ok) {
    text->resize(static_cast<size_t>(size));
    ok = size == 0 || ReadExact(file, &(*text)[0], static_cast<uint32_t>(size));
  }
  if (!ok && why->empty()) *why = FileErrorText(LastFileError());
  CloseFile(file);
  return ok;
}

int WriteMapfile(const char* path, const std::string& text) {
  Replacement map;
  FileError error = {kNoFailure, 0};
  if (!MayReplace(path)) {
    error.failure = IsFolder(path) ? kFailedIsFolder : kFailedNotRegular;
  } else if (BeginReplacement(&map, path, path, std::string())) {
    const int written = WriteExact(map.file, text.data(), static_cast<uint32_t>(text.size()));
    if (!written) error = LastFileError();
    if (EndReplacement(&map, path, written)) return 1;
  }
  if (StopStatus()) return 0;
  if (error.failure == kNoFailure) error = SystemFailure(map.error);
  WriteText(kStderr, "orvalintex-cli: cannot write the mapfile " + QuotedName(PathToUtf8(path)) +
                         ": " + FileErrorText(error) + "\n");
  return 0;
}
