#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console.h"

std::string ProgramTextToUtf8(const char* text) { return text; }

std::string PathToUtf8(const char* path) { return path; }

// The variables as POSIX orders them: the first one set and not empty counts.
Language UserLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    const bool ja = std::strncmp(value, "ja", 2) == 0 && std::strchr("_.@", value[2]);
    return ja ? kJapanese : kEnglish;
  }
  return kEnglish;
}

std::string SystemErrorText(int error) { return std::strerror(error); }

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

static int Descriptor(OutStream stream) {
  return stream == kStdout ? STDOUT_FILENO : STDERR_FILENO;
}

static int g_stdoutFailed = 0;

void WriteText(OutStream stream, const std::string& utf8) {
  if (!WriteAll(Descriptor(stream), utf8.data(), utf8.size()) && stream == kStdout)
    g_stdoutFailed = 1;
}

int StdoutFailed() { return g_stdoutFailed; }

int IsTerminal(OutStream stream) { return isatty(Descriptor(stream)); }

int InputIsTerminal() { return isatty(STDIN_FILENO); }

std::string ReadAnswerLine() {
  std::string line;
  char c;
  for (;;) {
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// What the signal handler may touch: flags, the folder and name of the
// partial file, and the stop line, all made ready before the guard is raised.
// The partial file's name is short whatever its folder's path, so a stop
// removes it through the folder, opened beforehand.
static volatile sig_atomic_t g_stopSignal = 0;
static volatile sig_atomic_t g_guarding = 0;
static volatile sig_atomic_t g_progressWidth = 0;
static volatile sig_atomic_t g_questionOpen = 0;
static int g_partialFolder = -1;
static char g_partialName[64];
static std::string* g_stoppedLine = new std::string();  // never freed: a handler may read it

// Written only when it can go at once: a full pipe or a stopped terminal must
// not keep the stop waiting.
static void WriteIfReady(int fd, const char* p, size_t n) {
  pollfd ready = {fd, POLLOUT, 0};
  if (poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT)) WriteAll(fd, p, n);
}

static void OnStopSignal(int signal) {
  // Only async-signal-safe calls in here.
  g_stopSignal = signal;
  if (g_guarding && g_partialName[0]) unlinkat(g_partialFolder, g_partialName, 0);
  // Also wipes the "^C" that a terminal echoes after the progress line.
  char blanks[256];
  const size_t width = static_cast<size_t>(g_progressWidth) + 2;
  if (width > 2 && width + 2 <= sizeof blanks) {
    std::memset(blanks, ' ', width + 2);
    blanks[0] = blanks[width + 1] = '\r';
    WriteIfReady(STDERR_FILENO, blanks, width + 2);
  } else if (g_questionOpen) {
    WriteIfReady(STDERR_FILENO, "\n", 1);
  }
  if (g_guarding) WriteIfReady(STDOUT_FILENO, g_stoppedLine->data(), g_stoppedLine->size());
  _exit(128 + signal);
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

// The mask keeps one stop's handler from running inside another's.
void InstallStopHandler() {
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

// The partial file's folder is opened here, outside the handler; a name too
// long for the buffer (never one of CreatePartialFile's) is not guarded.
void GuardItem(const std::string& stoppedLine, const char* partialPath) {
  HoldStops();
  const char* name = partialPath ? partialPath : "";
  for (const char* p = name; *p; ++p)
    if (*p == '/') name = p + 1;
  if (g_partialFolder >= 0) close(g_partialFolder);
  const std::string folder(partialPath ? partialPath : "", name);
  g_partialFolder = *name ? open(folder.empty() ? "." : folder.c_str(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                          : -1;
  const size_t length = g_partialFolder >= 0 ? std::strlen(name) : 0;
  std::memcpy(g_partialName, name, length < sizeof g_partialName ? length : 0);
  g_partialName[length < sizeof g_partialName ? length : 0] = '\0';
  *g_stoppedLine = stoppedLine;
  // All must be complete before the handler can see the guard.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_guarding = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  MaskStops(SIG_UNBLOCK);
}

void ReleaseItem() {
  g_guarding = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (g_partialFolder >= 0) close(g_partialFolder);
  g_partialFolder = -1;
  MaskStops(SIG_UNBLOCK);
}

void NoteProgressLine(size_t width) { g_progressWidth = static_cast<sig_atomic_t>(width); }

void NoteQuestionOpen(int open) { g_questionOpen = open; }
