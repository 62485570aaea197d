// The settings file: an ini file beside the executable.
#pragma once
#include <windows.h>

// The executable's own path in long form with its extension replaced by
// ".ini", into a buffer of MAX_PATH characters.
void SettingsFilePath(char path[MAX_PATH]);

// Reads the four keys of section "Settings" over the current values of
// g_settings, then applies the load rules. A missing file or key leaves the
// value as it was.
void LoadSettings(const char* path);

// Writes the four keys of g_settings into section "Settings". Failures (a
// read-only folder, say) lose this run's changes without a word.
void StoreSettings(const char* path);
