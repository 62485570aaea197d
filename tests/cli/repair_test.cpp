// orvalintex-cli repair, end to end: two damaged copies in a temporary folder,
// the built program run as a subprocess, the bytes it leaves compared.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/cli/cli_run.h"
#include "tests/support/temp_files.h"

static const char kRepaired[] = u8"ファイルを修復しました。";

class Repair : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    original = NonZeroBytes(300000, 11);  // five blocks, the last one short
  }
  void TearDown() override { RemoveTree(dir); }

  // A copy of the original with zeros over the given [begin, end) stretches.
  std::string Copy(const std::string& name, std::vector<std::pair<size_t, size_t>> zeros) {
    std::vector<uint8_t> bytes = original;
    for (auto [begin, end] : zeros) std::fill(bytes.begin() + begin, bytes.begin() + end, 0);
    std::string path = JoinPath(dir, name);
    WriteBytes(path, bytes);
    return path;
  }

  std::string dir;
  std::vector<uint8_t> original;
};

TEST_F(Repair, FillsEachZeroFromTheSourceIntoNameFixedExtBesideTheDamagedFile) {
  std::string damaged = Copy("clip.avi", {{0, 10}, {65530, 70000}, {299990, 300000}});
  std::string source = Copy("copy.avi", {{20, 40000}, {200000, 200001}});
  CliRun run = RunCli({"repair", damaged, source});
  std::string output = JoinPath(dir, "clip.fixed.avi");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Lines(run.out),
            std::vector<std::string>({damaged + ": repaired: " + kRepaired + " -> " + output}));
  EXPECT_EQ(ReadBytes(output), original);
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>({"clip.avi", "clip.fixed.avi", "copy.avi"}));
}

struct Naming {
  const char* damaged;
  const char* output;
};

class RepairNaming : public Repair, public ::testing::WithParamInterface<Naming> {};

TEST_P(RepairNaming, PutsFixedBeforeTheExtensionOfTheLastComponent) {
  std::filesystem::create_directories(JoinPath(dir, "video.old"));
  std::string damaged = Copy(GetParam().damaged, {{100, 200}});
  std::string source = Copy("source", {});
  CliRun run = RunCli({"repair", damaged, source});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(ReadBytes(JoinPath(dir, GetParam().output)), original);
}

static const Naming kNamings[] = {
    {"clip.avi", "clip.fixed.avi"},
    {"clip", "clip.fixed"},
    {"take.2.avi", "take.2.fixed.avi"},
    {"video.old/clip", "video.old/clip.fixed"},
    {".hidden", ".hidden.fixed"},
#ifndef _WIN32
    {"trail.", "trail.fixed."},  // Windows drops a name's trailing dots
#endif
};

INSTANTIATE_TEST_SUITE_P(Names, RepairNaming, ::testing::ValuesIn(kNamings));

TEST_F(Repair, WritesWhereOutputIsNamedAndReplacesAFileThere) {
  std::string damaged = Copy("clip.avi", {{5000, 6000}});
  std::string source = Copy("copy.avi", {});
  std::string named = JoinPath(dir, "named.bin"), other = JoinPath(dir, "other.bin");
  WriteBytes(other, {1, 2, 3});
  EXPECT_EQ(RunCli({"repair", damaged, source, "-o", named}).status, 0);
  EXPECT_EQ(RunCli({"repair", "--output=" + other, damaged, source}).status, 0);
  EXPECT_EQ(ReadBytes(named), original);
  EXPECT_EQ(ReadBytes(other), original);
  EXPECT_FALSE(FileExists(JoinPath(dir, "clip.fixed.avi")));
}

