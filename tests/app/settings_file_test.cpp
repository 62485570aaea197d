#include <shlwapi.h>

#include <gtest/gtest.h>

#include "app/settings_file.h"
#include "app/settings.h"
#include "tests/support/temp_files.h"

static std::string Keys(const Settings& s) {
  return "[Settings]\r\nWindowLeft=" + std::to_string(s.WindowLeft) +
         "\r\nWindowTop=" + std::to_string(s.WindowTop) +
         "\r\nErrorLength=" + std::to_string(s.ErrorLength) +
         "\r\nSkipJunk=" + std::to_string(s.SkipJunk) + "\r\n";
}

// Each file (the first: none) is loaded over {11, 22, 8192, 1}, a missing key keeping its value,
// the load rules applied; the record is then stored into a new file.
TEST(SettingsFile, LoadsOverTheRecordWithTheLoadRulesAndStoresTheFourKeys) {
  const std::string dir = MakeTempDir(), path = JoinPath(dir, "Orvalintex.ini");
  const std::pair<std::string, Settings> rows[] = {
      {"", {11, 22, 8192, 1}},
      {"[Settings]\r\nWindowLeft=-1200\r\nWindowTop=-3\r\nErrorLength=16384\r\nSkipJunk=0\r\n",
       {-1200, -3, 16384, 0}},
      {"[Other]\r\nWindowTop=5\r\n[Settings]\r\nErrorLength=-4096\r\nSkipJunk=-1\r\n",
       {11, 22, 8192, 1}},
  };
  for (const auto& r : rows) {
    if (!r.first.empty()) WriteBytes(path, {r.first.begin(), r.first.end()});
    g_settings = {11, 22, 8192, 1};
    LoadSettings(path.c_str());
    DeleteFileA(path.c_str());
    StoreSettings(path.c_str());
    const std::vector<uint8_t> stored = ReadBytes(path);
    EXPECT_EQ(std::string(stored.begin(), stored.end()), Keys(r.second)) << "loaded from:\n"
                                                                         << r.first;
  }
  RemoveTree(dir);
  char own[MAX_PATH];
  SettingsFilePath(own);
  EXPECT_STREQ(PathFindFileNameA(own), "app_tests.ini");
}
