// The main dialog: the program's only window.
#pragma once
#include <windows.h>

// Dialog procedure for template IDD_MAIN; the creation parameter is the
// command-line tail (const char*, may be empty or null).
INT_PTR CALLBACK MainDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
