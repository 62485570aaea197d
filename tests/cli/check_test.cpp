// orvalintex-cli check, end to end: real files in a temporary folder, the
// built program run as a subprocess.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_run.h"
#include "tests/support/temp_files.h"

static const char kDamaged[] = u8"ファイルが破損している可能性があります。 Address : ";
static const char kCannotOpen[] = u8"ファイルが開けません。";

class Check : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempDir(); }
  void TearDown() override { RemoveTree(dir); }

  // A file of size non-zero bytes with zeros over [zeroAt, zeroAt + zeros).
  std::string Make(const std::string& name, size_t size, size_t zeroAt = 0, size_t zeros = 0) {
    std::vector<uint8_t> bytes = NonZeroBytes(size, 7);
    std::fill(bytes.begin() + zeroAt, bytes.begin() + zeroAt + zeros, 0);
    std::string path = JoinPath(dir, name);
    WriteBytes(path, bytes);
    return path;
  }

  std::string dir;
};

TEST_F(Check, CleanFilesPassQuietlyWithStatusZero) {
  std::string big = Make("big.avi", 300000), empty = Make("empty.avi", 0);
  CliRun run = RunCli({"check", big, empty});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Lines(run.out), std::vector<std::string>({big + ": clean", empty + ": clean"}));
  EXPECT_EQ(run.err, "");  // no progress line where stderr is no terminal
}

TEST_F(Check, DamageIsReportedAtTheRunsFirstZeroWithTheDefaultThresholdOf8KB) {
  std::string damaged = Make("damaged.avi", 100000, 0x1234, 8192);
  std::string shortRun = Make("short.avi", 100000, 0x1234, 8191);
  std::string late = Make("late.avi", 200000, 0x1FFFF, 8192);  // across a block boundary
  CliRun run = RunCli({"check", damaged, shortRun, late});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Lines(run.out), std::vector<std::string>({
                                damaged + ": damaged: " + kDamaged + "00001234",
                                shortRun + ": clean",
                                late + ": damaged: " + kDamaged + "0001FFFF",
                            }));
}

TEST_F(Check, ThresholdIsTakenInKB) {
  std::string run8 = Make("8k.avi", 100000, 100, 8192);
  std::string run16 = Make("16k.avi", 100000, 200, 16384);
  EXPECT_EQ(Lines(RunCli({"check", "--threshold-kb", "16", run8, run16}).out),
            std::vector<std::string>({run8 + ": clean", run16 + ": damaged: " + kDamaged + "000000C8"}));
  EXPECT_EQ(RunCli({"check", "--threshold-kb=16", run8}).status, 0);
  EXPECT_EQ(RunCli({"check", "--threshold-kb", "2097151", run16}).status, 0);
}

TEST_F(Check, JunkPayloadsOfRiffFilesAreSkippedUnlessTurnedOff) {
  std::vector<uint8_t> bytes = NonZeroBytes(60000, 3);
  const uint8_t header[] = {'R', 'I', 'F', 'F', 1, 1, 1, 1, 'A', 'V', 'I', ' ',
                            'J', 'U', 'N', 'K', 0x20, 0x4E, 0, 0};  // payload of 20000 bytes; its size field ends in two zeros
  std::copy(header, header + sizeof header, bytes.begin());
  std::fill(bytes.begin() + sizeof header, bytes.begin() + sizeof header + 20000, 0);
  std::string path = JoinPath(dir, "junk.avi");
  WriteBytes(path, bytes);

  CliRun skipping = RunCli({"check", path});
  EXPECT_EQ(skipping.status, 0);
  EXPECT_EQ(Lines(skipping.out), std::vector<std::string>({path + ": clean"}));
  CliRun plain = RunCli({"check", "--no-skip-junk", path});
  EXPECT_EQ(plain.status, 1);
  EXPECT_EQ(Lines(plain.out), std::vector<std::string>({path + ": damaged: " + kDamaged + "00000012"}));
}

