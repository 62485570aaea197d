// The windows of the program under test, seen from another process.
#pragma once
#include <windows.h>

#include <string>

// Title of the main dialog, and of the file-open dialog that Repair... shows.
extern const char kMainTitle[];
extern const char kOpenTitle[];

// How long a message to the program may take before it counts as not answering.
constexpr UINT kAnswerMs = 5000;

HWND FindMainDialog();

// A message box of the program: a window of the dialog class in the main
// dialog's process, other than the main dialog, holding the static text
// control 0xFFFF. nullptr when there is none.
HWND FindMessageBox(HWND mainDialog);

// The file-open dialog of the program, found by its title; nullptr when none.
HWND FindOpenDialog(HWND mainDialog);

// The window's title or control text, read through WM_GETTEXT so that edits
// and buttons alike give what they show. Sets *answered to false when the
// program did not answer in time (the text is then empty).
std::string ControlText(HWND window, bool* answered = nullptr);

std::string ClassName(HWND window);

// SendMessageTimeoutA with kAnswerMs; false when the program did not answer.
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result);

// Polls condition every few milliseconds until it holds or timeoutMs passes.
// Returns whether it held. Each poll is cheap, so a short period costs nothing.
template <typename Condition>
bool WaitFor(DWORD timeoutMs, Condition condition) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}
