// What the core needs from whoever links it: a way to tell the user things and
// a way to keep the window alive during long work. The dialog program defines
// both over its main dialog; tests and the command-line tool define their own.
#pragma once

enum MessageKind {
  kWarningOk,      // warning icon, OK button
  kWarningYesNo,   // warning icon, Yes and No buttons
  kInformationOk,  // information icon, OK button
};

// Shows text (ANSI code page) with caption (nullptr: the platform's default
// caption) and waits until the user closes it. Returns 1 when the user
// answered Yes, else 0.
int ShowMessage(const char* text, const char* caption, MessageKind kind);

// Handles whatever the user did meanwhile, without waiting. Returns 1 to go on,
// 0 when a stop has been requested.
int PumpMessages();
