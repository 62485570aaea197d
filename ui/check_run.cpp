#include <windows.h>
#include <commctrl.h>

#include "app/settings.h"
#include "res/resource.h"
#include "scan/scan_file.h"
#include "ui/tail_split.h"
#include "ui/file_list.h"
#include "ui/globals.h"
#include "ui/handlers.h"

static void Enable(HWND dialog, int id, BOOL on) { EnableWindow(GetDlgItem(dialog, id), on); }

static void SetProgress(HWND dialog, int position) {
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

// The settings and the entries in hand must not change under the scanner.
static void EnterRun(HWND dialog, int n) {
  g_checking = 1;
  g_stopRequest = 0;
  SetDlgItemTextA(dialog, IDOK, "中止");
  Enable(dialog, IDC_REMOVE, FALSE);
  Enable(dialog, IDC_REMOVE_ALL, FALSE);
  Enable(dialog, IDC_THRESHOLD, FALSE);
  Enable(dialog, IDC_SKIP_JUNK, FALSE);
  Enable(dialog, IDC_REPAIR, FALSE);
  // The 32-bit range: PBM_SETRANGE carries 16 bits and would wrap for lists
  // of more than 65535 entries.
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE32, 0, n);
  SetProgress(dialog, 0);
  SetCursor(LoadCursorA(nullptr, IDC_APPSTARTING));
  LookAtQueueNext();
}

static void LeaveRun(HWND dialog, int allPassed) {
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  if (allPassed) ShowOutcome(MakeOutcome(kNoDamageFound), MB_OK);
  SetProgress(dialog, 0);
  SetDlgItemTextA(dialog, IDOK, "チェック");
  Enable(dialog, IDC_THRESHOLD, TRUE);
  Enable(dialog, IDC_SKIP_JUNK, TRUE);
  ApplyButtonRule(dialog);
  UpdateExtent(dialog, IDC_FILE_LIST);
}

// Scans the n entries the list holds now, always taking entry 0 as the queue:
// clean files leave the list, the first one that is not clean stays on top,
// selected. The pump runs between files, so Stop, Exit and drops are handled
// nested in here; entries dropped meanwhile go behind the n and are not
// scanned. A press during a run is Stop. The threshold and the JUNK option
// cannot change during the run: their controls are disabled.
INT_PTR OnCheck(HWND dialog) {
  if (g_checking) {
    g_stopRequest = 1;
    return TRUE;
  }
  HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  if (n <= 0) return TRUE;
  EnterRun(dialog, n);

  int k = 0;
  while (k < n) {
    char path[kMaxEntryLength + 1];
    SendMessageA(list, LB_SETCURSEL, 0, 0);
    SendMessageA(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(path));
    const CheckRules rules = RulesOf(g_settings.ErrorLength, g_settings.SkipJunk);
    if (ScanFile(path, rules).kind != kClean) break;
    SendMessageA(list, LB_DELETESTRING, 0, 0);
    SetProgress(dialog, k + 1);
    PumpMessages();
    if (g_stopRequest) break;
    ++k;
  }

  g_checking = 0;
  // Exit during the run: the dialog is ending, leave its controls alone. The
  // wake-up that ending the dialog posted may have been taken by the pump;
  // when Check came as a message sent from another thread, the dialog's loop
  // is waiting for one and would stay open until something else arrived.
  if (g_exitRequest) {
    PostMessageA(dialog, WM_NULL, 0, 0);
    return TRUE;
  }
  LeaveRun(dialog, k == n);
  return TRUE;
}
