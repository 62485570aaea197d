// The two commands; each returns the process's exit status.
#pragma once
#include "cli/options.h"

// Exit statuses besides a stop's (StopStatus()).
enum ExitStatus { kExitOk = 0, kExitTrouble = 1, kExitUsage = 2 };

// Scans every file named, folders standing for the plain files directly inside
// them, and reports each on its own line. kExitOk when all are clean.
int RunCheck(const CliOptions& options);

// Merges the damaged file with the repair source into the output file.
// kExitOk once the output is complete.
int RunRepair(const CliOptions& options);
