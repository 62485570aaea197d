#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/fs.h"
#include "cli/output_name.h"
#include "cli/report.h"
#include "common/file_io.h"
#include "common/settings.h"
#include "repair/merge_many.h"
#include "scan/mapfile.h"
#include "scan/scan_file.h"

static const char kCannotMakeOutput[] = "書き込み先ファイルが開けません。";

static void Report(const char* damaged, const char* result, const char* output, int json,
                   const MergeReport* merge = nullptr, const std::vector<const char*>* sources = nullptr) {
  const std::vector<ShownMessage>& shown = ItemMessages();
  ItemReport report = {damaged, result, shown.empty() ? nullptr : &shown.back(), 1, output};
  report.merge = merge;
  report.sources = sources;
  WriteText(kStdout, FormatReport(report, json));
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
static const char* Refusal(const std::vector<const char*>& copies, const char* output) {
  for (size_t i = 0; i < copies.size(); ++i)
    for (size_t k = i + 1; k < copies.size(); ++k)
      if (SameFile(copies[i], copies[k])) return "DAMAGED and SOURCE are the same file";
  if (!MayReplace(output))
    return "the output exists and is not a regular file (a link, device, FIFO, socket or folder)";
  // The merge refuses to write over a file that it reads; the output only
  // takes its place at the end, so that is decided here.
  for (const char* copy : copies)
    if (SameFile(output, copy)) return kCannotMakeOutput;
  return nullptr;
}

// Finds what a repair would do, writing nothing and asking nothing: exit 0
// when it would leave no stretch unsupplied and meet no conflict unsettled.
static int DryRun(const std::vector<const char*>& copies, const CliOptions& options) {
  const std::vector<const char*> sources(copies.begin() + 1, copies.end());
  MergeReport merge;
  const int merged = MergeMany(kNoFile, copies.data(), static_cast<int>(copies.size()),
                               options.threshold, &merge);
  const int whole = merged && merge.unsupplied.empty();
  Report(copies[0], whole ? "repairable" : "unrepairable", nullptr, options.json, &merge, &sources);
  if (merged && options.mapfile &&
      !WriteMapfile(options.mapfile, MapfileText(merge.size, merge.unsupplied)))
    return kExitTrouble;
  return whole ? kExitOk : kExitTrouble;
}

// The merge writes to a new file of its own beside the output, through the
// handle that made it and never by name, so no one can swap a link in; it
// takes the output's place in one rename once complete. A failed or stopped
// repair leaves no partial file, and an earlier output stays until a good
// one replaces it.
static int RepairOne(const std::vector<const char*>& copies, const std::string& output,
                     const CliOptions& options) {
  const std::vector<const char*> sources(copies.begin() + 1, copies.end());
  const char* damaged = copies[0];
  const int json = options.json;
  BeginItem(0);

  if (const char* refusal = Refusal(copies, output.c_str())) {
    ShowMessage(refusal, nullptr, kWarningOk);
    Report(damaged, "failed", nullptr, json);
    return kExitTrouble;
  }
  if (options.dryRun) return DryRun(copies, options);
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
  MergeReport merge;
  const int merged = MergeMany(partialFile, copies.data(), static_cast<int>(copies.size()),
                               options.threshold, &merge);
  CloseFile(partialFile);  // Windows renames no file held open
  HoldStops();
  const int placed = merged && !StopStatus() && ReplaceWith(partial.c_str(), output.c_str());
  if (!placed) RemoveFile(partial.c_str());
  ReleasePartialFile();
  if (placed) {
    ShowMessage("ファイルを修復しました。", "修復", kInformationOk);
    Report(damaged, "repaired", output.c_str(), json, &merge, &sources);
    if (options.mapfile &&
        !WriteMapfile(options.mapfile, MapfileText(merge.size, merge.unsupplied)))
      return kExitTrouble;
    return kExitOk;
  }
  if (merged && !StopStatus()) ShowMessage(kCannotMakeOutput, nullptr, kWarningOk);
  if (StopStatus()) {
    WriteText(kStdout, FormatReport({damaged, "stopped", nullptr, 1, nullptr}, json));
    return StopStatus();
  }
  Report(damaged, FailureResult(), nullptr, json, &merge, &sources);
  return kExitTrouble;
}

// A folder that cannot be listed or holds no files fails the whole repair.
static int ReportFolderTrouble(const char* folder, const char* message, int json) {
  ShowMessage(message, nullptr, kWarningOk);
  Report(folder, "failed", nullptr, json);
  return kExitTrouble;
}

// The regular files of every folder, each folder's by name.
static int ListCopies(const std::vector<const char*>& folders,
                      std::vector<std::map<std::string, std::string>>* copies, int json) {
  for (const char* folder : folders) {
    std::vector<std::string> files;
    if (!ListFolderFiles(folder, &files))
      return ReportFolderTrouble(folder, "ファイルが開けません。", json);
    copies->emplace_back();
    for (const std::string& file : files)
      copies->back()[file.substr(FolderPrefix(file.c_str()).size())] = file;
  }
  if (copies->front().empty())
    return ReportFolderTrouble(folders[0], "no files in this folder", json);
  return kExitOk;
}

// Each file of the first folder with its namesakes in the others: a clean one
// is passed over, one without a copy in every folder is reported and left.
static int RepairFolders(const CliOptions& options) {
  std::vector<std::map<std::string, std::string>> copies;
  if (ListCopies(options.operands, &copies, options.json) != kExitOk) return kExitTrouble;
  int status = kExitOk;
  for (const auto& [name, damaged] : copies[0]) {
    BeginItem(ListedSize(damaged.c_str()));
    const int clean = ScanFile(damaged.c_str());
    EndItem();
    if (StopStatus()) {
      WriteText(kStdout,
                FormatReport({damaged.c_str(), "stopped", nullptr, 1, nullptr}, options.json));
      return StopStatus();
    }
    if (clean) {
      WriteText(kStdout,
                FormatReport({damaged.c_str(), "clean", nullptr, 0, nullptr}, options.json));
      continue;
    }
    std::vector<const char*> paths = {damaged.c_str()};
    const char* lacking = nullptr;
    for (size_t k = 1; k < copies.size() && !lacking; ++k) {
      const auto copy = copies[k].find(name);
      if (copy == copies[k].end()) lacking = options.operands[k];
      else paths.push_back(copy->second.c_str());
    }
    if (lacking) {
      BeginItem(0);
      ShowMessage(("no copy in " + std::string(lacking)).c_str(), nullptr, kWarningOk);
      Report(damaged.c_str(), "missing", nullptr, options.json);
      status = kExitTrouble;
      continue;
    }
    const std::string output =
        options.output ? JoinPath(options.output, name.c_str()) : FixedOutputPath(damaged.c_str());
    const int repaired = RepairOne(paths, output, options);
    if (StopStatus()) return repaired;
    if (repaired != kExitOk) status = kExitTrouble;
  }
  return status;
}

int RunRepair(const CliOptions& options) {
  g_settings.ErrorLength = options.threshold;
  SetAnswerRule(options.answer);
  if (IsFolder(options.operands[0])) return RepairFolders(options);
  const char* damaged = options.operands[0];
  return RepairOne(options.operands, options.output ? options.output : FixedOutputPath(damaged),
                   options);
}
