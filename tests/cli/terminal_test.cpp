// orvalintex-cli at a terminal: the continue question typed in, the progress
// line, and Ctrl-C as the stop request.
#include <gtest/gtest.h>

#include "tests/cli/cli_terminal.h"
#include "tests/support/temp_files.h"

class Terminal : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempDir(); }
  void TearDown() override { RemoveTree(dir); }

  // Three blocks; both copies hold zeros at the end of the second block, so
  // the first block is already written when the merge asks whether to go on.
  void MakeCopies() {
    std::vector<uint8_t> bytes = NonZeroBytes(200000, 5);
    std::fill(bytes.begin() + 122880, bytes.begin() + 131072, 0);
    damaged = JoinPath(dir, "clip.avi");
    source = JoinPath(dir, "copy.avi");
    WriteBytes(source, bytes);
    std::fill(bytes.begin() + 10, bytes.begin() + 20, 0);
    WriteBytes(damaged, bytes);
  }

  std::string dir, damaged, source;
};

static const char kPrompt[] = "Address : 0001E000 [y/N] ";

TEST_F(Terminal, TheContinueQuestionIsAnsweredAtTheTerminal) {
  MakeCopies();
  TerminalRun run;
  ASSERT_TRUE(StartOnTerminal({"repair", damaged, source}, &run));
  ASSERT_TRUE(WaitForScreen(&run, kPrompt)) << run.screen;
  Type(&run, "y\n");
  CliRun yes = FinishTerminal(&run);
  EXPECT_EQ(yes.status, 0) << yes.err;
  EXPECT_EQ(ReadBytes(JoinPath(dir, "clip.fixed.avi")), ReadBytes(source));

  ASSERT_TRUE(StartOnTerminal({"repair", damaged, source, "-o", JoinPath(dir, "other")}, &run));
  ASSERT_TRUE(WaitForScreen(&run, kPrompt)) << run.screen;
  Type(&run, "\n");  // the default is No
  CliRun no = FinishTerminal(&run);
  EXPECT_EQ(no.status, 1);
  EXPECT_EQ(Lines(no.out).at(0).rfind(damaged + ": declined: ", 0), 0u) << no.out;
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>({"clip.avi", "clip.fixed.avi", "copy.avi"}));
}

TEST_F(Terminal, CtrlCDuringARepairLeavesNoOutputBehind) {
  MakeCopies();
  TerminalRun run;
  ASSERT_TRUE(StartOnTerminal({"repair", damaged, source}, &run));
  ASSERT_TRUE(WaitForScreen(&run, kPrompt)) << run.screen;
  // The first block is written by now, somewhere beside the inputs.
  EXPECT_EQ(FolderNames(dir).size(), 3u);
  Type(&run, "\x03");
  CliRun stopped = FinishTerminal(&run);
  EXPECT_EQ(stopped.status, 130);
  EXPECT_EQ(Lines(stopped.out), std::vector<std::string>({damaged + ": stopped"}));
  EXPECT_EQ(FolderNames(dir), std::vector<std::string>({"clip.avi", "copy.avi"}));
}

// A sparse file far too big to scan in a test's time, with a nonzero byte every
// GiB so that no zero run reaches the 2 GiB threshold: the scan only ends when
// stopped. The progress line shows it is under way.
TEST_F(Terminal, CtrlCStopsACheckAndTheFilesAfterItAreLeft) {
  const uint64_t gib = 1ull << 30;
  std::string huge = JoinPath(dir, "huge.avi");
  MakeSparseFile(huge, 1024 * gib);
  for (uint64_t at = 0; at < 1024 * gib; at += gib) WriteAt(huge, at, {1});
  std::string small = JoinPath(dir, "small.avi");
  WriteBytes(small, NonZeroBytes(100, 1));

  TerminalRun run;
  ASSERT_TRUE(StartOnTerminal({"check", "--threshold-kb", "2097151", small, huge, small}, &run));
  ASSERT_TRUE(WaitForScreen(&run, "checking: ")) << run.screen;
  Type(&run, "\x03");
  CliRun stopped = FinishTerminal(&run);
  EXPECT_EQ(stopped.status, 130);
  EXPECT_EQ(Lines(stopped.out), std::vector<std::string>({small + ": clean", huge + ": stopped"}));
}
