// The lines that tell the outcome for one file, as text or as JSON.
#pragma once
#include <string>
#include <vector>

#include "avi/avi_hits.h"
#include "avi/avi_playable.h"
#include "common/byte_range.h"
#include "common/outcome.h"
#include "repair/merge_copies.h"

// Made as {path, result, repair}; the rest is filled in as a report has it.
struct ItemReport {
  const char* path;    // the file reported on, as given
  const char* result;  // one word: clean, damaged, error, repaired, partial, failed, ...
  int repair;          // 1 for a repair's report, which names its output
  const Outcome* outcome = nullptr;  // what explains the result: its message and offset; or null
  std::string note{};                // without an outcome's message: this program's own, UTF-8
  std::string reason{};  // the file and the system's reason behind a failure, or empty
  const char* output = nullptr;          // the repaired file once written, else null
  const Findings* damage = nullptr;      // check --all: every damaged range found
  const MergeReport* merge = nullptr;    // a repair's counts
  const Findings* unsupplied = nullptr;  // a repair's ranges no copy holds
  const Playable* playable = nullptr;    // a repair made playable: what it dropped and silenced
  const char* const* sources = nullptr;  // the sources the merge's counts are for
};

// What a repair's merge came to: its counts, the ranges no copy holds with
// what they hit and, made playable, the edits and what they drop and silence.
struct RepairResult {
  Outcome outcome;
  MergeReport merge;
  AviMap avi;
  Findings unsupplied;
  Playable playable;
};

// Nothing to write: the merge changes nothing, and no edit makes it playable.
int ChangesNothing(const RepairResult& m);

// Whether the repair leaves something lost: ranges no copy holds, or once
// made playable, frames dropped, audio silenced or left.
int Lacking(const RepairResult& m, int playable);

// The report of the repair of copies[0] from the others into output (placed:
// written there), made playable or a dry run as the command line asked.
ItemReport RepairReport(const RepairResult& m, const char* const* copies, const char* output,
                        int placed, int playable, int dryRun);

// The reason behind a failed outcome: the file it names (copies[file], or the
// output) unless that is the file reported on, and why (the system's words, or
// the sizes that differ). Empty for outcomes that are no failure of a file.
std::string ReasonFor(const Outcome& outcome, const char* const* copies, const char* output);

// Text: "path: result[: message][ (reason)][ -> output]" (the note when no
// outcome gives a message), the message's line breaks turned into blanks;
// with damage, its count and bytes instead of the message, then one indented
// "offset length cause" line per range with its hits below; with a merge,
// indented lines for the bytes taken from each source, the voted and the
// unsupplied ranges. JSON: one object with path, result, offset (as the
// message gives it, or null), message, reason (or null), for a repair output,
// then runs and damaged_bytes, or taken, voted, voted_ranges and unsupplied.
// Both end in a line break.
std::string FormatReport(const ItemReport& report, int json);

// The report of a file with only its result and why: the outcome's message
// (outcome may be null), or the note.
std::string BriefReport(const char* path, const char* result, int repair, const Outcome* outcome,
                        const std::string& note, int json);

// Why the file layer failed (common/file_io.h), in words.
std::string FileErrorText(FileError error);

// A name as a terminal may show it: as it is, or as $'...' when it holds a
// control character or bytes that are not UTF-8.
std::string QuotedName(const std::string& name);

// Text from the command line or a file, its control characters as \ooo.
std::string Printable(const std::string& text);
