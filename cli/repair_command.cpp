#include <algorithm>
#include <map>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/fs.h"
#include "cli/host_cli.h"
#include "cli/report.h"
#include "cli/text_file.h"
#include "common/output_name.h"
#include "repair/merge_copies.h"
#include "scan/mapfile.h"
#include "scan/scan_file.h"

static void Print(const ItemReport& report, int json) {
  WriteText(kStdout, FormatReport(report, json));
}

// A report of a repair refused for a reason of this program's own.
static int Refused(const char* path, const std::string& note, int json,
                   const char* word = "failed") {
  ItemReport report = {path, word, 1};
  report.note = note;
  Print(report, json);
  return kExitTrouble;
}

// Refuses, before anything is read, what would have the repair write where it
// must not. Returns the reason, or null when the repair may go ahead.
static const char* Refusal(const std::vector<const char*>& copies, const char* output) {
  for (size_t i = 0; i < copies.size(); ++i)
    for (size_t k = i + 1; k < copies.size(); ++k)
      if (SameFile(copies[i], copies[k])) return "DAMAGED and SOURCE are the same file";
  if (!MayReplace(output))
    return "the output exists and is not a regular file (a link, device, FIFO, socket or folder)";
  return nullptr;
}

// Stretches no copy holds leave a repair partial; a conflict without a
// majority leaves it unwritten.
static const char* RepairWord(const Outcome& outcome, int lacking, int dryRun) {
  switch (outcome.kind) {
    case kMerged:
      return lacking ? "partial" : dryRun ? "repairable" : "repaired";
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

struct Repair {
  const std::vector<const char*>& copies;
  const CopyMap* maps;  // one per copy, or null
  const char* output;
  const CliOptions& options;
  AviWalk* walk;        // of the merged bytes
};

// Stretches no copy holds but inside JUNK chunks, which are padding.
static int Lacking(const MergeReport& merge, const AviMap* avi) {
  for (const ByteRange& r : merge.unsupplied)
    if (!avi || !InsideJunk(*avi, r)) return 1;
  return 0;
}

// A merge into output, or with kNoFile a dry run.
static MergeJob JobOf(const Repair& r, FileHandle output) {
  MergeJob job = MergeOf(r.copies.data(), static_cast<int>(r.copies.size()), r.options.threshold);
  job.output = output;
  job.maps = r.maps;
  job.markers = r.options.markers;
  job.watch = AviWatch(r.walk);
  return job;
}

// The merge writes to a new file of its own beside the output, through the
// handle that made it and never by name, so no one can swap a link in; it
// takes the output's place in one rename once complete and on disk. A failed
// or stopped repair leaves no partial file, and an earlier output stays until
// a good one replaces it.
static Outcome MergeInPlace(const Repair& r, MergeReport* merge, int* placed) {
  // The merge refuses to write over a file that it reads; the output only
  // takes its place at the end, so that is decided here.
  for (const char* copy : r.copies) {
    if (!SameFile(r.output, copy)) continue;
    Outcome isCopy = MakeOutcome(kCannotMakeOutput);
    isCopy.file = kOutputFile;
    isCopy.error = kErrorIsInput;
    return isCopy;
  }
  std::string partial;
  HoldStops();
  const FileHandle file =
      CreatePartialFile(FolderPrefix(r.output), r.output, r.copies[0], &partial);
  if (file == kNoFile) {
    Outcome cannot = MakeOutcome(kCannotMakeOutput);
    cannot.file = kOutputFile;
    cannot.error = SystemError();
    ReleaseItem();
    return cannot;
  }
  const ItemReport stopped = {r.copies[0], "stopped", 1};
  GuardItem(FormatReport(stopped, r.options.json), partial.c_str());
  Outcome outcome = MergeCopies(JobOf(r, file), merge, nullptr);
  if (outcome.kind == kMerged && !FlushFile(file)) outcome = MakeOutcome(kCannotWrite);
  CloseFile(file);  // Windows renames no file held open
  HoldStops();
  *placed = outcome.kind == kMerged && !StopStatus() && ReplaceWith(partial.c_str(), r.output);
  if (!*placed) RemoveFile(partial.c_str());
  ReleaseItem();
  if (outcome.kind == kMerged && !*placed) outcome = MakeOutcome(kCannotMakeOutput);
  return outcome;
}

static void Report(const Repair& r, const Outcome& outcome, const MergeReport& merge, int placed,
                   const AviMap* avi) {
  const int lacking = Lacking(merge, avi);
  ItemReport report = {r.copies[0], RepairWord(outcome, lacking, r.options.dryRun), 1};
  const Outcome repaired = MakeOutcome(kRepaired);
  const int merged = outcome.kind == kMerged;
  report.outcome = !merged ? &outcome : placed && !lacking ? &repaired : nullptr;
  report.avi = avi;
  report.reason = ReasonFor(outcome, r.copies.data(), r.output);
  if (placed) report.output = r.output;
  if (merged || outcome.kind == kMismatch || outcome.kind == kDeclined) {
    report.merge = &merge;
    report.sources = r.copies.data() + 1;
  }
  Print(report, r.options.json);
}

// A damaged copy that checks clean needs no repair, and nothing is written:
// returns 0 after reporting it (or a stop during the check).
static int NeedsRepair(const char* damaged, const CopyMap* map, const CliOptions& options) {
  GuardItem(FormatReport(ItemReport{damaged, "stopped", 1}, options.json), nullptr);
  BeginItem();
  const Outcome check = ScanFile(damaged, {options.threshold, 1, map, options.markers, {}});
  EndItem();
  ReleaseItem();
  if (check.kind != kClean && check.kind != kStopped) return 1;
  Print(ItemReport{damaged, check.kind == kClean ? "clean" : "stopped", 1}, options.json);
  return 0;
}

static int RepairOne(const Repair& r) {
  MergeReport merge;
  int placed = 0;
  BeginItem();
  const Outcome outcome = r.options.dryRun ? MergeCopies(JobOf(r, kNoFile), &merge, nullptr)
                                           : MergeInPlace(r, &merge, &placed);
  EndItem();
  AviMap map;
  const AviMap* avi = AviMapFor(r.walk, merge.unsupplied, &map);
  Report(r, outcome, merge, placed, avi);
  if (outcome.kind == kStopped) return StopStatus();
  const int merged = outcome.kind == kMerged;
  if (merged && r.options.mapfile &&
      !WriteMapfile(r.options.mapfile, MapfileText(merge.size, merge.unsupplied)))
    return kExitTrouble;
  return merged && !Lacking(merge, avi) ? kExitOk : kExitTrouble;
}

// A folder's regular files by name.
typedef std::map<std::string, std::string> Files;

// The first folder's entries by name, each with whether it is a regular file,
// and the other folders' regular files. Returns 0 after reporting a folder that
// cannot be listed.
static int ListCopies(const std::vector<const char*>& folders,
                      std::map<std::string, std::pair<std::string, bool>>* first,
                      std::vector<Files>* copies, int json) {
  for (const char* folder : folders) {
    std::vector<std::string> files, others;
    if (!ListFolder(folder, 0, &files, folder == folders[0] ? &others : nullptr)) {
      ItemReport report = {folder, "failed", 1};
      const Outcome cannot = MakeOutcome(kCannotOpen);
      report.outcome = &cannot;
      Print(report, json);
      return 0;
    }
    copies->emplace_back();
    for (const std::string& file : files)
      copies->back()[file.substr(FolderPrefix(file.c_str()).size())] = file;
    for (const std::string& other : others)
      (*first)[other.substr(FolderPrefix(other.c_str()).size())] = {other, false};
  }
  for (const auto& [name, path] : copies->front()) (*first)[name] = {path, true};
  return 1;
}

// Each regular file of the first folder with its namesakes in the others: one
// without a copy in every folder is reported and left; links and other things
// are reported and passed over, as are this program's own outputs
// (name.fixed.ext) from an earlier run.
static int RepairFolders(const CliOptions& options) {
  std::map<std::string, std::pair<std::string, bool>> first;
  std::vector<Files> copies;
  if (!ListCopies(options.operands, &first, &copies, options.json)) return kExitTrouble;
  if (copies[0].empty())
    return Refused(options.operands[0], "no files in this folder", options.json);
  int status = kExitOk;
  for (const auto& [name, entry] : first) {
    const char* damaged = entry.first.c_str();
    if (!entry.second) {
      Refused(damaged, IsFolder(damaged) ? "is a folder" : "not a regular file", options.json,
              "skipped");
      continue;
    }
    if (IsFixedOutputName(damaged)) continue;
    if (!NeedsRepair(damaged, nullptr, options)) {
      if (StopStatus()) return StopStatus();
      continue;
    }
    std::vector<const char*> paths = {damaged};
    const char* lacking = nullptr;
    for (size_t k = 1; k < copies.size() && !lacking; ++k) {
      const auto copy = copies[k].find(name);
      if (copy == copies[k].end())
        lacking = options.operands[k];
      else
        paths.push_back(copy->second.c_str());
    }
    if (lacking) {
      status = Refused(damaged, "no copy in " + PathToUtf8(lacking), options.json, "missing");
      continue;
    }
    const std::string output =
        options.output ? JoinPath(options.output, name.c_str()) : FixedOutputPath(damaged);
    AviWalk walk;
    const Repair repair = {paths, nullptr, output.c_str(), options, &walk};
    const char* refusal = Refusal(paths, output.c_str());
    const int repaired = refusal ? Refused(damaged, refusal, options.json) : RepairOne(repair);
    if (StopStatus()) return StopStatus();
    if (repaired != kExitOk) status = kExitTrouble;
  }
  return status;
}

int RunRepair(const CliOptions& options) {
  SetAnswerRule(options.answer);
  if (IsFolder(options.operands[0])) return RepairFolders(options);
  const char* damaged = options.operands[0];
  const std::string output = options.output ? options.output : FixedOutputPath(damaged);
  AviWalk walk;
  const Repair repair = {options.operands, options.maps.data(), output.c_str(), options, &walk};
  if (const char* refusal = Refusal(options.operands, output.c_str()))
    return Refused(damaged, refusal, options.json);
  return NeedsRepair(damaged, &options.maps[0], options) ? RepairOne(repair) : StopStatus();
}
