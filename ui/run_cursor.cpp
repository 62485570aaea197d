#include "ui/globals.h"
#include "ui/handlers.h"

// Wherever the pointer is over the dialog during a run, caption and frame
// included, it shows the app-starting cursor.
INT_PTR OnSetCursor(HWND dialog) {
  if (!g_checking) return FALSE;
  SetCursor(LoadCursorA(nullptr, IDC_APPSTARTING));
  SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
  return TRUE;
}
