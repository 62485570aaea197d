// The dialog program's process-wide values, all in one place. The Settings
// record, shared with the core, lives in app/settings.h.
#pragma once
#include <windows.h>

extern HINSTANCE g_instance;  // the module the template and the icon come from
extern HWND g_mainDialog;     // owner of every message box; the pump's window filter

// Run flags, 0 or 1, touched only on the dialog's thread.
extern int g_checking;     // a check run is in progress
extern int g_stopRequest;  // Stop or Exit was pressed during the run
extern int g_exitRequest;  // Exit was pressed during the run: the dialog is ending
