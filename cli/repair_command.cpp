#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/fs.h"
#include "cli/output_name.h"
#include "cli/report.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "repair/merge_file.h"

static const char kCannotMakeOutput[] = "書き込み先ファイルが開けません。";

static void Report(const char* damaged, const char* result, const char* output, int json) {
  const std::vector<ShownMessage>& shown = ItemMessages();
  const ShownMessage* message = shown.empty() ? nullptr : &shown.back();
  WriteText(kStdout, FormatReport({damaged, result, message, 1, output}, json));
}

// Without a repaired file the last message tells why; a No to the continue
// question ends the merge with no message after it.
static const char* FailureResult() {
  const std::vector<ShownMessage>& shown = ItemMessages();
  if (!shown.empty() && shown.back().kind == kWarningYesNo && !shown.back().answer) return "declined";
  return "failed";
}

// Refuses, before anything is read, what would have the repair write where it
// must not. Returns the reason, or null when the repair may go ahead.
static const char* Refusal(const char* damaged, const char* source, const char* output) {
  if (SameFile(damaged, source)) return "DAMAGED and SOURCE are the same file";
  if (!MayReplace(output))
    return "the output exists and is not a regular file (a link, device, FIFO, socket or folder)";
  // The merge refuses to write over a file that it reads; the output only
  // takes its place at the end, so that is decided here.
  if (SameFile(output, damaged) || SameFile(output, source)) return kCannotMakeOutput;
  return nullptr;
}

// The merge writes to a new file of its own beside the output, through the
// handle that made it and never by name, so no one can swap a link in; it
// takes the output's place in one rename once complete. A failed or stopped
// repair leaves no partial file, and an earlier output stays until a good
// one replaces it.
int RunRepair(const CliOptions& options) {
  g_settings.ErrorLength = options.threshold;
  SetAnswerRule(options.answer);
  const char* damaged = options.operands[0];
  const char* source = options.operands[1];
  const std::string output = options.output ? options.output : FixedOutputPath(damaged);
  const int json = options.json;
  BeginItem(0);

  if (const char* refusal = Refusal(damaged, source, output.c_str())) {
    ShowMessage(refusal, nullptr, kWarningOk);
    Report(damaged, "failed", nullptr, json);
    return kExitTrouble;
  }
  std::string partial;
  HoldStops();
  const FileHandle partialFile =
      CreatePartialFile(FolderPrefix(output.c_str()), output.c_str(), &partial);
  if (partialFile == kNoFile) {
    ReleasePartialFile();
    ShowMessage(kCannotMakeOutput, nullptr, kWarningOk);
    Report(damaged, "failed", nullptr, json);
    return kExitTrouble;
  }
  GuardPartialFile(partial.c_str(), FormatReport({damaged, "stopped", nullptr, 1, nullptr}, json));
  const int merged = MergeInto(partialFile, damaged, source);
  HoldStops();
  const int placed = merged && !StopStatus() && ReplaceWith(partial.c_str(), output.c_str());
  if (!placed) RemoveFile(partial.c_str());
  ReleasePartialFile();
  if (placed) {
    ShowMessage("ファイルを修復しました。", "修復", kInformationOk);
    Report(damaged, "repaired", output.c_str(), json);
    return kExitOk;
  }
  if (merged && !StopStatus()) ShowMessage(kCannotMakeOutput, nullptr, kWarningOk);
  if (StopStatus()) {
    WriteText(kStdout, FormatReport({damaged, "stopped", nullptr, 1, nullptr}, json));
    return StopStatus();
  }
  Report(damaged, FailureResult(), nullptr, json);
  return kExitTrouble;
}
