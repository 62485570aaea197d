#include "cli/output_name.h"

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
