#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "cli/console.h"

std::string ProgramTextToUtf8(const char* text) { return text; }

std::string PathToUtf8(const char* path) { return path; }

// Returns 0 when not all of it could be written.
static int WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t put = write(fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    p += put;
    n -= static_cast<size_t>(put);
  }
  return 1;
}

static int Descriptor(OutStream stream) { return stream == kStdout ? STDOUT_FILENO : STDERR_FILENO; }

static int g_stdoutFailed = 0;

void WriteText(OutStream stream, const std::string& utf8) {
  if (!WriteAll(Descriptor(stream), utf8.data(), utf8.size()) && stream == kStdout)
    g_stdoutFailed = 1;
}

int StdoutFailed() { return g_stdoutFailed; }

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

// Every signal whose default ends the process and that can be caught; SIGPIPE
// too, so a reader that goes away still leaves no partial file.
static const int kStopSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                                   SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2};

static sigset_t StopSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) sigaddset(&set, signal);
  return set;
}

// No SA_RESTART: a stop must end a read from the terminal. The mask keeps one
// stop's handler from running inside another's.
void InstallStopHandler() {
  g_stderrIsTerminal = isatty(STDERR_FILENO);
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  action.sa_mask = StopSignalSet();
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
  signal(SIGXFSZ, SIG_IGN);
}

static void MaskStops(int how) {
  const sigset_t set = StopSignalSet();
  sigprocmask(how, &set, nullptr);
}

void HoldStops() { MaskStops(SIG_BLOCK); }

int StopStatus() { return g_stopSignal ? 128 + g_stopSignal : 0; }

void GuardPartialFile(const char* path, const std::string& stoppedLine) {
  size_t length = std::strlen(path);
  if (length < sizeof g_partialPath && stoppedLine.size() <= sizeof g_stoppedLine) {
    std::memcpy(g_partialPath, path, length + 1);
    std::memcpy(g_stoppedLine, stoppedLine.data(), stoppedLine.size());
    g_stoppedLineSize = stoppedLine.size();
    // The buffers must be complete before the handler can see the guard.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    g_guarding = 1;
    std::atomic_signal_fence(std::memory_order_seq_cst);
  }
  MaskStops(SIG_UNBLOCK);
  if (g_guarding && g_stopSignal) OnStopSignal(g_stopSignal);
}

void ReleasePartialFile() {
  g_guarding = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  MaskStops(SIG_UNBLOCK);
}
