#include "tests/support/temp_files.h"

#include <filesystem>
#include <fstream>
#include <random>

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

std::string MakeTempDir() {
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() / ("orvalintex-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) return p.string();
  }
}

void RemoveTree(const std::string& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// Plain byte joins: the names may be Shift-JIS, which the library's path type
// would take for another encoding.
std::string JoinPath(const std::string& dir, const std::string& name) {
#ifdef _WIN32
  const char separator = '\\';
#else
  const char separator = '/';
#endif
  return dir.empty() || dir.back() == separator ? dir + name : dir + separator + name;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool HeldOpen(const std::string& path) {
#ifdef _WIN32
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return false;
#else
  std::error_code ec;  // descriptors that are no file are not equivalent to one
  for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec))
    if (fs::equivalent(fd.path(), path, ec)) return true;
  return false;
#endif
}
