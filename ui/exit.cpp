#include "app/settings.h"
#include "ui/globals.h"
#include "ui/handlers.h"

// The normal position in screen coordinates, where start-up places the dialog.
// Windows reports it relative to the work area (a taskbar at the top or left
// shifts it), Wine relative to the screen, so a fixed conversion is wrong on
// one of them; while the dialog is neither minimised nor maximised its window
// rectangle is that same position on the screen, on both.
static POINT NormalTopLeftOnScreen(HWND dialog, const WINDOWPLACEMENT& placement) {
  POINT p = {placement.rcNormalPosition.left, placement.rcNormalPosition.top};
  RECT now;
  if (!IsIconic(dialog) && !IsZoomed(dialog) && GetWindowRect(dialog, &now)) {
    p.x = now.left;
    p.y = now.top;
  }
  return p;
}

// During a run this only asks it to end; the dialog goes once the run has
// returned to the dialog manager.
INT_PTR OnExit(HWND dialog) {
  if (g_checking) {
    g_stopRequest = 1;
    g_exitRequest = 1;
  }
  WINDOWPLACEMENT placement;
  placement.length = sizeof placement;
  if (GetWindowPlacement(dialog, &placement)) {
    const POINT onScreen = NormalTopLeftOnScreen(dialog, placement);
    g_settings.WindowLeft = onScreen.x;
    g_settings.WindowTop = onScreen.y;
  }
  EndDialog(dialog, IDCANCEL);
  return TRUE;
}
