#include "tests/ui/dialog_fixture.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>

#include "common/settings.h"
#include "res/resource.h"
#include "tests/support/temp_files.h"
#include "ui/globals.h"
#include "ui/main_dialog.h"

std::vector<DialogEvent> g_events;
std::function<void(const DialogEvent&)> g_onEvent;
std::function<void(HWND)> g_onMainInit;
std::function<int(HWND)> g_answerDialog;

static HHOOK g_sentHook;
static HHOOK g_activationHook;
static HWND g_mainSeen;
static HWND g_boxAnswered;
static std::string g_tempFolder;

static int ListCount() {
  return static_cast<int>(SendDlgItemMessageA(g_mainDialog, IDC_FILE_LIST, LB_GETCOUNT, 0, 0));
}

static void Record(DialogEvent event) {
  event.listCount = ListCount();
  g_events.push_back(event);
  if (g_onEvent) g_onEvent(g_events.back());
}

static std::string WindowText(HWND hwnd) {
  char text[1024] = "";
  GetWindowTextA(hwnd, text, sizeof text);
  return text;
}

static bool IsDialogClass(HWND hwnd) {
  char name[16] = "";
  GetClassNameA(hwnd, name, sizeof name);
  return std::strcmp(name, "#32770") == 0;
}

// Sees every message sent to the main dialog's controls before they act on it.
static LRESULT CALLBACK SentHook(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && g_mainDialog && GetParent(m->hwnd) == g_mainDialog) {
    const int id = GetDlgCtrlID(m->hwnd);
    switch (m->message) {
      case WM_ENABLE:
        Record({DialogEvent::kEnable, id, m->wParam ? 1 : 0, "", "", 0});
        break;
      case WM_SETTEXT:
        if (id == IDOK) Record({DialogEvent::kSetText, id, 0, reinterpret_cast<const char*>(m->lParam), "", 0});
        break;
      case PBM_SETRANGE:
        Record({DialogEvent::kProgressRange, id, HIWORD(m->lParam), "", "", 0});
        break;
      case PBM_SETRANGE32:
        Record({DialogEvent::kProgressRange, id, static_cast<long long>(m->lParam), "", "", 0});
        break;
      case PBM_SETPOS:
        Record({DialogEvent::kProgressPos, id, static_cast<long long>(m->wParam), "", "", 0});
        break;
    }
  }
  return CallNextHookEx(g_sentHook, code, wParam, lParam);
}

// Sees every dialog as it becomes active, which costs nothing per message. A
// message box then holds its text, and is answered with OK by a queued
// command; the main dialog is handed to g_onMainInit. Each is handled once,
// however often it is activated again.
static LRESULT CALLBACK ActivationHook(int code, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && IsDialogClass(hwnd)) {
    if (hwnd == g_mainDialog) {
      if (hwnd != g_mainSeen && g_onMainInit) g_onMainInit(hwnd);
      g_mainSeen = hwnd;
    } else if (hwnd != g_boxAnswered) {
      g_boxAnswered = hwnd;
      char text[1024] = "";
      GetDlgItemTextA(hwnd, 0xFFFF, text, sizeof text);
      Record({DialogEvent::kMessage, 0, 0, text, WindowText(hwnd), 0});
      const int answer = g_answerDialog ? g_answerDialog(hwnd) : IDOK;
      if (answer != 0) PostMessageA(hwnd, WM_COMMAND, answer, 0);
    }
  }
  if (code == HCBT_DESTROYWND) {
    if (hwnd == g_mainSeen) g_mainSeen = nullptr;
    if (hwnd == g_boxAnswered) g_boxAnswered = nullptr;
  }
  return CallNextHookEx(g_activationHook, code, wParam, lParam);
}

