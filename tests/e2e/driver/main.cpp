// Drives a running Orvalintex.exe from outside, through window messages, the
// way a user's clicks would reach it, and prints what its windows show.
// One command per run; the test script calls it step by step.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "res/resource.h"
#include "tests/e2e/driver/app_windows.h"
#include "tests/e2e/driver/text_out.h"

static const char kUsage[] =
    "usage: e2e-driver COMMAND ARGS\n"
    "  wait-dialog MS          wait until the main dialog is shown\n"
    "  state                   print the controls of the main dialog\n"
    "  click ID                post a click on an enabled push button of the main dialog\n"
    "  press ID                the same, sent: returns once the dialog has handled it\n"
    "  toggle ID MS            click a check box and wait until its state changed\n"
    "  wait-running MS         wait until the Check button reads Stop\n"
    "  wait-idle MS            wait until the Check button reads Check\n"
    "  wait-progress N MS      wait until the progress bar stands at N or more\n"
    "  msgbox MS               wait for a message box and print it\n"
    "  no-msgbox               fail when a message box is open\n"
    "  answer OK|Yes|No MS     press a button of the open message box, wait until it is gone\n"
    "  open-file PATH MS       in the file-open dialog, enter PATH and press Open\n"
    "  cancel-open MS          in the file-open dialog, press Cancel\n"
    "  close MS                press Exit and wait until the main dialog is gone\n"
    "  time-check MS           press Check, wait for a message box, print the seconds between\n";

static int Fail(const std::string& message) {
  PrintFailure(message);
  return 1;
}

static DWORD Milliseconds(const char* text) { return static_cast<DWORD>(std::strtoul(text, nullptr, 10)); }

// The main dialog, or a failure message when it is not there.
static HWND MainDialogOrFail() {
  HWND dialog = FindMainDialog();
  if (!dialog) PrintFailure(std::string("no window titled \"") + kMainTitle + "\"");
  return dialog;
}

static void PrintMessageBox(HWND mainDialog, HWND box) {
  PrintField("caption", ControlText(box));
  PrintField("text", ControlText(GetDlgItem(box, 0xFFFF)));
  static const struct { int id; const char* name; } kButtons[] = {
      {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDABORT, "Abort"}, {IDRETRY, "Retry"},
      {IDIGNORE, "Ignore"}, {IDYES, "Yes"}, {IDNO, "No"}};
  std::string buttons;
  for (const auto& b : kButtons) {
    HWND button = GetDlgItem(box, b.id);
    if (button && IsWindowVisible(button)) buttons += buttons.empty() ? b.name : std::string(" ") + b.name;
  }
  PrintField("buttons", buttons);
  PrintField("owner", GetWindow(box, GW_OWNER) == mainDialog ? "main" : "other");
}

// A message box in the way of a wait: print it so that the failure says why.
static int FailWithMessageBox(HWND mainDialog, HWND box, const std::string& waitingFor) {
  PrintMessageBox(mainDialog, box);
  return Fail("a message box appeared while waiting for " + waitingFor +
              " (caption \"" + ControlText(box) + "\", text \"" + ControlText(GetDlgItem(box, 0xFFFF)) + "\")");
}

static int WaitDialog(DWORD timeout) {
  if (!WaitFor(timeout, [] { return FindMainDialog() != nullptr; }))
    return Fail(std::string("no window titled \"") + kMainTitle + "\" appeared");
  return 0;
}

static void PrintButton(HWND dialog, int id, const char* key) {
  HWND control = GetDlgItem(dialog, id);
  PrintField(std::string(key) + ".text", ControlText(control));
  PrintField(std::string(key) + ".enabled", IsWindowEnabled(control) ? "1" : "0");
}

