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

// The merge writes to a new file of its own beside the output, which takes the
// output's place only once it is complete: a failed or stopped repair so
// leaves no partial file, and an earlier output stays until a good one
// replaces it.
static int CreatePartialFile(const std::string& output, std::string* partial) {
  for (int n = 1; n < 100; ++n) {
    *partial = output + "~" + std::to_string(n);
    if (CreateNewFile(partial->c_str())) return 1;
  }
  return 0;
}

// Without a repaired file the last message tells why; a No to the continue
// question ends the merge with no message after it.
static const char* FailureResult() {
  const std::vector<ShownMessage>& shown = ItemMessages();
  if (!shown.empty() && shown.back().kind == kWarningYesNo && !shown.back().answer) return "declined";
  return "failed";
}

int RunRepair(const CliOptions& options) {
  g_settings.ErrorLength = options.threshold;
  SetAnswerRule(options.answer);
  const char* damaged = options.operands[0];
  const char* source = options.operands[1];
  const std::string output = options.output ? options.output : FixedOutputPath(damaged);
  const int json = options.json;
  BeginItem(0);

  // The merge itself refuses to write over a file that it reads; the output
  // only takes its place at the end, so that is decided here first.
  if (IsFolder(output.c_str()) || SameFile(output.c_str(), damaged) ||
      SameFile(output.c_str(), source)) {
    ShowMessage(kCannotMakeOutput, nullptr, kWarningOk);
    Report(damaged, "failed", nullptr, json);
    return kExitTrouble;
  }
  std::string partial;
  if (!CreatePartialFile(output, &partial)) {
    ShowMessage(kCannotMakeOutput, nullptr, kWarningOk);
    Report(damaged, "failed", nullptr, json);
    return kExitTrouble;
  }

  GuardPartialFile(partial.c_str(), FormatReport({damaged, "stopped", nullptr, 1, nullptr}, json));
  const int merged = Merge(partial.c_str(), damaged, source, nullptr);
  ReleasePartialFile();
  if (merged && !StopStatus()) {
    if (ReplaceWith(partial.c_str(), output.c_str())) {
      ShowMessage("ファイルを修復しました。", "修復", kInformationOk);
      Report(damaged, "repaired", output.c_str(), json);
      return kExitOk;
    }
    ShowMessage(kCannotMakeOutput, nullptr, kWarningOk);
  }
  RemoveFile(partial.c_str());
  if (StopStatus()) {
    WriteText(kStdout, FormatReport({damaged, "stopped", nullptr, 1, nullptr}, json));
    return StopStatus();
  }
  Report(damaged, FailureResult(), nullptr, json);
  return kExitTrouble;
}
