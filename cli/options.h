// The command line of orvalintex-cli, read into one record (cli/main.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cli/host_cli.h"

struct CliOptions {
  int32_t threshold;  // damage threshold in bytes
  int skipJunk;
  int json;
  AnswerRule answer;
  const char* output;                  // repair's -o, or null for name.fixed.ext
  std::vector<const char*> operands;   // check: files and folders; repair: damaged, sources
  int all;                             // check: every zero run, not only the first
  int dryRun;                          // repair: find and report, write nothing
  const char* mapfile;                 // a ddrescue mapfile to write, or null
};
