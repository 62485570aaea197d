#include "cli/host_cli.h"

#include <chrono>
#include <cstdio>

#include "platform/console.h"
#include "report/report.h"
#include "common/messages.h"

typedef std::chrono::steady_clock Clock;

// Work that takes longer than this gets a progress line.
static const Clock::duration kProgressDelay = std::chrono::milliseconds(500);
static const Clock::duration kProgressInterval = std::chrono::milliseconds(200);

static AnswerRule g_answerRule = kAskOnTerminal;

static struct {
  Clock::time_point start;
  Clock::time_point drawn;
  size_t width;      // of the line on screen, 0 when none is shown
  const char* path;  // the file worked on
} g_progress;

void SetAnswerRule(AnswerRule rule) { g_answerRule = rule; }

// Also wipes the "^C" that a terminal echoes after the line.
static void ClearProgress() {
  if (g_progress.width == 0) return;
  WriteText(kStderr, "\r" + std::string(g_progress.width + 2, ' ') + "\r");
  g_progress.width = 0;
  NoteProgressLine(0);
}

void BeginItem(const char* path) {
  g_progress.start = Clock::now();
  g_progress.width = 0;
  g_progress.path = path;
}

void EndItem() { ClearProgress(); }

// "checking:  45% (460 of 1024 MiB, 812 MiB/s, 0:00:01 left)"; the rate and the
// time left once a whole MiB is done.
static std::string ProgressLine(Work work, uint64_t done, uint64_t total, double seconds) {
  const uint64_t mib = 1024 * 1024;
  char line[128];
  int n = std::snprintf(line, sizeof line, "%s: %3u%% (%llu of %llu MiB",
                        work == kChecking ? "checking" : "repairing",
                        static_cast<unsigned>(done * 100 / total),
                        static_cast<unsigned long long>(done / mib),
                        static_cast<unsigned long long>((total + mib - 1) / mib));
  if (done >= mib && seconds > 0) {
    const double rate = static_cast<double>(done) / seconds;
    const unsigned left = static_cast<unsigned>(static_cast<double>(total - done) / rate + 0.5);
    n += std::snprintf(line + n, sizeof line - n, ", %.0f MiB/s, %u:%02u:%02u left",
                       rate / mib, left / 3600, left / 60 % 60, left % 60);
  }
  return std::string(line) + ")";
}

// Whether stderr is a terminal is asked once, not once a block.
static int ShowsProgress() {
  static const int terminal = IsTerminal(kStderr);
  return terminal;
}

int KeepGoing(Work work, uint64_t done, uint64_t total) {
  if (!ShowsProgress()) return StopStatus() == 0;
  const Clock::time_point now = Clock::now();
  if (now - g_progress.start < kProgressDelay) return StopStatus() == 0;
  if (g_progress.width > 0 && now - g_progress.drawn < kProgressInterval) return StopStatus() == 0;
  const double seconds = std::chrono::duration<double>(now - g_progress.start).count();
  std::string text = ProgressLine(work, done, total, seconds);
  const size_t width = text.size();
  // Pads over a longer line drawn before.
  if (width < g_progress.width) text.append(g_progress.width - width, ' ');
  // Noted first: a stop from now on clears the line.
  g_progress.width = text.size();
  NoteProgressLine(g_progress.width);
  WriteText(kStderr, "\r" + text);
  g_progress.drawn = now;
  return StopStatus() == 0;
}

void TellOutcome(const Outcome&) { ClearProgress(); }

static int IsYes(const std::string& answer) {
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" ||
         answer == "YES" || answer == u8"はい";
}

// The question as the dialog asks it, after the file's name, on one line with
// the answers it takes.
int AskToGoOn(uint64_t offset) {
  ClearProgress();
  const std::string prompt =
      QuotedName(PathToUtf8(g_progress.path)) + ": " +
      ProgramTextToUtf8(OutcomeMessage(MakeOutcome(kDeclined, offset), UserLanguage()).c_str()) +
      u8" [y/yes/はい, N/no/いいえ] ";
  if (g_answerRule != kAskOnTerminal || !InputIsTerminal()) {
    const char* reason = g_answerRule == kAlwaysYes  ? "yes (--yes)\n"
                         : g_answerRule == kAlwaysNo ? "no (--no)\n"
                                                     : "no (no terminal to ask; --yes goes on)\n";
    WriteText(kStderr, prompt + reason);
    return g_answerRule == kAlwaysYes;
  }
  NoteQuestionOpen(1);
  WriteText(kStderr, prompt);
  const int yes = IsYes(ReadAnswerLine());
  NoteQuestionOpen(0);
  // A fresh line for the progress, which the typed answer ended.
  g_progress.start = Clock::now();
  return yes;
}
