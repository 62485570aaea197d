#include <gtest/gtest.h>

#include "common/file_io.h"
#include "tests/support/temp_files.h"

class FileIo : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempDir(); }
  void TearDown() override { RemoveTree(dir); }
  std::string dir;
};

TEST_F(FileIo, ReadsExactlyAndRefusesShortReads) {
  std::string path = JoinPath(dir, "a.bin");
  WriteBytes(path, {1, 2, 3, 4, 5});
  FileHandle f = OpenForRead(path.c_str());
  ASSERT_NE(f, kNoFile);
  uint64_t size = 0;
  ASSERT_EQ(GetSize(f, &size), 1);
  EXPECT_EQ(size, 5u);
  uint8_t buf[8] = {};
  EXPECT_EQ(ReadExact(f, buf, 3), 1);
  EXPECT_EQ(buf[2], 3);
  EXPECT_EQ(ReadExact(f, buf, 3), 0);  // only two bytes are left
  CloseFile(f);
}

TEST_F(FileIo, MissingFilesEmptyPathsAndFoldersAreNotOpened) {
  EXPECT_EQ(OpenForRead(JoinPath(dir, "missing").c_str()), kNoFile);
  EXPECT_EQ(OpenForRead(""), kNoFile);
  EXPECT_EQ(OpenForRead(dir.c_str()), kNoFile);
}

TEST_F(FileIo, CreateAlwaysTruncatesButNeverAnInputHeldOpen) {
  std::string in = JoinPath(dir, "in.bin"), out = JoinPath(dir, "out.bin");
  WriteBytes(in, {9, 9, 9});
  WriteBytes(out, {7, 7, 7, 7});
  FileHandle r = OpenForRead(in.c_str());
  ASSERT_NE(r, kNoFile);
  FileHandle inputs[2] = {r, kNoFile};

  EXPECT_EQ(CreateAlways(in.c_str(), inputs, 2), kNoFile);
  FileHandle w = CreateAlways(out.c_str(), inputs, 2);
  ASSERT_NE(w, kNoFile);
  EXPECT_EQ(WriteExact(w, "\x01\x02", 2), 1);
  CloseFile(w);
  CloseFile(r);

  EXPECT_EQ(ReadBytes(in), std::vector<uint8_t>({9, 9, 9}));
  EXPECT_EQ(ReadBytes(out), std::vector<uint8_t>({1, 2}));
  EXPECT_EQ(RemoveFile(out.c_str()), 1);
  EXPECT_FALSE(FileExists(out));
  EXPECT_EQ(RemoveFile(out.c_str()), 0);
}