// Every failure is told in the merger's words, and an output left by an
// earlier repair stays as it was.
TEST_F(Repair, AFailedRepairIsToldAndLeavesAnEarlierOutputAsItWas) {
  original[200000] = 0x41;
  const std::string damaged = Copy("clip.avi", {{10, 20}});
  original[200000] = 0x42;
  const std::string source = Copy("copy.avi", {});
  const std::string shorter = JoinPath(dir, "short.avi");
  WriteBytes(shorter, NonZeroBytes(1000, 1));
  const std::string missing = JoinPath(dir, "missing.avi");
  const std::string output = JoinPath(dir, "clip.fixed.avi");
  const std::vector<uint8_t> earlier = {'e', 'a', 'r', 'l', 'y'};
  WriteBytes(output, earlier);
  const struct {
    std::string damaged, source, line;
  } cases[] = {
      {damaged, source, damaged + u8": failed: データが一致しません。 Address : 00030D40 (41 / 42)"},
      {damaged, shorter, damaged + u8": failed: ファイルサイズが一致しません。"},
      {missing, damaged, missing + u8": failed: 修復するファイルが開けません。"},
      {damaged, missing, damaged + u8": failed: 修復用のファイルが開けません。"},
  };
  for (const auto& c : cases) {
    CliRun run = RunCli({"repair", c.damaged, c.source, "-o", output});
    EXPECT_EQ(run.status, 1) << c.line;
    EXPECT_EQ(Lines(run.out), std::vector<std::string>({c.line}));
    EXPECT_EQ(ReadBytes(output), earlier) << c.line;
  }
  EXPECT_EQ(FolderNames(dir),
            std::vector<std::string>({"clip.avi", "clip.fixed.avi", "copy.avi", "short.avi"}));

  CliRun json = RunCli({"repair", "--json", damaged, source, "-o", output});
  EXPECT_EQ(json.status, 1);
  JsonObject o;
  ASSERT_TRUE(ParseJsonObject(Lines(json.out).at(0), &o)) << json.out;
  EXPECT_EQ(o.values["path"], damaged);
  EXPECT_EQ(o.values["result"], "failed");
  EXPECT_EQ(o.values["offset"], "00030D40");
  EXPECT_EQ(o.values["message"], u8"データが一致しません。\nAddress : 00030D40 (41 / 42)");
  EXPECT_EQ(o.nulls, std::vector<std::string>({"output"}));
}

TEST_F(Repair, AnOutputThatCannotBeMadeOrNamesAnInputIsRefusedAndTheInputsKept) {
  std::string damaged = Copy("clip.avi", {{10, 20}});
  std::string source = Copy("copy.avi", {{30, 40}});
  const std::vector<uint8_t> damagedBytes = ReadBytes(damaged), sourceBytes = ReadBytes(source);
  const std::string refused = u8": failed: 書き込み先ファイルが開けません。";
  for (const std::string& output :
       {source, damaged, dir + "/./copy.avi", dir, JoinPath(dir, "missing/clip.avi")}) {
    CliRun run = RunCli({"repair", damaged, source, "-o", output});
    EXPECT_EQ(run.status, 1) << output;
    EXPECT_EQ(Lines(run.out), std::vector<std::string>({damaged + refused})) << output;
  }
  EXPECT_EQ(ReadBytes(damaged), damagedBytes);
  EXPECT_EQ(ReadBytes(source), sourceBytes);
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>({"clip.avi", "copy.avi"}));
}

// Both copies hold zeros over 57344..65535: at the end of the first block the
// merge asks whether to go on past 8 KB that neither copy can supply.
class RepairQuestion : public Repair {
 protected:
  void SetUp() override {
    Repair::SetUp();
    damaged = Copy("clip.avi", {{57344, 65536}, {100000, 100100}});
    source = Copy("copy.avi", {{57344, 65536}});
  }
  std::string damaged, source;
};

static const char kQuestion[] = u8"修復できません。処理を続行しますか?\nAddress : 0000E000";

TEST_F(RepairQuestion, YesGoesOnAndKeepsTheZerosNeitherCopyHas) {
  CliRun run = RunCli({"repair", "--yes", damaged, source});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find(kQuestion), std::string::npos) << run.err;
  std::fill(original.begin() + 57344, original.begin() + 65536, 0);
  EXPECT_EQ(ReadBytes(JoinPath(dir, "clip.fixed.avi")), original);
}

TEST_F(RepairQuestion, NoOrNoTerminalToAskDeclinesAndLeavesNoOutput) {
  for (std::vector<std::string> args : {std::vector<std::string>{"repair", "--no", damaged, source},
                                        std::vector<std::string>{"repair", damaged, source}}) {
    CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(kQuestion), std::string::npos) << run.err;
    EXPECT_EQ(Lines(run.out), std::vector<std::string>({damaged + ": declined: " +
                                                        u8"修復できません。処理を続行しますか? "
                                                        "Address : 0000E000"}));
    EXPECT_EQ(FolderNames(dir), std::vector<std::string>({"clip.avi", "copy.avi"}));
  }
  CliRun json = RunCli({"repair", "--json", "-n", damaged, source});
  JsonObject o;
  ASSERT_TRUE(ParseJsonObject(Lines(json.out).at(0), &o)) << json.out;
  EXPECT_EQ(o.values["result"], "declined");
  EXPECT_EQ(o.values["offset"], "0000E000");
  EXPECT_EQ(o.values["message"], kQuestion);
}
