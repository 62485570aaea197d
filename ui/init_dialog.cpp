#include "app/settings.h"
#include "res/resource.h"
#include "ui/file_list.h"
#include "ui/globals.h"
#include "ui/handlers.h"

INT_PTR OnInitDialog(HWND dialog, const char* tail) {
  g_mainDialog = dialog;
  HICON icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP));
  SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SetWindowPos(dialog, nullptr, g_settings.WindowLeft, g_settings.WindowTop, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  if (tail && *tail) {
    AppendTail(dialog, tail);
    ApplyButtonRule(dialog);
    UpdateExtent(dialog, IDC_FILE_LIST);
  }
  // Setting the text sends EN_CHANGE, so the threshold handler runs now and
  // rounds ErrorLength to what the edit shows.
  SetDlgItemInt(dialog, IDC_THRESHOLD, static_cast<UINT>(g_settings.ErrorLength / 1024), TRUE);
  CheckDlgButton(dialog, IDC_SKIP_JUNK, g_settings.SkipJunk ? BST_CHECKED : BST_UNCHECKED);
  return TRUE;
}
