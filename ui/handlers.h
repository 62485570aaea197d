// What the main dialog procedure hands each message to, grouped by the file
// that defines it. Every handler returns the dialog procedure's result.
#pragma once
#include <windows.h>
#include <shellapi.h>

// init_dialog.cpp
INT_PTR OnInitDialog(HWND dialog, const char* tail);

// drop_files.cpp
INT_PTR OnDropFiles(HWND dialog, HDROP drop);

// file_list.cpp
INT_PTR OnFileListNotify(HWND dialog, UINT code);

// remove.cpp
INT_PTR OnRemove(HWND dialog);
INT_PTR OnRemoveAll(HWND dialog);

// threshold.cpp
INT_PTR OnThresholdNotify(HWND dialog, UINT code);

// skip_junk.cpp
INT_PTR OnSkipJunk(HWND dialog);

// exit.cpp
INT_PTR OnExit(HWND dialog);

// check_run.cpp
INT_PTR OnCheck(HWND dialog);

// run_cursor.cpp
INT_PTR OnSetCursor(HWND dialog);

// pump.cpp: the next call of the message pump looks at the queue, however
// recently the last one did.
void LookAtQueueNext();
