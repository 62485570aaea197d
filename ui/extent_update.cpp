#include "ui/tail_split.h"
#include "ui/file_list.h"

int UpdateExtent(HWND dialog, int listId) {
  HWND list = GetDlgItem(dialog, listId);
  const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  if (count <= 0) {
    SendMessageA(list, LB_SETHORIZONTALEXTENT, 0, 0);
    return 1;
  }
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(list, WM_GETFONT, 0, 0));
  if (!font) return 0;
  HDC dc = GetDC(list);
  if (!dc) return 0;
  HGDIOBJ kept = SelectObject(dc, font);
  LONG widest = 0;
  for (LRESULT i = 0; i < count; ++i) {
    char text[kMaxEntryLength + 1];
    const LPARAM into = reinterpret_cast<LPARAM>(text);
    if (SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), into) == LB_ERR)
      continue;
    SIZE size;
    if (GetTextExtentPoint32A(dc, text, lstrlenA(text), &size) && size.cx > widest)
      widest = size.cx;
  }
  SelectObject(dc, kept);
  ReleaseDC(list, dc);
  SendMessageA(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 2), 0);
  return 1;
}
