#include "cli/output_name.h"

#include "cli/console.h"
#include "cli/fs.h"

std::string FixedOutputPath(const char* damaged) {
  const char* component = damaged;
  const char* extension = nullptr;
  const char* p = damaged;
  for (; *p; p = NextPathChar(p)) {
    if (IsFolderSeparator(*p)) {
      component = p + 1;
      extension = nullptr;
    } else if (*p == '.' && p != component) {
      extension = p;
    }
  }
  if (!extension) extension = p;
  return std::string(damaged, extension) + ".fixed" + extension;
}

std::string FolderPrefix(const char* path) {
  const char* end = path;
  for (const char* p = path; *p; p = NextPathChar(p))
    if (IsFolderSeparator(*p)) end = p + 1;
  return std::string(path, end);
}

int WriteMapfile(const char* path, const std::string& text) {
  std::string partial;
  FileHandle file = MayReplace(path) ? CreatePartialFile(FolderPrefix(path), path, &partial) : kNoFile;
  if (file != kNoFile) {
    const int written = WriteExact(file, text.data(), static_cast<uint32_t>(text.size()));
    CloseFile(file);
    if (written && ReplaceWith(partial.c_str(), path)) return 1;
    RemoveFile(partial.c_str());
  }
  WriteText(kStderr, "orvalintex-cli: cannot write the mapfile " + PathToUtf8(path) + "\n");
  return 0;
}
