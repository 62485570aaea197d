#include "cli/text_file.h"

#include "cli/console.h"
#include "cli/fs.h"
#include "common/output_name.h"

// A mapfile of a few megabytes at most: ddrescue writes one line per block.
static const uint64_t kMaxMapfile = 1ull << 28;

int ReadSmallFile(const char* path, std::string* text) {
  const FileHandle file = OpenForRead(path);
  uint64_t size = 0;
  int ok = file != kNoFile && GetSize(file, &size) && size <= kMaxMapfile;
  if (ok) {
    text->resize(static_cast<size_t>(size));
    ok = size == 0 || ReadExact(file, &(*text)[0], static_cast<uint32_t>(size));
  }
  CloseFile(file);
  return ok;
}

int WriteMapfile(const char* path, const std::string& text) {
  std::string partial;
  FileHandle file =
      MayReplace(path) ? CreatePartialFile(FolderPrefix(path), path, path, &partial) : kNoFile;
  if (file != kNoFile) {
    const int written = WriteExact(file, text.data(), static_cast<uint32_t>(text.size())) &&
                        FlushFile(file);
    CloseFile(file);
    if (written && ReplaceWith(partial.c_str(), path)) return 1;
    RemoveFile(partial.c_str());
  }
  WriteText(kStderr, "orvalintex-cli: cannot write the mapfile " + PathToUtf8(path) + "\n");
  return 0;
}
