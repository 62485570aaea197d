#include "common/output_name.h"

#include <cstring>

#include "common/file_io.h"

std::string WithFixedMark(const char* path, const char* extension) {
  return std::string(path, extension) + kFixedMark + extension;
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

std::string FixedOutputPath(const char* damaged) {
  return WithFixedMark(damaged, FindExtension(damaged));
}

int IsFixedOutputName(const char* path) {
  const char* extension = FindExtension(path);
  if (std::strcmp(extension, kFixedMark) == 0) return 1;
  const size_t stem = static_cast<size_t>(extension - path) - FolderPrefix(path).size();
  return stem > static_cast<size_t>(kFixedMarkLength) &&
         std::memcmp(extension - kFixedMarkLength, kFixedMark, kFixedMarkLength) == 0;
}

std::string FolderPrefix(const char* path) {
  const char* end = path;
  for (const char* p = path; *p; p = NextPathChar(p))
    if (IsFolderSeparator(*p)) end = p + 1;
  return std::string(path, end);
}
