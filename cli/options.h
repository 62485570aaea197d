// The command line of orvalintex-cli, read into one record (cli/main.cpp).
#pragma once
#include <cstdint>
#include <vector>

#include "cli/host_cli.h"
#include "common/copy_map.h"
#include "common/output_name.h"
#include "common/threshold.h"

struct CliOptions {
  int32_t threshold = kDefaultErrorLength;  // in bytes
  int skipJunk = 1;
  int json = 0;
  AnswerRule answer = kAskOnTerminal;
  const char* output = nullptr;        // repair's -o, or null for name.fixed.ext
  std::vector<const char*> operands;   // check: files and folders; repair: damaged, sources
  int all = 0;                         // check: every damaged range, not only the first
  int dryRun = 0;                      // repair: find and report, write nothing
  int playable = 0;                    // repair: the merged file made playable
  const char* mapfile = nullptr;       // a ddrescue mapfile to write, or null
  std::vector<CopyMap> maps;           // what each operand's --map says (mapped 0: none)
  int markers = 1;                     // dvdisaster's dead sectors are missing
};

// What a repair's output name carries: name.fixed.ext, or name.playable.ext.
inline const char* OutputMark(const CliOptions& o) {
  return o.playable ? kPlayableMark : kFixedMark;
}
