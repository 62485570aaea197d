// A recording stand-in for the program's message boxes and message pump, so
// the core can be driven and watched from tests.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "common/host.h"

struct RecordedMessage {
  std::string text;
  std::string caption;  // empty when the platform's default caption was asked for
  bool hasCaption;
  MessageKind kind;
};

struct HostScript {
  std::vector<RecordedMessage> messages;
  int answerYes = 0;                 // the answer to every Yes/No question
  std::function<void()> onMessage;   // runs while a message is "shown"
  int pumpCalls = 0;
  int stopAtPump = 0;                // the pump call (1-based) from which on it reports a stop; 0: never
  std::function<void()> onPump;      // runs inside every pump call
};

extern HostScript g_host;

// Back to an empty record and the defaults above.
void ResetHost();
