#include "ui/repair_command.h"

#include <commdlg.h>
#include <shlwapi.h>

#include "app/settings.h"
#include "common/output_name.h"
#include "repair/merge_copies.h"
#include "res/resource.h"
#include "ui/handlers.h"

// The shell's extension: a name that begins with a dot is all extension, and
// a blank after the last dot ends it, unlike the command-line program's.
void FormOutputPath(const char* damaged, char output[MAX_PATH]) {
  lstrcpyA(output, WithFixedMark(damaged, PathFindExtensionA(damaged)).c_str());
}

// The entry as a full path, so that neither the merge nor the output name
// depends on the folder the file-open dialog may move the process to. An entry
// that cannot be resolved (an empty one) is kept as it stands, for the merge to
// report. Returns the path's length, MAX_PATH when the full path does not fit.
static int ResolveDamagedPath(const char* entry, char path[MAX_PATH]) {
  DWORD length = GetFullPathNameA(entry, MAX_PATH, path, nullptr);
  if (length == 0) {
    lstrcpyA(path, entry);
    return lstrlenA(path);
  }
  return length < MAX_PATH ? static_cast<int>(length) : MAX_PATH;
}

static int ChooseRepairSource(HWND dialog, const char* damaged, char source[MAX_PATH]) {
  lstrcpyA(source, PathFindFileNameA(damaged));
  OPENFILENAMEA ofn;
  ZeroMemory(&ofn, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;  // 76: without the Windows 2000 fields
  ofn.hwndOwner = dialog;
  ofn.lpstrFilter = "すべてのファイル(*.*)\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = source;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrTitle = "修復用ファイル";
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  // The dialog moves the current folder to wherever the user went, which
  // would make every other relative entry name another file; put it back.
  char folder[MAX_PATH];
  const DWORD kept = GetCurrentDirectoryA(MAX_PATH, folder);
  const BOOL chosen = GetOpenFileNameA(&ofn);
  if (kept > 0 && kept < MAX_PATH) SetCurrentDirectoryA(folder);
  return chosen ? 1 : 0;
}

void RepairCommand(HWND dialog) {
  LRESULT index = SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return;
  char entry[MAX_PATH];
  char damaged[MAX_PATH];
  char source[MAX_PATH];
  char output[MAX_PATH];
  SendDlgItemMessageA(dialog, IDC_FILE_LIST, LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry));
  if (ResolveDamagedPath(entry, damaged) + kFixedMarkLength >= MAX_PATH) {
    ShowOutcome(MakeOutcome(kNameTooLong), MB_OK);
    return;
  }
  if (!ChooseRepairSource(dialog, damaged, source)) return;
  FormOutputPath(damaged, output);

  const char* copies[2] = {damaged, source};
  MergeJob job = MergeOf(copies, 2, g_settings.ErrorLength);
  job.makeOutput = output;
  HCURSOR kept = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  MergeReport report;
  int made = 0;
  const Outcome merged = MergeCopies(job, &report, &made);
  SetCursor(kept);

  if (merged.kind == kMerged)
    ShowOutcome(MakeOutcome(kRepaired), MB_OK);
  else if (made)
    DeleteFileA(output);
}