// Wine hands LB_GETTEXT from another process back as UTF-16 even when it was
// asked in the ANSI form, so the entry is asked for in the wide form and
// brought back to the ANSI code page here. Returns 1 with the entry, 0 when the
// program did not answer, -1 when there is no such entry (a run removes
// entries while it goes on).
static int ListEntry(HWND list, int index, std::string* entry) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, index, 0, SMTO_NORMAL, kAnswerMs, &length)) return 0;
  if (static_cast<LRESULT>(length) == LB_ERR) return -1;
  std::wstring wide(length + 1, L'\0');
  if (!SendMessageTimeoutW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(&wide[0]), SMTO_NORMAL, kAnswerMs,
                           &length))
    return 0;
  if (static_cast<LRESULT>(length) == LB_ERR || length >= wide.size()) return -1;
  int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  entry->assign(size, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(length), &(*entry)[0], size, nullptr, nullptr);
  return 1;
}

static int State() {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  PrintButton(dialog, IDOK, "check");
  PrintButton(dialog, IDC_REMOVE, "remove");
  PrintButton(dialog, IDC_REMOVE_ALL, "remove_all");
  PrintButton(dialog, IDC_REPAIR, "repair");
  PrintButton(dialog, IDCANCEL, "exit");
  PrintButton(dialog, IDC_SKIP_JUNK, "junk");
  DWORD_PTR checked = 0;
  if (!Ask(GetDlgItem(dialog, IDC_SKIP_JUNK), BM_GETCHECK, 0, 0, &checked)) return Fail("the check box did not answer");
  PrintField("junk.checked", std::to_string(checked));
  PrintButton(dialog, IDC_THRESHOLD, "threshold");

  HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
  DWORD_PTR position = 0, maximum = 0;
  if (!Ask(progress, PBM_GETPOS, 0, 0, &position) || !Ask(progress, PBM_GETRANGE, FALSE, 0, &maximum))
    return Fail("the progress bar did not answer");
  PrintField("progress.pos", std::to_string(position));
  PrintField("progress.max", std::to_string(maximum));

  HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
  DWORD_PTR count = 0, selection = 0;
  if (!Ask(list, LB_GETCOUNT, 0, 0, &count) || !Ask(list, LB_GETCURSEL, 0, 0, &selection))
    return Fail("the file list did not answer");
  PrintField("list.count", std::to_string(count));
  PrintField("list.sel", std::to_string(static_cast<int>(selection)));
  // During a run the entries read can be fewer than the count read before them.
  for (DWORD_PTR i = 0; i < count; ++i) {
    std::string entry;
    int read = ListEntry(list, static_cast<int>(i), &entry);
    if (read == 0) return Fail("the file list did not answer");
    if (read < 0) break;
    PrintField("list." + std::to_string(i), entry);
  }
  return 0;
}

// A user can press only an enabled, visible button.
static HWND EnabledButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (!button) {
    PrintFailure("the main dialog has no control " + std::to_string(id));
    return nullptr;
  }
  if (!IsWindowVisible(button) || !IsWindowEnabled(button)) {
    PrintFailure("button " + std::to_string(id) + " (\"" + ControlText(button) + "\") is not enabled");
    return nullptr;
  }
  return button;
}

// Posted, as a real click is: the driver is free at once while the program
// works inside the handler (a check run, the file-open dialog, a message box).
static int Click(int id) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND button = EnabledButton(dialog, id);
  if (!button) return 1;
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return 0;
}

// Sent, for buttons whose handler returns at once: when this returns the
// handler has run, so what is read next shows its effect.
static int Press(int id) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND button = EnabledButton(dialog, id);
  if (!button) return 1;
  if (!Ask(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button), nullptr))
    return Fail("button " + std::to_string(id) + " was not handled in time");
  return 0;
}

// A check box toggles itself on a click before it tells the dialog, so it gets
// a real click (BM_CLICK) rather than a bare command.
static int Toggle(int id, DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND box = GetDlgItem(dialog, id);
  if (!box || !IsWindowEnabled(box)) return Fail("check box " + std::to_string(id) + " is missing or disabled");
  DWORD_PTR before = 0;
  if (!Ask(box, BM_GETCHECK, 0, 0, &before)) return Fail("the check box did not answer");
  PostMessageA(box, BM_CLICK, 0, 0);
  bool changed = WaitFor(timeout, [&] {
    DWORD_PTR now = before;
    return Ask(box, BM_GETCHECK, 0, 0, &now) && now != before;
  });
  return changed ? 0 : Fail("check box " + std::to_string(id) + " did not change on a click");
}

