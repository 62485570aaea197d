#include <windows.h>

#include "platform/console.h"

// All the console keeps.
static struct {
  int stdoutFailed = 0;
  volatile LONG stopRequested = 0;
  volatile LONG guarding = 0;   // a partial file is made and not yet released
  HANDLE released = nullptr;    // set once the work in hand has let its partial file go
} g_console;

// The program's literals are compiled as Shift-JIS whatever the system's code
// page; paths come in the ANSI code page.
static const UINT kProgramTextCodePage = 932;

static std::wstring ToWide(UINT codePage, const char* text, int length) {
  int n = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text, length, &wide[0], n);
  return wide;
}

static std::string FromWide(UINT codePage, const std::wstring& wide) {
  int length = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string text(n > 0 ? n : 0, '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, wide.data(), length, &text[0], n, nullptr, nullptr);
  return text;
}

std::string ProgramTextToUtf8(const char* text) {
  return FromWide(CP_UTF8, ToWide(kProgramTextCodePage, text, lstrlenA(text)));
}

std::string PathToUtf8(const char* path) {
  return FromWide(CP_UTF8, ToWide(CP_ACP, path, lstrlenA(path)));
}

Language UserLanguage() {
  return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? kJapanese : kEnglish;
}

// The system's message in the ANSI code page, without the line end it ends in.
std::string SystemErrorText(int error) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == '.')) --n;
  if (n == 0) return "error " + std::to_string(error);
  return FromWide(CP_UTF8, ToWide(CP_ACP, text, static_cast<int>(n)));
}

static HANDLE StreamHandle(OutStream stream) {
  return GetStdHandle(stream == kStdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

static int IsConsole(HANDLE h) {
  DWORD mode;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetConsoleMode(h, &mode);
}

void WriteText(OutStream stream, const std::string& utf8) {
  HANDLE h = StreamHandle(stream);
  std::wstring wide = ToWide(CP_UTF8, utf8.data(), static_cast<int>(utf8.size()));
  DWORD put = 0;
  int written;
  if (IsConsole(h)) {
    written = WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &put, nullptr) &&
              put == wide.size();
  } else {
    UINT codePage = GetConsoleOutputCP();
    std::string bytes = FromWide(codePage ? codePage : GetACP(), wide);
    written = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
              put == bytes.size();
  }
  if (!written && stream == kStdout) g_console.stdoutFailed = 1;
}

int StdoutFailed() { return g_console.stdoutFailed; }

int IsTerminal(OutStream stream) { return IsConsole(StreamHandle(stream)); }

int InputIsTerminal() { return IsConsole(GetStdHandle(STD_INPUT_HANDLE)); }


// Runs on a thread of its own and raises the flag. When the console closes or
// the session ends, the process ends as it returns: it waits (within the
// seconds Windows grants) for the work to remove its partial file.
static BOOL WINAPI OnConsoleControl(DWORD event) {
  InterlockedExchange(&g_console.stopRequested, 1);
  const bool ending = event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT ||
                      event == CTRL_SHUTDOWN_EVENT;
  if (ending && g_console.guarding) WaitForSingleObject(g_console.released, 4000);
  return TRUE;
}

// Typed in the console's input code page.
std::string ReadAnswerLine() {
  HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string line;
  char c;
  DWORD got;
  while (ReadFile(in, &c, 1, &got, nullptr) && got == 1 && !g_console.stopRequested && c != '\n')
    line += c;
  if (g_console.stopRequested) return std::string();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const UINT codePage = GetConsoleCP();
  return FromWide(CP_UTF8, ToWide(codePage ? codePage : GetACP(), line.data(),
                                  static_cast<int>(line.size())));
}

void InstallStopHandler() {
  g_console.released = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

int StopStatus() { return g_console.stopRequested ? 130 : 0; }

// The handler's thread cannot remove a file the work holds open without
// sharing: the work removes it when it sees the stop.
void HoldStops() {}

void GuardItem(const std::string&, const char* partialPath) {
  ResetEvent(g_console.released);
  InterlockedExchange(&g_console.guarding, partialPath != nullptr);
}

void ReleaseItem() {
  InterlockedExchange(&g_console.guarding, 0);
  SetEvent(g_console.released);
}

void NoteProgressLine(size_t) {}

void NoteQuestionOpen(int) {}
