#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/file_io.h"
#include "platform/console.h"

// All the console keeps, made ready before the guard is raised for the signal
// handler: a stop removes the partial file by its short name through its
// folder, opened beforehand, whatever the folder's path.
static struct {
  int stdoutFailed = 0;
  volatile sig_atomic_t stopSignal = 0, guarding = 0, progressWidth = 0, questionOpen = 0;
  int partialFolder = -1;
  char partialName[64] = {};
  std::string* stoppedLine = new std::string();  // never freed: a handler may read it
} g_console;

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

// The file layer's write, which a signal handler may call too; texts are short.
static int WriteAll(int fd, const char* p, size_t n) {
  return WriteExact(fd, p, static_cast<uint32_t>(n));
}

static int Descriptor(OutStream stream) {
  return stream == kStdout ? STDOUT_FILENO : STDERR_FILENO;
}

void WriteText(OutStream stream, const std::string& utf8) {
  if (!WriteAll(Descriptor(stream), utf8.data(), utf8.size()) && stream == kStdout)
    g_console.stdoutFailed = 1;
}

int StdoutFailed() { return g_console.stdoutFailed; }

int IsTerminal(OutStream stream) { return isatty(Descriptor(stream)); }

int InputIsTerminal() { return isatty(STDIN_FILENO); }

std::string ReadAnswerLine() {
  std::string line;
  for (char c; ReadExact(STDIN_FILENO, &c, 1) && c != '\n';) line += c;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}


// Only what can go at once: a full pipe must not keep the stop waiting.
static void WriteIfReady(int fd, const char* p, size_t n) {
  pollfd ready = {fd, POLLOUT, 0};
  if (poll(&ready, 1, 0) == 1 && (ready.revents & POLLOUT)) WriteAll(fd, p, n);
}

static void OnStopSignal(int signal) {
  // Only async-signal-safe calls in here.
  g_console.stopSignal = signal;
  if (g_console.guarding && g_console.partialName[0])
    unlinkat(g_console.partialFolder, g_console.partialName, 0);
  // Also wipes the "^C" that a terminal echoes after the progress line.
  char blanks[256];
  const size_t width = static_cast<size_t>(g_console.progressWidth) + 2;
  if (width > 2 && width + 2 <= sizeof blanks) {
    std::memset(blanks, ' ', width + 2);
    blanks[0] = blanks[width + 1] = '\r';
    WriteIfReady(STDERR_FILENO, blanks, width + 2);
  } else if (g_console.questionOpen) {
    WriteIfReady(STDERR_FILENO, "\n", 1);
  }
  const std::string* stopped = g_console.stoppedLine;
  if (g_console.guarding) WriteIfReady(STDOUT_FILENO, stopped->data(), stopped->size());
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

int StopStatus() { return g_console.stopSignal ? 128 + g_console.stopSignal : 0; }

// A name too long for the buffer (none of CreatePartialFile's) is not guarded.
void GuardItem(const std::string& stoppedLine, const char* partialPath) {
  HoldStops();
  const char* name = partialPath ? partialPath : "";
  for (const char* p = name; *p; ++p)
    if (*p == '/') name = p + 1;
  if (g_console.partialFolder >= 0) close(g_console.partialFolder);
  const std::string folder(partialPath ? partialPath : "", name);
  g_console.partialFolder = *name ? open(folder.empty() ? "." : folder.c_str(),
                                 O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                          : -1;
  const size_t length = g_console.partialFolder >= 0 ? std::strlen(name) : 0;
  std::memcpy(g_console.partialName, name, length < sizeof g_console.partialName ? length : 0);
  g_console.partialName[length < sizeof g_console.partialName ? length : 0] = '\0';
  *g_console.stoppedLine = stoppedLine;
  // All must be complete before the handler can see the guard.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  g_console.guarding = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  MaskStops(SIG_UNBLOCK);
}

void ReleaseItem() {
  g_console.guarding = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  if (g_console.partialFolder >= 0) close(g_console.partialFolder);
  g_console.partialFolder = -1;
  MaskStops(SIG_UNBLOCK);
}

void NoteProgressLine(size_t width) { g_console.progressWidth = static_cast<sig_atomic_t>(width); }

void NoteQuestionOpen(int open) { g_console.questionOpen = open; }
