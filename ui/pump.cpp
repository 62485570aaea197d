#include "common/host.h"
#include "ui/globals.h"

// Drains what is queued for the dialog and its controls without waiting;
// messages for other windows or for the thread itself stay queued.
int PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, g_mainDialog, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageA(g_mainDialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return g_stopRequest ? 0 : 1;
}
