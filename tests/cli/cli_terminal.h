// orvalintex-cli run with stdin and stderr on a pseudo-terminal that is its
// controlling terminal, stdout to a file: what a person at a terminal sees and
// types, Ctrl-C included. POSIX only.
#pragma once
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/cli/cli_run.h"

struct TerminalRun {
  pid_t pid;
  int terminal;        // the controlling side of the pseudo-terminal
  FILE* out;           // the program's stdout
  std::string screen;  // what the program wrote to the terminal so far, echoes included
};

bool StartOnTerminal(const std::vector<std::string>& args, TerminalRun* run);

// Reads from the terminal until text has appeared on it. False when the
// program ends first, or writes nothing for a whole minute.
bool WaitForScreen(TerminalRun* run, const std::string& text);

// Keys typed at the terminal; "\x03" is Ctrl-C.
void Type(TerminalRun* run, const std::string& keys);

// Waits for the program to end; err holds the terminal's text.
CliRun FinishTerminal(TerminalRun* run);
