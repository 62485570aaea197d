#include "cli/write_file.h"

#include "cli/console.h"
#include "cli/fs.h"
#include "common/output_name.h"

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
