#include "report/words.h"

#include <cstdio>

#include "common/messages.h"
#include "platform/console.h"
#include "report/report.h"

const char* CheckWord(OutcomeKind kind) {
  switch (kind) {
    case kClean:
      return "clean";
    case kDamaged:
      return "damaged";
    case kStopped:
      return "stopped";
    default:
      return "error";
  }
}

// Stretches no copy holds leave a repair partial; a conflict without a
// majority leaves it unwritten.
const char* RepairWord(OutcomeKind kind, int changesNothing, int lacking, int dryRun) {
  switch (kind) {
    case kMerged:
      return changesNothing ? "clean" : lacking ? "partial" : dryRun ? "repairable" : "repaired";
    case kMismatch:
      return "unrepairable";
    case kDeclined:
      return "declined";
    case kStopped:
      return "stopped";
    default:
      return "failed";
  }
}

std::string Quoted(const char* path) { return QuotedName(PathToUtf8(path)); }

std::string TruncationReason(uint64_t missing) {
  return "truncated: the header claims " + std::to_string(missing) + " bytes more";
}

std::string ProgressText(Work work, uint64_t done, uint64_t total, double seconds) {
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

std::string QuestionText(const char* path, uint64_t offset) {
  const std::string question = OutcomeMessage(MakeOutcome(kDeclined, offset), UserLanguage());
  return Quoted(path) + ": " + ProgramTextToUtf8(question.c_str()) +
         u8" [y/yes/はい, N/no/いいえ] ";
}

const char* UnaskedAnswer(Unasked why) {
  static const char* const kAnswers[] = {"yes (--yes)\n", "no (--no)\n",
                                         "no (no terminal to ask; --yes goes on)\n"};
  return kAnswers[why];
}

int IsYes(const std::string& answer) {
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" ||
         answer == "YES" || answer == u8"はい";
}
