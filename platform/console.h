// The console of the command-line tool: text out in the reader's encoding,
// answers, and the stops. One Windows and one POSIX implementation.
#pragma once
#include <cstddef>
#include <string>

#include "common/messages.h"

enum OutStream { kStdout, kStderr };

// Output is UTF-8 (on POSIX names that are not pass as they are). Program text
// is the program's literals, Shift-JIS in the Windows build; paths are in the
// ANSI code page on Windows, raw bytes on POSIX.
std::string ProgramTextToUtf8(const char* text);
std::string PathToUtf8(const char* path);

// The language the user reads messages in: Japanese where the locale (on
// Windows the user's interface language) is Japanese, else English.
Language UserLanguage();

// The system's words for an error number (errno, or GetLastError()).
std::string SystemErrorText(int error);

// Writes UTF-8 text: on Windows as Unicode to a console, else in its code page.
void WriteText(OutStream stream, const std::string& utf8);

// 1 once a write to stdout has failed (a full disk, a closed pipe).
int StdoutFailed();

// 1 when the stream is a terminal (a console on Windows).
int IsTerminal(OutStream stream);
int InputIsTerminal();

// One line typed at the terminal, as UTF-8 without its line end, or empty.
std::string ReadAnswerLine();

// From here on Ctrl-C (on POSIX every ending signal that can be caught; on
// Windows also closing the console, logoff and shutdown) stops the program. On
// POSIX it ends at once, whatever it waits on: the partial file is removed, the
// progress line or the question closed, the item's stop line written and the
// status 128 + the signal returned. On Windows the work in hand sees it through
// StopStatus(). A write past the file size limit fails as on a full disk.
void InstallStopHandler();

// 0, or once a stop is requested the exit status that reports it (130 for Ctrl-C).
int StopStatus();

// While an item's work is under way: the line that reports its stop (on
// stdout) and the partial file a stop removes (or null). HoldStops() makes a
// stop wait (where it can) for the next GuardItem() or ReleaseItem().
void HoldStops();
void GuardItem(const std::string& stoppedLine, const char* partialPath);
void ReleaseItem();

// What a stop must close on stderr: a progress line of width characters, or
// a question waiting for its answer (width 0: neither).
void NoteProgressLine(size_t width);
void NoteQuestionOpen(int open);
