#include "cli/commands.h"
#include "cli/console.h"
#include "cli/fs.h"
#include "cli/report.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "scan/scan_file.h"

static uint64_t SizeOf(const char* path) {
  uint64_t size = 0;
  FileHandle file = OpenForRead(path);
  if (file != kNoFile) {
    if (!GetSize(file, &size)) size = 0;
    CloseFile(file);
  }
  return size;
}

static void Report(const char* path, const char* result, const ShownMessage* message, int json) {
  WriteText(kStdout, FormatReport({path, result, message, 0, nullptr}, json));
}

// Returns 1 when the file is clean.
static int CheckOne(const char* path, int json) {
  BeginItem(SizeOf(path));
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

// A folder that cannot be listed is reported like a file that cannot be
// opened; one without files is said to be empty rather than passed over.
static void ReportFolder(const char* folder, const char* message, int json) {
  BeginItem(0);
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
      if (!CheckOne(file.c_str(), options.json)) status = kExitTrouble;
    }
  }
  return StopStatus() ? StopStatus() : status;
}
