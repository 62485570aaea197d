#include "app/settings_file.h"

#include <shlwapi.h>

#include "app/settings.h"

static const char kSection[] = "Settings";

void SettingsFilePath(char path[MAX_PATH]) {
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  GetLongPathNameA(path, path, MAX_PATH);
  PathRenameExtensionA(path, ".ini");
}

// The platform returns the signed value that was written, as an unsigned one.
static int32_t ReadKey(const char* key, int32_t current, const char* path) {
  return static_cast<int32_t>(GetPrivateProfileIntA(kSection, key, current, path));
}

static void WriteKey(const char* key, int32_t value, const char* path) {
  char text[16];
  wsprintfA(text, "%d", value);
  WritePrivateProfileStringA(kSection, key, text, path);
}

void LoadSettings(const char* path) {
  g_settings.WindowLeft = ReadKey("WindowLeft", g_settings.WindowLeft, path);
  g_settings.WindowTop = ReadKey("WindowTop", g_settings.WindowTop, path);
  g_settings.ErrorLength = ReadKey("ErrorLength", g_settings.ErrorLength, path);
  g_settings.SkipJunk = ReadKey("SkipJunk", g_settings.SkipJunk, path);
  ApplyLoadRules(&g_settings);
}

void StoreSettings(const char* path) {
  WriteKey("WindowLeft", g_settings.WindowLeft, path);
  WriteKey("WindowTop", g_settings.WindowTop, path);
  WriteKey("ErrorLength", g_settings.ErrorLength, path);
  WriteKey("SkipJunk", g_settings.SkipJunk, path);
}
