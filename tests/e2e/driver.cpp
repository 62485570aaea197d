// Drives Orvalintex.exe from another process through window messages, as a
// user's clicks would, one step per call: start (the program, then Check),
// repair (Repair..., then PATH in the file-open dialog), exit. Each wait gives up
// after MS ms, or at once when the program ends. A step's message box stays open
// for a screenshot, its text printed as UTF-8; the next step answers OK.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "tests/support/utf8_win32.h"

static DWORD gLimitMs;
static HANDLE gApp;  // the program's process
static HWND gMainDialog;

[[noreturn]] static void Fail(const std::string& why) {
  fprintf(stderr, "e2e-driver: %s\n", why.c_str());
  ExitProcess(1);
}

template <typename Done>
static void Await(const std::string& what, Done done) {
  for (DWORD start = GetTickCount(); !done(); Sleep(20)) {
    if (gApp && WaitForSingleObject(gApp, 0) == WAIT_OBJECT_0)
      Fail("the program ended while waiting for " + what);
    if (GetTickCount() - start > gLimitMs) Fail("timed out waiting for " + what);
  }
}

static std::string Text(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return ToUtf8(CP_ACP, text);
}

// A shown window owned by the main dialog: the file-open dialog holds the name
// box 0x47C, a message box its text in the static control 0xFFFF.
static HWND Owned(bool fileOpen) {
  for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", nullptr)) != nullptr;) {
    bool named = GetDlgItem(w, 0x47C) != nullptr;
    if (GetWindow(w, GW_OWNER) == gMainDialog && IsWindowVisible(w) &&
        (fileOpen ? named : !named && !Text(GetDlgItem(w, 0xFFFF)).empty()))
      return w;
  }
  return nullptr;
}

static bool Send(HWND window, UINT message, LPARAM lParam, DWORD_PTR* result = nullptr) {
  return SendMessageTimeoutA(window, message, 0, lParam, SMTO_NORMAL, gLimitMs, result) != 0;
}

// BM_CLICK is sent where the handler returns at once, posted where it runs a
// modal loop (the check run, the file-open dialog).
static void Click(HWND window, int id, bool posted) {
  HWND button = GetDlgItem(window, id);
  std::string name = "button " + std::to_string(id);
  Await(name + " to be enabled", [&] { return IsWindowEnabled(button); });
  if (posted)
    PostMessageA(button, BM_CLICK, 0, 0);
  else if (!Send(button, BM_CLICK, 0))
    Fail(name + " did not answer");
}

int main(int argc, char** argv) {
  std::string step = argc > 2 ? argv[2] : "";
  if (!(argc == 4 && (step == "start" || step == "repair")) && !(argc == 3 && step == "exit"))
    Fail("usage: e2e-driver MS start COMMAND_LINE | repair PATH | exit");
  gLimitMs = std::stoul(argv[1]);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // none: the program must not hold our output open
  PROCESS_INFORMATION started = {};
  if (step == "start" && !CreateProcessA(nullptr, argv[3], nullptr, nullptr, FALSE, 0, nullptr,
                                         nullptr, &startup, &started))
    Fail(std::string("cannot start ") + argv[3]);
  gApp = started.hProcess;
  Await("the dialog \"Orvalintex ver.0.1.0\"", [] {
    gMainDialog = FindWindowA("#32770", "Orvalintex ver.0.1.0");
    return gMainDialog && IsWindowVisible(gMainDialog);
  });
  DWORD pid = 0, code = STILL_ACTIVE, pressed = GetTickCount();
  if (!gApp && GetWindowThreadProcessId(gMainDialog, &pid))
    gApp = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
  HWND box = Owned(false), open = nullptr;
  if (step == "start")
    Click(gMainDialog, IDOK, true);
  else if (!box)
    Fail("no message box to answer");
  else
    Click(box, IDOK, false), Await("the message box to close", [&] { return !IsWindow(box); });
  if (step == "exit") {
    Click(gMainDialog, IDCANCEL, false);
    if (WaitForSingleObject(gApp, gLimitMs) || !GetExitCodeProcess(gApp, &code) || code)
      Fail("after Exit the program's exit code is " + std::to_string(code) +
           " (259: still running), not 0");
    return 0;
  }
  if (step == "repair") {
    Click(gMainDialog, 206 /* Repair... */, true);
    DWORD_PTR name = 0;
    Await("the file-open dialog's name field", [&] {
      return (open = Owned(true)) != nullptr &&
             Send(GetDlgItem(open, 0x47C), CBEM_GETEDITCONTROL, 0, &name) && name;
    });
    if (!Send(reinterpret_cast<HWND>(name), WM_SETTEXT, reinterpret_cast<LPARAM>(argv[3])))
      Fail("no name typed");
    Click(open, IDOK, false);
  }
  Await("a message box", [&] { return (box = Owned(false)) != nullptr; });
  if (step == "start")
    fprintf(stderr, "seconds=%.3f\n", (GetTickCount() - pressed) / 1000.0);  // bench/wine_scan.sh
  // Have the box and the dialog painted: WM_PAINT is sent, so handled before this returns.
  for (HWND w : {gMainDialog, box})
    RedrawWindow(w, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  printf("%s\n", Text(GetDlgItem(box, 0xFFFF)).c_str());
  return 0;
}
