#include "tests/e2e/driver/app_windows.h"

const char kMainTitle[] = "Orvalintex ver.0.1.0";
const char kOpenTitle[] = "修復用ファイル";

static const char kDialogClass[] = "#32770";

HWND FindMainDialog() {
  HWND found = FindWindowA(kDialogClass, kMainTitle);
  return found && IsWindowVisible(found) ? found : nullptr;
}

std::string ClassName(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kAnswerMs,
                             result ? result : &ignored) != 0;
}

std::string ControlText(HWND window, bool* answered) {
  DWORD_PTR length = 0;
  bool ok = Ask(window, WM_GETTEXTLENGTH, 0, 0, &length);
  std::string text(length + 1, '\0');
  DWORD_PTR copied = 0;
  ok = ok && Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &copied);
  if (answered) *answered = ok;
  if (!ok) return std::string();
  text.resize(copied < text.size() ? copied : text.size() - 1);
  return text;
}

struct Search {
  HWND mainDialog;
  DWORD process;
  bool wantOpenDialog;
  HWND found;
};

static BOOL CALLBACK Visit(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (window == search->mainDialog || process != search->process) return TRUE;
  if (!IsWindowVisible(window) || ClassName(window) != kDialogClass) return TRUE;
  char title[256] = "";
  GetWindowTextA(window, title, sizeof title);
  bool isOpenDialog = lstrcmpA(title, kOpenTitle) == 0;
  bool isMessageBox = !isOpenDialog && GetDlgItem(window, 0xFFFF) != nullptr;
  if (search->wantOpenDialog ? isOpenDialog : isMessageBox) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

static HWND FindOwnedWindow(HWND mainDialog, bool wantOpenDialog) {
  Search search = {mainDialog, 0, wantOpenDialog, nullptr};
  GetWindowThreadProcessId(mainDialog, &search.process);
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindMessageBox(HWND mainDialog) { return FindOwnedWindow(mainDialog, false); }

HWND FindOpenDialog(HWND mainDialog) { return FindOwnedWindow(mainDialog, true); }
