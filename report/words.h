// The command line's words for what happened, besides a report's lines: the
// result words, the reasons of its own, the progress line and the question.
#pragma once
#include <cstdint>
#include <string>

#include "common/host.h"
#include "common/outcome.h"

// check's word for how a file's check ended.
const char* CheckWord(OutcomeKind kind);

// repair's word for a merge that ended so: changesNothing when it would change
// nothing (clean), lacking when ranges no copy holds are left that are no
// padding (partial), dryRun for the words of a dry run.
const char* RepairWord(OutcomeKind kind, int changesNothing, int lacking, int dryRun);

// A path as the reports show it: quoted where it holds what a terminal would take.
std::string Quoted(const char* path);

// A check's reason for an AVI file whose header claims missing bytes more.
std::string TruncationReason(uint64_t missing);

// "checking:  45% (460 of 1024 MiB, 812 MiB/s, 0:00:01 left)"; the rate and
// the time left once a whole MiB is done.
std::string ProgressText(Work work, uint64_t done, uint64_t total, double seconds);

// The continue question for the file at path, as the dialog asks it, on one
// line with the answers it takes.
std::string QuestionText(const char* path, uint64_t offset);

// Why the question was answered without asking: --yes, --no, or no terminal.
enum Unasked { kUnaskedYes, kUnaskedNo, kUnaskedNoTerminal };
const char* UnaskedAnswer(Unasked why);

// 1 for the answers that go on.
int IsYes(const std::string& answer);
