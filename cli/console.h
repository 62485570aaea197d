// The terminal side of the command-line tool: text out in the encoding the
// reader expects, answers read from the terminal, and Ctrl-C as the stop
// request. One Windows and one POSIX implementation.
#pragma once
#include <string>

enum OutStream { kStdout, kStderr };

// Output is assembled as UTF-8 (on POSIX, names that are not UTF-8 pass
// through as they are). Program text is this program's and the core's string
// literals (Shift-JIS in the Windows build); paths are in the ANSI code page
// on Windows, raw bytes on POSIX.
std::string ProgramTextToUtf8(const char* text);
std::string PathToUtf8(const char* path);

// Writes UTF-8 text: as is on POSIX; on Windows as Unicode to a console, else
// in the console's code page.
void WriteText(OutStream stream, const std::string& utf8);

// 1 once a write to stdout has failed (a full disk, a closed pipe), after
// which the rest of the output is lost.
int StdoutFailed();

// 1 when the stream is a terminal (a console on Windows).
int IsTerminal(OutStream stream);
int InputIsTerminal();

// One line typed at the terminal, without its line end; empty at end of input,
// on an error or when a stop came meanwhile.
std::string ReadAnswerLine();

// From here on Ctrl-C (on POSIX also SIGTERM, SIGHUP, SIGQUIT, SIGPIPE,
// SIGALRM, SIGUSR1 and SIGUSR2) only requests a stop. On POSIX SIGXFSZ is
// ignored, so a write past the file size limit fails as on a full disk.
void InstallStopHandler();

// 0 while no stop was requested, else the exit status that reports it
// (128 + the signal number; 130 for Ctrl-C on Windows).
int StopStatus();

// Names a partial output file, and the line that reports the stop, while work
// on that file is under way. Where the platform can, a stop (also one
// requested before this call) then removes the file, writes the line to stdout
// and ends the process at once; elsewhere, and for paths too long to hold, the
// stop is seen through StopStatus() once the work returns.
// HoldStops() makes a stop wait (where the platform can) until the next
// GuardPartialFile() or ReleasePartialFile(), so that no stop falls between
// making the partial file and guarding it, or between putting it in place and
// releasing it.
void HoldStops();
void GuardPartialFile(const char* path, const std::string& stoppedLine);
void ReleasePartialFile();
