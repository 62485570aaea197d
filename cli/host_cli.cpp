#include "cli/host_cli.h"

#include <chrono>
#include <cstdio>

#include "cli/console.h"

typedef std::chrono::steady_clock Clock;

// The scanner reads 64 KiB blocks and pumps once after each of them.
static const uint64_t kBlockSize = 65536;
// A file whose check takes longer than this gets a progress line.
static const Clock::duration kProgressDelay = std::chrono::milliseconds(500);
static const Clock::duration kProgressInterval = std::chrono::milliseconds(200);

static AnswerRule g_answerRule = kAskOnTerminal;
static std::vector<ShownMessage> g_itemMessages;

static struct {
  uint64_t size;
  uint64_t done;
  Clock::time_point start;
  Clock::time_point drawn;
  size_t width;  // of the line on screen, 0 when none is shown
} g_progress;

void SetAnswerRule(AnswerRule rule) { g_answerRule = rule; }

const std::vector<ShownMessage>& ItemMessages() { return g_itemMessages; }

// Also wipes the "^C" that a terminal echoes after the line when Ctrl-C ends a check.
static void ClearProgress() {
  if (g_progress.width == 0) return;
  WriteText(kStderr, "\r" + std::string(g_progress.width + 2, ' ') + "\r");
  g_progress.width = 0;
}

void BeginItem(uint64_t size) {
  g_itemMessages.clear();
  g_progress.size = IsTerminal(kStderr) ? size : 0;
  g_progress.done = 0;
  g_progress.start = Clock::now();
  g_progress.width = 0;
}

void EndItem() { ClearProgress(); }

static void DrawProgress() {
  const Clock::time_point now = Clock::now();
  if (now - g_progress.start < kProgressDelay) return;
  if (g_progress.width > 0 && now - g_progress.drawn < kProgressInterval) return;
  const uint64_t mib = 1024 * 1024;
  char line[80];
  int n = std::snprintf(line, sizeof line, "\rchecking: %3u%% (%llu of %llu MiB)",
                        static_cast<unsigned>(g_progress.done * 100 / g_progress.size),
                        static_cast<unsigned long long>(g_progress.done / mib),
                        static_cast<unsigned long long>((g_progress.size + mib - 1) / mib));
  std::string text(line, n > 0 ? static_cast<size_t>(n) : 0);
  // Pads over a longer line drawn before.
  if (text.size() - 1 < g_progress.width) text.append(g_progress.width - (text.size() - 1), ' ');
  WriteText(kStderr, text);
  g_progress.width = text.size() - 1;
  g_progress.drawn = now;
}

int PumpMessages() {
  if (g_progress.size > 0) {
    g_progress.done += kBlockSize;
    if (g_progress.done > g_progress.size) g_progress.done = g_progress.size;
    DrawProgress();
  }
  return StopStatus() == 0;
}

static int AnswerQuestion(const std::string& question) {
  std::string prompt = question + " [y/N] ";
  if (g_answerRule != kAskOnTerminal || !InputIsTerminal()) {
    const char* reason = g_answerRule == kAlwaysYes  ? "yes (--yes)\n"
                         : g_answerRule == kAlwaysNo ? "no (--no)\n"
                                                     : "no (no terminal to ask; --yes goes on)\n";
    WriteText(kStderr, prompt + reason);
    return g_answerRule == kAlwaysYes;
  }
  WriteText(kStderr, prompt);
  std::string answer = ReadAnswerLine();
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

int ShowMessage(const char* text, const char* caption, MessageKind kind) {
  ClearProgress();
  int answer = kind == kWarningYesNo && AnswerQuestion(ProgramTextToUtf8(text));
  g_itemMessages.push_back({text, caption ? caption : "", kind, answer});
  return answer;
}
