// The two commands; each returns the process's exit status.
#pragma once
#include <string>

#include "cli/options.h"

// Exit statuses besides a stop's (StopStatus()).
enum ExitStatus { kExitOk = 0, kExitTrouble = 1, kExitUsage = 2 };

// Writes a ddrescue mapfile whole, or tells on stderr why it cannot and returns 0.
int WriteMapfile(const char* path, const std::string& text);

// Scans and reports every file named, a folder standing for its regular
// files. kExitOk when all are clean.
int RunCheck(const CliOptions& options);

// Repairs the damaged file from the sources, or each file of a folder from
// its namesakes. kExitOk once every damaged file is repaired whole.
int RunRepair(const CliOptions& options);
