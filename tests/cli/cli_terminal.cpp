#include "tests/cli/cli_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

static const int kQuietLimitMs = 60000;

bool StartOnTerminal(const std::vector<std::string>& args, TerminalRun* run) {
  run->screen.clear();
  run->terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (run->terminal < 0 || grantpt(run->terminal) != 0 || unlockpt(run->terminal) != 0) return false;
  std::string slave = ptsname(run->terminal);
  run->out = std::tmpfile();
  std::vector<std::string> copies(args);
  std::vector<char*> argv;
  std::string program = ORVALINTEX_CLI;
  argv.push_back(&program[0]);
  for (std::string& a : copies) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  run->pid = fork();
  if (run->pid == 0) {
    // A new session whose first terminal opened becomes its controlling one,
    // so Ctrl-C typed there reaches the program as SIGINT.
    setsid();
    int fd = open(slave.c_str(), O_RDWR);
    dup2(fd, 0);
    dup2(fd, 2);
    dup2(fileno(run->out), 1);
    close(run->terminal);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return run->pid > 0;
}

// Returns false at the end of the program's output or after the quiet limit.
static bool ReadSome(TerminalRun* run) {
  pollfd p = {run->terminal, POLLIN, 0};
  if (poll(&p, 1, kQuietLimitMs) <= 0) return false;
  char buffer[1024];
  ssize_t got = read(run->terminal, buffer, sizeof buffer);
  if (got <= 0) return false;
  run->screen.append(buffer, static_cast<size_t>(got));
  return true;
}

bool WaitForScreen(TerminalRun* run, const std::string& text) {
  while (run->screen.find(text) == std::string::npos)
    if (!ReadSome(run)) return false;
  return true;
}

void Type(TerminalRun* run, const std::string& keys) {
  if (write(run->terminal, keys.data(), keys.size()) < 0) return;
}

CliRun FinishTerminal(TerminalRun* run) {
  while (ReadSome(run)) {
  }
  int wstatus = 0;
  waitpid(run->pid, &wstatus, 0);
  close(run->terminal);
  CliRun result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.err = run->screen;
  std::string out;
  char buffer[4096];
  std::rewind(run->out);
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, run->out)) > 0) out.append(buffer, got);
  std::fclose(run->out);
  result.out = out;
  return result;
}