TEST_F(Check, GoesOnPastDamagedAndUnreadableFilesInTheOrderGiven) {
  std::string damaged = Make("a.avi", 50000, 0, 9000), clean = Make("c.avi", 50000);
  std::string missing = JoinPath(dir, "missing.avi");
  CliRun run = RunCli({"check", clean, damaged, missing, clean});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Lines(run.out), std::vector<std::string>({
                                clean + ": clean",
                                damaged + ": damaged: " + kDamaged + "00000000",
                                missing + ": error: " + kCannotOpen,
                                clean + ": clean",
                            }));
  EXPECT_EQ(RunCli({"check", missing}).status, 1);
}

TEST_F(Check, AFolderStandsForThePlainFilesDirectlyInsideIt) {
  std::string folder = JoinPath(dir, "disc");
  ASSERT_TRUE(std::filesystem::create_directories(JoinPath(folder, "sub")));
  Make("disc/b.avi", 1000);
  Make("disc/a.avi", 1000);
  Make("disc/.hidden", 20000, 0, 10000);
  Make("disc/sub/inner.avi", 1000);
  std::string empty = JoinPath(dir, "empty");
  ASSERT_TRUE(std::filesystem::create_directory(empty));
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);

  CliRun run = RunCli({"check", folder, empty, folder + separator});
  EXPECT_EQ(run.status, 1);
  std::vector<std::string> once = {
      JoinPath(folder, ".hidden") + ": damaged: " + kDamaged + "00000000",
      JoinPath(folder, "a.avi") + ": clean",
      JoinPath(folder, "b.avi") + ": clean",
  };
  std::vector<std::string> twice(once);
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(Lines(run.out), twice);
}

TEST_F(Check, JsonGivesOneAsciiObjectPerFile) {
  std::string damaged = Make("d.avi", 80000, 0x10000, 8192), clean = Make("c.avi", 10);
  std::string missing = JoinPath(dir, "missing.avi");
  CliRun run = RunCli({"check", "--json", damaged, clean, missing});
  EXPECT_EQ(run.status, 1);
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u);
  for (const std::string& line : lines)
    for (char c : line) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << line;

  JsonObject o;
  ASSERT_TRUE(ParseJsonObject(lines[0], &o)) << lines[0];
  EXPECT_EQ(o.values["path"], damaged);
  EXPECT_EQ(o.values["result"], "damaged");
  EXPECT_EQ(o.values["offset"], "00010000");
  EXPECT_EQ(o.values["message"], u8"ファイルが破損している可能性があります。\nAddress : 00010000");

  ASSERT_TRUE(ParseJsonObject(lines[1], &o)) << lines[1];
  EXPECT_EQ(o.values["path"], clean);
  EXPECT_EQ(o.values["result"], "clean");
  EXPECT_EQ(o.nulls, std::vector<std::string>({"offset", "message"}));

  ASSERT_TRUE(ParseJsonObject(lines[2], &o)) << lines[2];
  EXPECT_EQ(o.values["result"], "error");
  EXPECT_EQ(o.values["message"], kCannotOpen);
  EXPECT_EQ(o.nulls, std::vector<std::string>({"offset"}));
}

// Names that Windows does not allow, or cannot hold in its ANSI code page.
#ifndef _WIN32
TEST_F(Check, JsonEscapesEveryCharacterOfAName) {
  const std::string name = std::string("q\"b\\s\nt\tc\x01") + u8"動画😀.avi";
  std::string path = Make(name, 100);
  std::string invalid = Make("bad\xFF\xC3.avi", 100);  // not UTF-8
  CliRun run = RunCli({"check", "--json", path, invalid});
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 2u);
  JsonObject o;
  ASSERT_TRUE(ParseJsonObject(lines[0], &o)) << lines[0];
  EXPECT_EQ(o.values["path"], path);
  ASSERT_TRUE(ParseJsonObject(lines[1], &o)) << lines[1];
  EXPECT_EQ(o.values["path"], JoinPath(dir, u8"bad\uFFFD\uFFFD.avi"));
}
#endif
