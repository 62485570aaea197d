#include "tests/support/host_recorder.h"

HostScript g_host;

void ResetHost() { g_host = HostScript(); }

void TellOutcome(const Outcome& outcome) {
  g_host.told.push_back(outcome);
  if (g_host.onTell) g_host.onTell();
}

int AskToGoOn(uint64_t offset) {
  g_host.asked.push_back(offset);
  if (g_host.onTell) g_host.onTell();
  return g_host.answerYes;
}

int KeepGoing(Work, uint64_t, uint64_t) {
  ++g_host.keepCalls;
  if (g_host.onKeep) g_host.onKeep();
  return !(g_host.stopAtKeep > 0 && g_host.keepCalls >= g_host.stopAtKeep);
}
