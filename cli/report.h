// The line that tells the outcome for one file, as text or as JSON.
#pragma once
#include <string>

#include "cli/host_cli.h"
#include "common/byte_range.h"
#include "repair/merge_many.h"

struct ItemReport {
  const char* path;              // the file, as given (a path)
  const char* result;            // one word: clean, damaged, error, repaired, failed, declined, stopped
  const ShownMessage* message;   // the message that explains the result, or null
  int repair;                    // 1 for the outcome of a repair
  const char* output;            // the repaired file once written, else null
  const std::vector<ByteRange>* runs = nullptr;  // check --all: every zero run found
  const MergeReport* merge = nullptr;            // a repair's findings, with sources named
  const std::vector<const char*>* sources = nullptr;
};

// Text: "path: result[: message][ -> output]" on one line, the message's line
// breaks turned into blanks. JSON: one object with path, result, offset (the
// message's offset text, or null), message (or null) and, for a repair,
// output (or null). Both end in a line break. With runs, the text line gives
// their count and bytes and one indented "offset length" line follows per run;
// JSON adds runs and damaged_bytes. With a merge, indented lines (JSON: fields)
// give the bytes taken from each source, the voted and the unsupplied ranges.
std::string FormatReport(const ItemReport& report, int json);
