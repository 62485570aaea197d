// What the main dialog procedure hands each message to, grouped by the file
// that defines it. Every handler returns the dialog procedure's result.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "common/outcome.h"

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

// pump.cpp: handles what the user did meanwhile, without waiting; returns 1
// to go on, 0 when a stop has been requested. LookAtQueueNext() makes its next
// call look at the queue, however recently the last one did.
int PumpMessages();
void LookAtQueueNext();

// host_dialog.cpp: shows the message of an outcome (common/messages.h) in a
// box owned by the main dialog with the given buttons; returns the box's answer.
int ShowOutcome(const Outcome& outcome, UINT buttons);
