// What an operation of the core came to, as a value: the dialog program shows
// the message that belongs to it (common/messages.h), the command-line program
// prints it and builds its JSON from the fields.
#pragma once
#include <cstdint>
#include <vector>

#include "common/file_io.h"

enum OutcomeKind {
  kClean,               // a check read the whole file and found no damage
  kDamaged,             // a check found a zero run, at offset
  kMerged,              // a merge went through the whole file
  kStopped,             // a stop request ended the work early
  kDeclined,            // the continue question, at offset, was answered No
  kCannotOpen,          // a check: the file cannot be opened
  kCannotOpenDamaged,   // a merge: the damaged copy cannot be opened
  kCannotOpenSource,    // a merge: a source cannot be opened
  kSizeMismatch,        // a merge: a copy's size differs from the damaged copy's
  kCannotMakeOutput,    // a merge: the output cannot be made
  kNoMemory,            // no buffer for the blocks
  kCannotRead,          // a read failed or came up short
  kMismatch,            // the copies hold different data at offset, with no majority
  kCannotWrite,         // a write of the output failed
  // The dialog program's own, told by it, not by the core.
  kRepaired,            // the repair command's merge went through
  kNoDamageFound,       // a whole check run passed
  kNameTooLong,         // the damaged file's path leaves no room for ".fixed"
};

// The file a failure concerns: an input's place among the files handed over
// (0 the checked or damaged file, 1.. the sources), or this for the output.
constexpr int kOutputFile = -1;

struct Outcome {
  OutcomeKind kind;
  uint64_t offset;             // kDamaged, kMismatch, kDeclined: where
  int file;                    // a file's failure or a size mismatch: which file
  FileError error;             // a file's failure: LastFileError() then (common/file_io.h)
  uint64_t sizes[2];           // kSizeMismatch: the damaged copy's size and that file's
  std::vector<uint8_t> bytes;  // kMismatch: each copy's byte at offset, in copy order
};

inline Outcome MakeOutcome(OutcomeKind kind, uint64_t offset = 0) {
  Outcome outcome;
  outcome.kind = kind;
  outcome.offset = offset;
  outcome.file = 0;
  outcome.error = {kNoFailure, 0};
  outcome.sizes[0] = outcome.sizes[1] = 0;
  return outcome;
}

// A failure of a file (an input's place, or kOutputFile) for the file layer's
// reason, by default the one of its last call.
inline Outcome FailureOf(OutcomeKind kind, int file, FileError error = LastFileError()) {
  Outcome outcome = MakeOutcome(kind);
  outcome.file = file;
  outcome.error = error;
  return outcome;
}
