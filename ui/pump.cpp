#include "ui/globals.h"
#include "ui/handlers.h"

// Drains what is queued for the dialog and its controls without waiting;
// messages for other windows or for the thread itself stay queued. Looking at
// the queue costs a trip to the window server (tens of microseconds under
// Wine), paid after every block of a scan; so within one tick of the system
// clock (10 to 16 ms) the queue is looked at once, which the user cannot tell
// from every block, and which keeps a check as fast as reading the files.
// The first call of a run always looks, so a Stop or Exit already queued is
// seen at once whatever the clock reads.
static DWORD g_lastDrained;
static int g_lookNext = 1;

void LookAtQueueNext() { g_lookNext = 1; }

int PumpMessages() {
  const DWORD now = GetTickCount();
  if (g_lookNext || now != g_lastDrained) {
    g_lookNext = 0;
    g_lastDrained = now;
    MSG msg;
    while (PeekMessageA(&msg, g_mainDialog, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageA(g_mainDialog, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    }
  }
  return g_stopRequest ? 0 : 1;
}
