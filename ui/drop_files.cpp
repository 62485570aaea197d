#include <windows.h>
#include <shlwapi.h>

#include "ui/tail_split.h"
#include "res/resource.h"
#include "ui/file_list.h"
#include "ui/handlers.h"

// Joins folder and name into out (kMaxEntryLength + 1 characters). Returns 0,
// leaving out unusable, when the plain join would not fit an entry: such a
// path is skipped, never cut, as a cut one could name another file.
static int JoinFolder(const char* folder, const char* name, char* out) {
  if (lstrlenA(folder) + 1 + lstrlenA(name) > kMaxEntryLength) return 0;
  return PathCombineA(out, folder, name) != nullptr;
}

// Appends every plain file directly inside folder, in the order in which the
// system lists them; subfolders, "." and ".." are passed over.
static void AppendFolder(HWND dialog, const char* folder) {
  char pattern[kMaxEntryLength + 1];
  if (!JoinFolder(folder, "*.*", pattern)) return;
  WIN32_FIND_DATAA item;
  HANDLE listing = FindFirstFileA(pattern, &item);
  if (listing == INVALID_HANDLE_VALUE) return;
  do {
    if (item.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    char path[kMaxEntryLength + 1];
    if (JoinFolder(folder, item.cFileName, path)) AppendEntry(dialog, path);
  } while (FindNextFileA(listing, &item));
  FindClose(listing);
}

// A name whose attributes cannot be read is taken for a folder; listing it
// then fails for anything that is not one, so it adds nothing. The list does
// not redraw while the names go in: redrawing after every entry makes a large
// folder take minutes on some systems.
INT_PTR OnDropFiles(HWND dialog, HDROP drop) {
  HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    if (DragQueryFileA(drop, i, nullptr, 0) > static_cast<UINT>(kMaxEntryLength)) continue;
    char name[kMaxEntryLength + 1];
    DragQueryFileA(drop, i, name, sizeof name);
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      AppendFolder(dialog, name);
    } else {
      AppendEntry(dialog, name);
    }
  }
  DragFinish(drop);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  ApplyButtonRule(dialog);
  UpdateExtent(dialog, IDC_FILE_LIST);
  return TRUE;
}
