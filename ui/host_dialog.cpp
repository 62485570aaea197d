#include "common/host.h"
#include "common/messages.h"
#include "ui/globals.h"
#include "ui/handlers.h"

int ShowOutcome(const Outcome& outcome, UINT buttons) {
  const UINT icon = IsInformation(outcome.kind) ? MB_ICONINFORMATION : MB_ICONWARNING;
  return MessageBoxA(g_mainDialog, OutcomeMessage(outcome).c_str(), OutcomeCaption(outcome.kind),
                     icon | buttons);
}

// A No ends a merge with no message after the question; a stop and the
// outcomes of work that went through have none.
void TellOutcome(const Outcome& outcome) {
  if (outcome.kind != kDeclined && !OutcomeMessage(outcome).empty()) ShowOutcome(outcome, MB_OK);
}

int AskToGoOn(uint64_t offset) {
  return ShowOutcome(MakeOutcome(kDeclined, offset), MB_YESNO) == IDYES;
}

// A check keeps the window alive between blocks; a merge pumps nothing, and
// the dialog does not respond until it ends.
int KeepGoing(Work work, uint64_t, uint64_t) { return work == kMerging ? 1 : PumpMessages(); }
