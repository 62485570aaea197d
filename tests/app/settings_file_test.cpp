#include <gtest/gtest.h>

#include <cstring>

#include "app/settings_file.h"
#include "common/settings.h"
#include "tests/support/temp_files.h"

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = g_settings;
    g_settings = {0, 0, kDefaultErrorLength, 1};
    dir = MakeTempDir();
    path = JoinPath(dir, "Orvalintex.ini");
  }
  void TearDown() override {
    g_settings = saved;
    RemoveTree(dir);
  }
  void WriteText(const char* text) {
    WriteBytes(path, std::vector<uint8_t>(text, text + std::strlen(text)));
  }
  std::string ReadText() {
    std::vector<uint8_t> bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }
  Settings saved;
  std::string dir, path;
};

TEST_F(SettingsFile, NoFileKeepsTheDefaultsAndStoringWritesTheFourKeys) {
  LoadSettings(path.c_str());
  EXPECT_EQ(g_settings.WindowLeft, 0);
  EXPECT_EQ(g_settings.WindowTop, 0);
  EXPECT_EQ(g_settings.ErrorLength, 8192);
  EXPECT_EQ(g_settings.SkipJunk, 1);
  StoreSettings(path.c_str());
  EXPECT_EQ(ReadText(),
            "[Settings]\r\nWindowLeft=0\r\nWindowTop=0\r\nErrorLength=8192\r\nSkipJunk=1\r\n");
}

TEST_F(SettingsFile, LoadRulesAndNegativePositions) {
  WriteText("[Settings]\r\nWindowLeft=-1200\r\nWindowTop=-3\r\nErrorLength=0\r\nSkipJunk=7\r\n");
  LoadSettings(path.c_str());
  EXPECT_EQ(g_settings.WindowLeft, -1200);
  EXPECT_EQ(g_settings.WindowTop, -3);
  EXPECT_EQ(g_settings.ErrorLength, 8192);
  EXPECT_EQ(g_settings.SkipJunk, 1);
  StoreSettings(path.c_str());
  EXPECT_EQ(ReadText(), "[Settings]\r\nWindowLeft=-1200\r\nWindowTop=-3\r\nErrorLength=8192\r\n"
                        "SkipJunk=1\r\n");
}

TEST_F(SettingsFile, APartialFileLeavesTheMissingKeysAsTheyWere) {
  WriteText("[Settings]\r\nErrorLength=16384\r\n");
  LoadSettings(path.c_str());
  EXPECT_EQ(g_settings.WindowLeft, 0);
  EXPECT_EQ(g_settings.WindowTop, 0);
  EXPECT_EQ(g_settings.ErrorLength, 16384);
  EXPECT_EQ(g_settings.SkipJunk, 1);

  WriteText("[Other]\r\nErrorLength=4096\r\n[Settings]\r\nErrorLength=junk\r\n");
  g_settings.ErrorLength = 1;
  LoadSettings(path.c_str());
  EXPECT_EQ(g_settings.ErrorLength, 8192);  // no digits reads as 0
}

TEST_F(SettingsFile, StoringIntoAnUnwritableFolderIsSilent) {
  std::string missing = JoinPath(JoinPath(dir, "no such folder"), "x.ini");
  StoreSettings(missing.c_str());
  EXPECT_FALSE(FileExists(missing));
}

TEST(SettingsFilePath, IsTheExecutablesNameWithIni) {
  char path[MAX_PATH];
  SettingsFilePath(path);
  const std::string name(path);
  EXPECT_EQ(name.substr(name.find_last_of('\\') + 1), "app_tests.ini");
}
