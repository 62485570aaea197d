// The command line of orvalintex-cli, read into one record.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cli/host_cli.h"

enum Command { kHelp, kCheck, kRepair };

struct CliOptions {
  Command command;
  int32_t threshold;  // damage threshold in bytes
  int skipJunk;
  int json;
  AnswerRule answer;
  const char* output;                  // repair's -o, or null for name.fixed.ext
  std::vector<const char*> operands;   // check: files and folders; repair: damaged, source
};

// Reads argv[1..argc). Returns 1 with *options filled, or 0 with *error saying
// what is wrong in one line.
int ParseOptions(int argc, char** argv, CliOptions* options, std::string* error);
