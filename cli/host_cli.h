// The command line's side of the core's host seam (common/host.h): the
// continue question and a progress line on a terminal.
#pragma once
#include "common/host.h"

enum AnswerRule {
  kAskOnTerminal,  // ask when stdin is a terminal, else answer No
  kAlwaysYes,
  kAlwaysNo,
};

void SetAnswerRule(AnswerRule rule);

// The work on the file at path, which the question names: its progress line
// shows once the work has taken half a second, and EndItem() clears it.
void BeginItem(const char* path);
void EndItem();
