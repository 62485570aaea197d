#include "tests/e2e/driver/text_out.h"

#include <windows.h>

#include "tests/support/utf8_win32.h"

std::string Utf8(const std::string& ansi) { return ToUtf8(CP_ACP, ansi); }

// Raw bytes through WriteFile: the C runtime's text mode would add carriage
// returns, and the bytes must reach the script unchanged.
static void WriteAll(DWORD which, const std::string& bytes) {
  HANDLE out = GetStdHandle(which);
  DWORD written = 0;
  WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void PrintField(const std::string& key, const std::string& ansiValue) {
  std::string line = key + "=";
  for (char c : Utf8(ansiValue)) {
    if (c == '\n') line += "\\n";
    else if (c == '\r') line += "\\r";
    else line += c;
  }
  WriteAll(STD_OUTPUT_HANDLE, line + "\n");
}

void PrintFailure(const std::string& ansiMessage) {
  WriteAll(STD_ERROR_HANDLE, "e2e-driver: " + Utf8(ansiMessage) + "\n");
}
