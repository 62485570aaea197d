#include "common/output_name.h"

#include <cstring>

#include "common/file_io.h"

std::string WithFixedMark(const char* path, const char* extension, const char* mark) {
  return std::string(path, extension) + mark + extension;
}

const char* FindExtension(const char* path) {
  const char* component = path;
  const char* extension = nullptr;
  const char* p = path;
  for (; *p; p = NextPathChar(p)) {
    if (IsFolderSeparator(*p)) {
      component = p + 1;
      extension = nullptr;
    } else if (*p == '.' && p != component) {
      extension = p;
    }
  }
  return extension ? extension : p;
}

std::string FixedOutputPath(const char* damaged, const char* mark) {
  return WithFixedMark(damaged, FindExtension(damaged), mark);
}

// name.mark.ext, or name.mark: the mark ends the stem or is the extension.
static int HasMark(const char* path, const char* mark) {
  const char* extension = FindExtension(path);
  const size_t length = std::strlen(mark);
  if (std::strcmp(extension, mark) == 0) return 1;
  const size_t stem = static_cast<size_t>(extension - path) - FolderPrefix(path).size();
  return stem > length && std::memcmp(extension - length, mark, length) == 0;
}

int IsFixedOutputName(const char* path) {
  return HasMark(path, kFixedMark) || HasMark(path, kPlayableMark);
}

std::string FolderPrefix(const char* path) {
  const char* end = path;
  for (const char* p = path; *p; p = NextPathChar(p))
    if (IsFolderSeparator(*p)) end = p + 1;
  return std::string(path, end);
}
