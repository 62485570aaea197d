// RunCli and the terminal runs on POSIX: fork and exec, output to files.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "tests/cli/cli_run.h"
#include "tests/cli/cli_terminal.h"

static const int kQuietLimitMs = 60000;

static int ExitStatus(int wstatus) {
  if (WIFEXITED(wstatus)) return WEXITSTATUS(wstatus);
  if (WIFSIGNALED(wstatus)) return 128 + WTERMSIG(wstatus);
  return -1;
}

static std::string ReadAll(FILE* file) {
  std::string text;
  char buffer[4096];
  std::rewind(file);
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

// Runs the program with args in a child process, after setUp has arranged the
// child's standard streams.
template <typename SetUp>
static pid_t Start(const std::vector<std::string>& args, SetUp setUp) {
  std::string program = ORVALINTEX_CLI;
  std::vector<std::string> copies(args);
  std::vector<char*> argv;
  argv.push_back(&program[0]);
  for (std::string& a : copies) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    setUp();
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Output goes to unlinked temporary files, which never fill up as a pipe can.
CliRun RunCli(const std::vector<std::string>& args) {
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  const pid_t pid = Start(args, [&] {
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
  });
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  CliRun run = {ExitStatus(wstatus), ReadAll(out), ReadAll(err)};
  std::fclose(out);
  std::fclose(err);
  return run;
}

bool StartOnTerminal(const std::vector<std::string>& args, TerminalRun* run) {
  run->screen.clear();
  run->terminal = posix_openpt(O_RDWR | O_NOCTTY);
  if (run->terminal < 0 || grantpt(run->terminal) != 0 || unlockpt(run->terminal) != 0) return false;
  std::string slave = ptsname(run->terminal);
  run->out = std::tmpfile();
  run->pid = Start(args, [&] {
    // A new session whose first terminal opened becomes its controlling one,
    // so Ctrl-C typed there reaches the program as SIGINT.
    setsid();
    int fd = open(slave.c_str(), O_RDWR);
    dup2(fd, 0);
    dup2(fd, 2);
    dup2(fileno(run->out), 1);
    close(run->terminal);
  });
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
  CliRun result = {ExitStatus(wstatus), ReadAll(run->out), run->screen};
  std::fclose(run->out);
  return result;
}
