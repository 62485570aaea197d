// The command-line tool's side of the core's host seam (common/host.h): it
// answers the continue question and keeps a progress line on a terminal. What
// an operation came to it reads from the outcome returned.
#pragma once
#include "common/host.h"

enum AnswerRule {
  kAskOnTerminal,  // ask when stdin is a terminal, else answer No
  kAlwaysYes,
  kAlwaysNo,
};

void SetAnswerRule(AnswerRule rule);

// Starts the work on the file at path, which the continue question names: a
// progress line is drawn on a terminal once the work has taken half a second.
// EndItem() clears it again.
void BeginItem(const char* path);
void EndItem();
