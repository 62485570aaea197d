// The file list (list box IDC_FILE_LIST) and the routines that keep the
// buttons and the horizontal scroll range in step with it.
#pragma once
#include <windows.h>

// Appends each name of the command-line tail as an entry, empty names too;
// names longer than an entry can hold are skipped.
void AppendTail(HWND dialog, const char* tail);

// Appends path as the last entry; the caller makes sure it fits an entry.
void AppendEntry(HWND dialog, const char* path);

// Enables Remove and Repair... when an entry is selected, Remove all and Check
// when the list holds any; changes nothing while a check run is in progress.
void ApplyButtonRule(HWND dialog);

// Enables or disables the control id of the dialog.
void EnableControl(HWND dialog, int id, BOOL on);

// Sets the list's horizontal scroll extent to its widest entry plus 2 pixels
// (0 for an empty list). Returns 1 when the extent was set, 0 when it was left
// as it was because no font or device context could be had.
int UpdateExtent(HWND dialog, int listId);
