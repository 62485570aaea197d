#include "cli/host_cli.h"

#include <chrono>

#include "platform/console.h"
#include "report/words.h"

typedef std::chrono::steady_clock Clock;

// Work that takes longer than this gets a progress line.
static const Clock::duration kProgressDelay = std::chrono::milliseconds(500);
static const Clock::duration kProgressInterval = std::chrono::milliseconds(200);

// All the command line keeps: how to answer, and the file worked on's progress.
static struct {
  AnswerRule answerRule;
  Clock::time_point start;
  Clock::time_point drawn;
  size_t width;      // of the line on screen, 0 when none is shown
  const char* path;  // the file worked on
} g_cli;

void SetAnswerRule(AnswerRule rule) { g_cli.answerRule = rule; }

// Also wipes the "^C" that a terminal echoes after the line.
static void ClearProgress() {
  if (g_cli.width == 0) return;
  WriteText(kStderr, "\r" + std::string(g_cli.width + 2, ' ') + "\r");
  g_cli.width = 0;
  NoteProgressLine(0);
}

void BeginItem(const char* path) {
  g_cli.start = Clock::now();
  g_cli.width = 0;
  g_cli.path = path;
}

void EndItem() { ClearProgress(); }

// Whether stderr is a terminal is asked once, not once a block.
static int ShowsProgress() {
  static const int terminal = IsTerminal(kStderr);
  return terminal;
}

int KeepGoing(Work work, uint64_t done, uint64_t total) {
  if (!ShowsProgress()) return StopStatus() == 0;
  const Clock::time_point now = Clock::now();
  if (now - g_cli.start < kProgressDelay) return StopStatus() == 0;
  if (g_cli.width > 0 && now - g_cli.drawn < kProgressInterval) return StopStatus() == 0;
  const double seconds = std::chrono::duration<double>(now - g_cli.start).count();
  std::string text = ProgressText(work, done, total, seconds);
  const size_t width = text.size();
  // Pads over a longer line drawn before.
  if (width < g_cli.width) text.append(g_cli.width - width, ' ');
  // Noted first: a stop from now on clears the line.
  g_cli.width = text.size();
  NoteProgressLine(g_cli.width);
  WriteText(kStderr, "\r" + text);
  g_cli.drawn = now;
  return StopStatus() == 0;
}

void TellOutcome(const Outcome&) { ClearProgress(); }

// The question is asked on a terminal, else answered by the rule.
int AskToGoOn(uint64_t offset) {
  ClearProgress();
  const std::string prompt = QuestionText(g_cli.path, offset);
  if (g_cli.answerRule != kAskOnTerminal || !InputIsTerminal()) {
    const Unasked why = g_cli.answerRule == kAlwaysYes  ? kUnaskedYes
                        : g_cli.answerRule == kAlwaysNo ? kUnaskedNo
                                                        : kUnaskedNoTerminal;
    WriteText(kStderr, prompt + UnaskedAnswer(why));
    return g_cli.answerRule == kAlwaysYes;
  }
  NoteQuestionOpen(1);
  WriteText(kStderr, prompt);
  const int yes = IsYes(ReadAnswerLine());
  NoteQuestionOpen(0);
  // A fresh line for the progress, which the typed answer ended.
  g_cli.start = Clock::now();
  return yes;
}
