// The command-line tool's side of the core's host seam (common/host.h): it
// keeps the messages the core shows for the file in hand, answers the continue
// question, and keeps a progress line on a terminal.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/host.h"

enum AnswerRule {
  kAskOnTerminal,  // ask when stdin is a terminal, else answer No
  kAlwaysYes,
  kAlwaysNo,
};

struct ShownMessage {
  std::string text;     // as the core gave it (program text)
  std::string caption;  // empty for the platform's default caption
  MessageKind kind;
  int answer;           // 1 when a question was answered Yes
};

void SetAnswerRule(AnswerRule rule);

// Starts the record of messages for one file; a size above 0 lets a check
// show its progress on a terminal. EndItem() clears that line again.
void BeginItem(uint64_t size);
void EndItem();

// The messages shown since BeginItem(), oldest first.
const std::vector<ShownMessage>& ItemMessages();
