#include "res/resource.h"
#include "ui/file_list.h"
#include "ui/handlers.h"

// Deleting the selected entry leaves none selected, so the rule then disables
// Remove and Repair... too.
INT_PTR OnRemove(HWND dialog) {
  const LRESULT selection = SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_GETCURSEL, 0, 0);
  if (selection != LB_ERR) {
    SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_DELETESTRING, static_cast<WPARAM>(selection), 0);
    UpdateExtent(dialog, IDC_FILE_LIST);
  }
  ApplyButtonRule(dialog);
  return TRUE;
}

INT_PTR OnRemoveAll(HWND dialog) {
  SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_RESETCONTENT, 0, 0);
  ApplyButtonRule(dialog);
  UpdateExtent(dialog, IDC_FILE_LIST);
  return TRUE;
}
