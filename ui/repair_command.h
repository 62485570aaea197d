// The Repair... button: repairs the selected file from a second copy.
#pragma once
#include <windows.h>

// The output path for a damaged file: ".fixed" put before the extension of
// its last component (appended when it has none), so clip.avi gives
// clip.fixed.avi beside it. Goes through the ANSI code page, so a Shift-JIS
// trail byte of 0x5C is never taken for a backslash. output holds MAX_PATH
// characters; damaged must be at most MAX_PATH - 7 characters long.
void FormOutputPath(const char* damaged, char output[MAX_PATH]);

// Asks for the repair source, merges, and reports the outcome. Leaves the file
// list, its selection and the buttons as they were.
void RepairCommand(HWND dialog);
