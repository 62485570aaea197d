// How orvalintex-cli answers a command line it cannot act on, and --help.
#include <gtest/gtest.h>

#include "tests/cli/cli_run.h"

TEST(Usage, MistakesEndWithStatusTwoAndAOneLineReasonBeforeAnyWork) {
  const std::vector<std::vector<std::string>> mistakes = {
      {},
      {"scan", "a.avi"},
      {"--json"},
      {"check"},
      {"check", "--json"},
      {"check", "--threshold-kb", "0", "a.avi"},
      {"check", "--threshold-kb", "-8", "a.avi"},
      {"check", "--threshold-kb", "8k", "a.avi"},
      {"check", "--threshold-kb", "", "a.avi"},
      {"check", "--threshold-kb", "2097152", "a.avi"},
      {"check", "--threshold-kb", "99999999999999999999", "a.avi"},
      {"check", "a.avi", "--threshold-kb"},
      {"check", "--yes", "a.avi"},
      {"check", "-o", "out", "a.avi"},
      {"check", "--frobnicate", "a.avi"},
      {"repair", "a.avi"},
      {"repair", "a.avi", "b.avi", "c.avi"},
      {"repair", "--no-skip-junk", "a.avi", "b.avi"},
      {"repair", "--yes", "--no", "a.avi", "b.avi"},
      {"repair", "-o", "x", "-o", "y", "a.avi", "b.avi"},
      {"repair", "a.avi", "b.avi", "-o"},
  };
  for (const std::vector<std::string>& args : mistakes) {
    std::string shown;
    for (const std::string& a : args) shown += "[" + a + "]";
    CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 2) << shown;
    EXPECT_EQ(run.out, "") << shown;
    EXPECT_EQ(run.err.rfind("orvalintex-cli: ", 0), 0u) << shown << run.err;
    EXPECT_EQ(Lines(run.err).size(), 2u) << shown << run.err;
  }
}

TEST(Usage, HelpDescribesBothCommandsAndDoesNothingElse) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                        std::vector<std::string>{"help"},
                                        std::vector<std::string>{"check", "-h", "missing.avi"},
                                        std::vector<std::string>{"repair", "--help"}}) {
    CliRun run = RunCli(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("orvalintex-cli check"), std::string::npos);
    EXPECT_NE(run.out.find("orvalintex-cli repair"), std::string::npos);
    EXPECT_EQ(run.err, "");
  }
}

TEST(Usage, ADoubleDashEndsTheOptions) {
  CliRun run = RunCli({"check", "--", "--json"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(Lines(run.out), std::vector<std::string>({u8"--json: error: ファイルが開けません。"}));
}
