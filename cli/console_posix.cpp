#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "cli/console.h"

std::string ProgramTextToUtf8(const char* text) { return text; }

std::string PathToUtf8(const char* path) { return path; }

static void WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t put = write(fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    p += put;
    n -= static_cast<size_t>(put);
  }
}

static int Descriptor(OutStream stream) { return stream == kStdout ? STDOUT_FILENO : STDERR_FILENO; }

void WriteText(OutStream stream, const std::string& utf8) {
  WriteAll(Descriptor(stream), utf8.data(), utf8.size());
}

int IsTerminal(OutStream stream) { return isatty(Descriptor(stream)); }

int InputIsTerminal() { return isatty(STDIN_FILENO); }

// What the signal handler may touch: flags, and a partial file's name and stop
// line copied into fixed buffers before the guard is raised.
static volatile sig_atomic_t g_stopSignal = 0;
static volatile sig_atomic_t g_guarding = 0;
static char g_partialPath[4096];
static char g_stoppedLine[8192];
static size_t g_stoppedLineSize = 0;
static int g_stderrIsTerminal = 0;

static void OnStopSignal(int signal) {
  g_stopSignal = signal;
  if (!g_guarding) return;
  // Only async-signal-safe calls from here on.
  unlink(g_partialPath);
  if (g_stderrIsTerminal) WriteAll(STDERR_FILENO, "\n", 1);
  WriteAll(STDOUT_FILENO, g_stoppedLine, g_stoppedLineSize);
  _exit(128 + signal);
}

std::string ReadAnswerLine() {
  std::string line;
  char c;
  for (;;) {
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR && !g_stopSignal) continue;
    if (got <= 0 || g_stopSignal) return std::string();
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// No SA_RESTART: a stop must end a read from the terminal.
void InstallStopHandler() {
  g_stderrIsTerminal = isatty(STDERR_FILENO);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
}

int StopStatus() { return g_stopSignal ? 128 + g_stopSignal : 0; }

void GuardPartialFile(const char* path, const std::string& stoppedLine) {
  size_t length = std::strlen(path);
  if (length >= sizeof g_partialPath || stoppedLine.size() > sizeof g_stoppedLine) return;
  std::memcpy(g_partialPath, path, length + 1);
  std::memcpy(g_stoppedLine, stoppedLine.data(), stoppedLine.size());
  g_stoppedLineSize = stoppedLine.size();
  // The buffers must be complete before the handler can see the guard.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_guarding = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (g_stopSignal) OnStopSignal(g_stopSignal);
}

void ReleasePartialFile() {
  g_guarding = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}