// Waits until the Check button reads text: "中止" while a run lasts, "チェック"
// before and after. The texts live here rather than on the command line,
// where Wine would have to carry them through the locale's character set.
static int WaitCheckText(const std::string& text, DWORD timeout) {
  const int id = IDOK;
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND control = GetDlgItem(dialog, id);
  HWND box = nullptr;
  bool gone = false;
  bool reached = WaitFor(timeout, [&] {
    if (!IsWindow(dialog)) return gone = true;
    if ((box = FindMessageBox(dialog)) != nullptr) return true;
    bool answered = false;
    return ControlText(control, &answered) == text && answered;
  });
  std::string what = "the Check button to read \"" + text + "\"";
  if (gone) return Fail("the main dialog went away while waiting for " + what);
  if (box) return FailWithMessageBox(dialog, box, what);
  if (!reached) return Fail("timed out waiting for " + what + "; it reads \"" + ControlText(control) + "\"");
  return 0;
}

// Waits until the progress bar stands at least at position: so many files have
// passed a run that is still going on.
static int WaitProgress(int position, DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND progress = GetDlgItem(dialog, IDC_PROGRESS);
  HWND box = nullptr;
  DWORD_PTR now = 0;
  bool reached = WaitFor(timeout, [&] {
    if ((box = FindMessageBox(dialog)) != nullptr) return true;
    return Ask(progress, PBM_GETPOS, 0, 0, &now) && static_cast<int>(now) >= position;
  });
  std::string what = "the progress bar to reach " + std::to_string(position);
  if (box) return FailWithMessageBox(dialog, box, what);
  if (!reached) return Fail("timed out waiting for " + what + "; it stands at " + std::to_string(now));
  return 0;
}

static int MessageBoxCommand(DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND box = nullptr;
  if (!WaitFor(timeout, [&] { return (box = FindMessageBox(dialog)) != nullptr; }))
    return Fail("timed out waiting for a message box");
  // The box is made before its texts are set; a text-less box is still building.
  WaitFor(timeout, [&] { return !ControlText(GetDlgItem(box, 0xFFFF)).empty(); });
  PrintMessageBox(dialog, box);
  return 0;
}

static int NoMessageBox() {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND box = FindMessageBox(dialog);
  return box ? FailWithMessageBox(dialog, box, "nothing") : 0;
}

static int Answer(const std::string& name, DWORD timeout) {
  int id = name == "OK" ? IDOK : name == "Yes" ? IDYES : name == "No" ? IDNO : 0;
  if (!id) return Fail("answer OK, Yes or No, not \"" + name + "\"");
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND box = FindMessageBox(dialog);
  if (!box) return Fail("no message box to answer " + name);
  HWND button = GetDlgItem(box, id);
  if (!button || !IsWindowVisible(button)) return Fail("the message box has no " + name + " button");
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  if (!WaitFor(timeout, [&] { return !IsWindow(box); }))
    return Fail("the message box stayed open after " + name);
  return 0;
}

static HWND WaitOpenDialog(HWND dialog, DWORD timeout) {
  HWND open = nullptr;
  if (!WaitFor(timeout, [&] { return (open = FindOpenDialog(dialog)) != nullptr; })) {
    HWND box = FindMessageBox(dialog);
    if (box) FailWithMessageBox(dialog, box, std::string("the dialog \"") + kOpenTitle + "\"");
    else PrintFailure(std::string("timed out waiting for the dialog \"") + kOpenTitle + "\"");
    return nullptr;
  }
  return open;
}

struct EditSearch {
  HWND found;
};

static BOOL CALLBACK VisitEdit(HWND window, LPARAM param) {
  if (ClassName(window) != "Edit") return TRUE;
  reinterpret_cast<EditSearch*>(param)->found = window;
  return FALSE;
}

// Presses a button of the file-open dialog and waits until the dialog is gone.
static int PressInOpenDialog(HWND open, int id, DWORD timeout) {
  PostMessageA(open, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(open, id)));
  if (!WaitFor(timeout, [&] { return !IsWindow(open); })) {
    HWND box = FindMessageBox(open);
    std::string why = box ? " (it says \"" + ControlText(GetDlgItem(box, 0xFFFF)) + "\")" : "";
    return Fail(std::string("the dialog \"") + kOpenTitle + "\" stayed open" + why);
  }
  return 0;
}

