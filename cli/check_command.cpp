#include "cli/commands.h"
#include "cli/console.h"
#include "cli/fs.h"
#include "cli/output_name.h"
#include "cli/report.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "scan/mapfile.h"
#include "scan/scan_file.h"
#include "scan/zero_runs.h"

static void Report(const char* path, const char* result, const ShownMessage* message, int json) {
  WriteText(kStdout, FormatReport({path, result, message, 0, nullptr}, json));
}

// Returns 1 when the file is clean.
static int CheckOne(const char* path, int json) {
  BeginItem(ListedSize(path));
  const int clean = ScanFile(path);
  EndItem();
  const std::vector<ShownMessage>& shown = ItemMessages();
  const ShownMessage* message = shown.empty() ? nullptr : &shown.back();
  const char* result = "clean";
  if (!clean) {
    if (!message)
      result = "stopped";
    else if (message->caption == "破損検出")
      result = "damaged";
    else
      result = "error";
  }
  Report(path, result, message, json);
  return clean;
}

// Every zero run: the file is damaged when there is one, and the first run's
// offset is the one a check reports. Returns 1 when the file is clean.
static int CheckAllRuns(const char* path, const CliOptions& o) {
  BeginItem(ListedSize(path));
  std::vector<ByteRange> runs;
  uint64_t size = 0;
  const int scanned = FindZeroRuns(path, o.threshold, o.skipJunk, &runs, &size);
  EndItem();
  // Told as a check tells it, so the line reads as a check's does.
  if (scanned && !runs.empty()) ReportDamage(runs[0].offset);
  const std::vector<ShownMessage>& shown = ItemMessages();
  const char* result = !scanned ? (shown.empty() ? "stopped" : "error") : runs.empty() ? "clean" : "damaged";
  ItemReport report = {path, result, shown.empty() ? nullptr : &shown.back(), 0, nullptr};
  if (scanned) report.runs = &runs;
  WriteText(kStdout, FormatReport(report, o.json));
  if (scanned && o.mapfile && !WriteMapfile(o.mapfile, MapfileText(size, runs))) return 0;
  return scanned && runs.empty();
}

// A folder that cannot be listed is reported like a file that cannot be
// opened; one without files is said to be empty rather than passed over.
static void ReportFolder(const char* folder, const char* message, int json) {
  ShowMessage(message, nullptr, kWarningOk);
  Report(folder, "error", &ItemMessages().back(), json);
}

int RunCheck(const CliOptions& options) {
  g_settings.ErrorLength = options.threshold;
  g_settings.SkipJunk = options.skipJunk;
  int status = kExitOk;
  for (const char* operand : options.operands) {
    std::vector<std::string> files;
    if (!IsFolder(operand)) {
      files.push_back(operand);
    } else if (!ListFolderFiles(operand, &files)) {
      ReportFolder(operand, "ファイルが開けません。", options.json);
      status = kExitTrouble;
    } else if (files.empty()) {
      ReportFolder(operand, "no files in this folder", options.json);
      status = kExitTrouble;
    }
    for (const std::string& file : files) {
      if (StopStatus()) return StopStatus();
      const int clean = options.all ? CheckAllRuns(file.c_str(), options) : CheckOne(file.c_str(), options.json);
      if (!clean) status = kExitTrouble;
    }
  }
  return StopStatus() ? StopStatus() : status;
}
