#include "ui/main_dialog.h"

#include "res/resource.h"
#include "ui/handlers.h"
#include "ui/repair_command.h"

static INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
  switch (LOWORD(wParam)) {
    case IDOK:
      return OnCheck(dialog);
    case IDCANCEL:
      return OnExit(dialog);
    case IDC_FILE_LIST:
      return OnFileListNotify(dialog, HIWORD(wParam));
    case IDC_REMOVE:
      return OnRemove(dialog);
    case IDC_REMOVE_ALL:
      return OnRemoveAll(dialog);
    case IDC_THRESHOLD:
      return OnThresholdNotify(dialog, HIWORD(wParam));
    case IDC_SKIP_JUNK:
      return OnSkipJunk(dialog);
    case IDC_REPAIR:
      RepairCommand(dialog);
      return TRUE;
  }
  return TRUE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog(dialog, reinterpret_cast<const char*>(lParam));
    case WM_DROPFILES:
      return OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
    case WM_COMMAND:
      return OnCommand(dialog, wParam);
    case WM_SETCURSOR:
      return OnSetCursor(dialog);
  }
  return FALSE;
}
