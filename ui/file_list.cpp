#include "ui/file_list.h"

#include "ui/tail_split.h"
#include "res/resource.h"
#include "ui/handlers.h"

void AppendEntry(HWND dialog, const char* path) {
  SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
}

void AppendTail(HWND dialog, const char* tail) {
  char name[kMaxEntryLength + 1];
  TailPiece piece;
  while ((piece = TakeTailName(&tail, name)) != kTailEnd) {
    if (piece == kTailName) AppendEntry(dialog, name);
  }
}

// Only a selection made by the user notifies; the check run's own selection
// of entry 0 does not.
INT_PTR OnFileListNotify(HWND dialog, UINT code) {
  if (code == LBN_SELCHANGE) ApplyButtonRule(dialog);
  return TRUE;
}
