// What the core needs from whoever links it, in terms of meaning: the dialog
// program shows message boxes and pumps its window, the command-line program
// prints and keeps a progress line, tests record. The core decides no words;
// the host finds them for an outcome in common/messages.h.
#pragma once
#include <cstdint>

#include "common/outcome.h"

// The two kinds of long work, for KeepGoing.
enum Work { kChecking, kMerging };

// An operation that ends early (a failure, damage found by a check, a stop)
// tells why, once, at the point where the dialog program shows its message:
// failures of the opening steps after the files already open are closed,
// failures inside the block loop while every file and the buffer are still
// held. An operation that runs to its end tells nothing; it returns its
// outcome.
void TellOutcome(const Outcome& outcome);

// Asks whether to go on past the stretch at offset that no copy holds.
// Returns 1 to go on.
int AskToGoOn(uint64_t offset);

// Called after every block that went through, with the bytes done of total.
// Returns 1 to go on, 0 when a stop has been requested.
int KeepGoing(Work work, uint64_t done, uint64_t total);