void DialogTest::SetUp() {
  InitCommonControls();
  g_instance = GetModuleHandleA(nullptr);
  g_mainDialog = nullptr;
  g_checking = g_stopRequest = g_exitRequest = 0;
  g_settings = {0, 0, kDefaultErrorLength, 1};
  g_events.clear();
  g_onEvent = nullptr;
  g_onMainInit = nullptr;
  g_answerDialog = nullptr;
  g_mainSeen = g_boxAnswered = nullptr;
  g_sentHook = SetWindowsHookExA(WH_CALLWNDPROC, SentHook, nullptr, GetCurrentThreadId());
  g_activationHook = SetWindowsHookExA(WH_CBT, ActivationHook, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(g_sentHook && g_activationHook);
}

void DialogTest::TearDown() {
  StopWatchingControls();
  UnhookWindowsHookEx(g_activationHook);
  if (dialog_) DestroyWindow(dialog_);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  g_mainDialog = nullptr;
  if (!g_tempFolder.empty()) RemoveTree(g_tempFolder);
  g_tempFolder.clear();
}

void DialogTest::StopWatchingControls() {
  if (g_sentHook) UnhookWindowsHookEx(g_sentHook);
  g_sentHook = nullptr;
}

HWND DialogTest::Open(const char* tail) {
  dialog_ = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc,
                               reinterpret_cast<LPARAM>(tail));
  EXPECT_NE(dialog_, nullptr);
  EXPECT_EQ(g_mainDialog, dialog_);
  return dialog_;
}

std::vector<std::string> DialogTest::Entries() const {
  std::vector<std::string> entries;
  const int count = static_cast<int>(SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const LRESULT length = SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_GETTEXTLEN, i, 0);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(length));
    entries.push_back(text);
  }
  return entries;
}

int DialogTest::Selection() const {
  return static_cast<int>(SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_GETCURSEL, 0, 0));
}

bool DialogTest::Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }

std::string DialogTest::Text(int id) const { return WindowText(GetDlgItem(dialog_, id)); }

int DialogTest::ProgressPos() const {
  return static_cast<int>(SendDlgItemMessageA(dialog_, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

int DialogTest::HorizontalExtent() const {
  return static_cast<int>(SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_GETHORIZONTALEXTENT, 0, 0));
}

std::vector<bool> DialogTest::RuleButtons() const {
  return {Enabled(IDC_REMOVE), Enabled(IDC_REMOVE_ALL), Enabled(IDOK), Enabled(IDC_REPAIR)};
}

void DialogTest::Command(int id, int code) {
  SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, code),
                      reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
}

void DialogTest::PostCommand(int id, int code) {
  PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog_, id)));
}

void DialogTest::Drop(const std::vector<std::string>& names) {
  SendMessageA(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
}

void DialogTest::PostDrop(const std::vector<std::string>& names) {
  PostMessageA(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(names)), 0);
}

// A selection as the user makes it: the list box notifies its parent.
void DialogTest::Select(int index) {
  SendDlgItemMessageA(dialog_, IDC_FILE_LIST, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  Command(IDC_FILE_LIST, LBN_SELCHANGE);
}

std::vector<DialogEvent> DialogTest::Events(DialogEvent::Kind kind) const {
  std::vector<DialogEvent> chosen;
  for (const DialogEvent& e : g_events) {
    if (e.kind == kind) chosen.push_back(e);
  }
  return chosen;
}

HDROP MakeDrop(const std::vector<std::string>& names) {
  size_t size = sizeof(DROPFILES) + 1;
  for (const std::string& n : names) size += n.size() + 1;
  HGLOBAL memory = GlobalAlloc(GHND, size);
  DROPFILES* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = FALSE;
  char* p = reinterpret_cast<char*>(header + 1);
  for (const std::string& n : names) {
    std::memcpy(p, n.c_str(), n.size() + 1);
    p += n.size() + 1;
  }
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

std::string TempFolder() {
  if (g_tempFolder.empty()) g_tempFolder = MakeTempDir();
  return g_tempFolder;
}

std::string MakeFile(const std::string& name, const std::vector<unsigned char>& bytes) {
  const std::string path = JoinPath(TempFolder(), name);
  WriteBytes(path, bytes);
  return path;
}

std::vector<unsigned char> CleanBytes(size_t size) { return std::vector<unsigned char>(size, 0x5A); }
