#include "cli/text_file.h"

#include "cli/console.h"
#include "cli/fs.h"
#include "cli/replace.h"
#include "cli/report.h"
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
  int error = 0;
  if (!MayReplace(path)) {
    error = IsFolder(path) ? kErrorIsFolder : kErrorNotRegular;
  } else if (BeginReplacement(&map, path, path, std::string())) {
    const int written = WriteExact(map.file, text.data(), static_cast<uint32_t>(text.size()));
    if (!written) map.error = LastFileError();
    if (EndReplacement(&map, path, written)) return 1;
  }
  if (StopStatus()) return 0;
  error = error ? error : map.error;
  WriteText(kStderr, "orvalintex-cli: cannot write the mapfile " + QuotedName(PathToUtf8(path)) +
                         ": " + FileErrorText(error) + "\n");
  return 0;
}
