// The terminal side of the command-line tool: text out in the encoding the
// reader expects, answers read from the terminal, and the stop signals. One
// Windows and one POSIX implementation.
#pragma once
#include <cstddef>
#include <string>

#include "common/messages.h"

enum OutStream { kStdout, kStderr };

// Output is assembled as UTF-8 (on POSIX, names that are not UTF-8 pass
// through as they are). Program text is this program's and the core's string
// literals (Shift-JIS in the Windows build); paths are in the ANSI code page
// on Windows, raw bytes on POSIX.
std::string ProgramTextToUtf8(const char* text);
std::string PathToUtf8(const char* path);

// The language the user reads messages in: Japanese where the locale (on
// Windows the user's interface language) is Japanese, else English.
Language UserLanguage();

// The system's words for an error number of the file layer (errno, or
// GetLastError() on Windows).
std::string SystemErrorText(int error);

// Writes UTF-8 text: as is on POSIX; on Windows as Unicode to a console, else
// in the console's code page.
void WriteText(OutStream stream, const std::string& utf8);

// 1 once a write to stdout has failed (a full disk, a closed pipe), after
// which the rest of the output is lost.
int StdoutFailed();

// 1 when the stream is a terminal (a console on Windows).
int IsTerminal(OutStream stream);
int InputIsTerminal();

// One line typed at the terminal, as UTF-8 without its line end; empty at end
// of input or on an error.
std::string ReadAnswerLine();

// From here on Ctrl-C (on POSIX also SIGTERM, SIGHUP, SIGQUIT, SIGPIPE,
// SIGALRM, SIGUSR1 and SIGUSR2) stops the program. On POSIX it ends at once,
// whatever it waits on (a full pipe, a slow terminal, an answer): the partial
// file is removed, the progress line or the open question closed, the item's
// stop line written and the status 128 + the signal's number returned. On
// Windows the stop is seen through StopStatus() once the work in hand returns.
// On POSIX SIGXFSZ is ignored, so a write past the file size limit fails as on
// a full disk.
void InstallStopHandler();

// 0 while no stop was requested, else the exit status that reports it
// (128 + the signal number; 130 for Ctrl-C on Windows).
int StopStatus();

// Names, while an item's work is under way, the line that reports its stop
// (written to stdout) and the partial file a stop removes (or null; a path too
// long to hold is left to the work). HoldStops() makes a stop wait (where the
// platform can) until the next GuardItem() or ReleaseItem(), so that no stop
// falls between making a partial file and guarding it, or between putting it
// in place and releasing it.
void HoldStops();
void GuardItem(const std::string& stoppedLine, const char* partialPath);
void ReleaseItem();

// What a stop must close on stderr: a progress line of width characters, or
// a question waiting for its answer (width 0: neither).
void NoteProgressLine(size_t width);
void NoteQuestionOpen(int open);
