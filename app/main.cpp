#include <windows.h>
#include <commctrl.h>

#include "app/settings_file.h"
#include "app/command_tail.h"
#include "res/resource.h"
#include "ui/globals.h"
#include "ui/main_dialog.h"

// The tail is taken from GetCommandLineA rather than from lpCmdLine, which
// some runtimes deliver with the first Shift-JIS bytes of the tail damaged.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  char settingsPath[MAX_PATH];
  SettingsFilePath(settingsPath);
  LoadSettings(settingsPath);
  InitCommonControls();
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc,
                  reinterpret_cast<LPARAM>(CommandTail(GetCommandLineA())));
  StoreSettings(settingsPath);
  return 0;
}
