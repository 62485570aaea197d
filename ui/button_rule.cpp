#include "res/resource.h"
#include "ui/file_list.h"
#include "ui/globals.h"

static void Enable(HWND dialog, int id, bool on) { EnableWindow(GetDlgItem(dialog, id), on); }

// During a run the buttons keep the states the run gave them; the run applies
// the rule itself once it has ended.
void ApplyButtonRule(HWND dialog) {
  if (g_checking) return;
  const LRESULT count = SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_GETCOUNT, 0, 0);
  const LRESULT selection = SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_GETCURSEL, 0, 0);
  const bool any = count > 0;
  const bool selected = selection != LB_ERR;
  Enable(dialog, IDC_REMOVE, selected);
  Enable(dialog, IDC_REMOVE_ALL, any);
  Enable(dialog, IDOK, any);
  Enable(dialog, IDC_REPAIR, selected);
}
