// A recording stand-in for the program's host seam, so the core can be driven
// and watched from tests.
#pragma once
#include <functional>
#include <vector>

#include "common/host.h"

struct HostScript {
  std::vector<Outcome> told;
  std::vector<uint64_t> asked;   // the offset of each continue question
  int answerYes = 0;             // the answer to every question
  std::function<void()> onTell;  // runs while an outcome is told or a question asked
  int keepCalls = 0;
  int stopAtKeep = 0;            // the KeepGoing call (1-based) from which on it stops; 0: never
  std::function<void()> onKeep;  // runs inside every KeepGoing call
};

extern HostScript g_host;

// Back to an empty record and the defaults above.
void ResetHost();
