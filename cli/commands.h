// The two commands; each returns the process's exit status.
#pragma once
#include "cli/options.h"

// Exit statuses besides a stop's (StopStatus()).
enum ExitStatus { kExitOk = 0, kExitTrouble = 1, kExitUsage = 2 };

// Scans every file named, folders standing for the regular files directly
// inside them, and reports each. kExitOk when all are clean.
int RunCheck(const CliOptions& options);

// Repairs the damaged file from the sources into the output, or each file of
// a folder from its namesakes in the other folders. kExitOk once every
// damaged file is repaired whole.
int RunRepair(const CliOptions& options);
