#include "tests/support/host_recorder.h"

HostScript g_host;

void ResetHost() { g_host = HostScript(); }

int ShowMessage(const char* text, const char* caption, MessageKind kind) {
  g_host.messages.push_back({text, caption ? caption : "", caption != nullptr, kind});
  if (g_host.onMessage) g_host.onMessage();
  return kind == kWarningYesNo && g_host.answerYes;
}

int PumpMessages() {
  ++g_host.pumpCalls;
  if (g_host.onPump) g_host.onPump();
  return !(g_host.stopAtPump > 0 && g_host.pumpCalls >= g_host.stopAtPump);
}