// The Explorer-style dialog's name field: an edit inside the ComboBoxEx32 0x47C.
static int OpenFile(const std::string& path, DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND open = WaitOpenDialog(dialog, timeout);
  if (!open) return 1;
  HWND nameBox = nullptr;
  EditSearch search = {nullptr};
  WaitFor(timeout, [&] {
    nameBox = GetDlgItem(open, 0x47C);
    if (nameBox) EnumChildWindows(nameBox, VisitEdit, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
  });
  if (!search.found) return Fail("the file-open dialog has no name field");
  PrintField("title", ControlText(open));
  PrintField("owner", GetWindow(open, GW_OWNER) == dialog ? "main" : "other");
  PrintField("name", ControlText(search.found));
  if (!Ask(search.found, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()), nullptr))
    return Fail("the name field did not answer");
  return PressInOpenDialog(open, IDOK, timeout);
}

static int CancelOpen(DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  HWND open = WaitOpenDialog(dialog, timeout);
  if (!open) return 1;
  return PressInOpenDialog(open, IDCANCEL, timeout);
}

static int Close(DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  if (int failed = Click(IDCANCEL)) return failed;
  if (!WaitFor(timeout, [&] { return !IsWindow(dialog); })) return Fail("the main dialog stayed open after Exit");
  return 0;
}

// For the benchmark: the time of a check run as the user sees it, without the
// start of a driver process in it. Message boxes are looked for every 20 ms.
static int TimeCheck(DWORD timeout) {
  HWND dialog = MainDialogOrFail();
  if (!dialog) return 1;
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (int failed = Click(IDOK)) return failed;
  if (!WaitFor(timeout, [&] { return FindMessageBox(dialog) != nullptr; }))
    return Fail("timed out waiting for a message box");
  QueryPerformanceCounter(&end);
  PrintField("seconds", std::to_string(static_cast<double>(end.QuadPart - start.QuadPart) /
                                       static_cast<double>(frequency.QuadPart)));
  return 0;
}

int main(int argc, char** argv) {
  // The program's texts are Shift-JIS; compared and converted correctly only
  // when this process reads ANSI text in the same code page.
  if (GetACP() != 932) return Fail("the ANSI code page is " + std::to_string(GetACP()) + ", not 932: run under LC_ALL=ja_JP.UTF-8");
  std::string command = argc > 1 ? argv[1] : "";
  int n = argc - 2;
  char** a = argv + 2;
  if (command == "wait-dialog" && n == 1) return WaitDialog(Milliseconds(a[0]));
  if (command == "state" && n == 0) return State();
  if (command == "click" && n == 1) return Click(std::atoi(a[0]));
  if (command == "press" && n == 1) return Press(std::atoi(a[0]));
  if (command == "toggle" && n == 2) return Toggle(std::atoi(a[0]), Milliseconds(a[1]));
  if (command == "wait-running" && n == 1) return WaitCheckText("中止", Milliseconds(a[0]));
  if (command == "wait-idle" && n == 1) return WaitCheckText("チェック", Milliseconds(a[0]));
  if (command == "wait-progress" && n == 2) return WaitProgress(std::atoi(a[0]), Milliseconds(a[1]));
  if (command == "msgbox" && n == 1) return MessageBoxCommand(Milliseconds(a[0]));
  if (command == "no-msgbox" && n == 0) return NoMessageBox();
  if (command == "answer" && n == 2) return Answer(a[0], Milliseconds(a[1]));
  if (command == "open-file" && n == 2) return OpenFile(a[0], Milliseconds(a[1]));
  if (command == "cancel-open" && n == 1) return CancelOpen(Milliseconds(a[0]));
  if (command == "close" && n == 1) return Close(Milliseconds(a[0]));
  if (command == "time-check" && n == 1) return TimeCheck(Milliseconds(a[0]));
  PrintFailure(kUsage);
  return 2;
}
