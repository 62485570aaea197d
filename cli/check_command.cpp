#include <new>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "report/report.h"
#include "cli/text_file.h"
#include "scan/damage_map.h"
#include "scan/mapfile.h"
#include "scan/scan_file.h"

static const char* CheckWord(OutcomeKind kind) {
  switch (kind) {
    case kClean:
      return "clean";
    case kDamaged:
      return "damaged";
    case kStopped:
      return "stopped";
    default:
      return "error";
  }
}

// A check that found no damage yet finds a tail the file lacks, which its
// RIFF header claims: damage at its start.
static void TellTruncation(const ByteRange& tail, Outcome* outcome, ItemReport* report) {
  if (outcome->kind != kClean || tail.length == 0) return;
  *outcome = MakeOutcome(kDamaged, tail.offset);
  report->result = "damaged";
  report->reason = "truncated: the header claims " + std::to_string(tail.length) +
                   " bytes more";
}

// With --all every damaged range: the file is damaged when there is one, and
// the first range's offset is the one a check reports. Returns 1 when the
// file is clean.
static int CheckOne(const char* path, const CopyMap* map, const CliOptions& o) {
  GuardItem(FormatReport(ItemReport{path, "stopped", 0}, o.json), nullptr);
  BeginItem(path);
  std::vector<ByteRange> runs;
  uint64_t size = 0;
  AviWalk walk;
  AviMap avi;
  const CheckRules rules = {o.threshold, o.skipJunk, map, o.markers, AviWatch(&walk)};
  Outcome outcome = o.all ? MapDamage(path, rules, &runs, &size) : ScanFile(path, rules);
  EndItem();
  ReleaseItem();
  const int scanned = outcome.kind == kClean || outcome.kind == kDamaged;
  ItemReport report = {path, CheckWord(outcome.kind), 0};
  report.outcome = &outcome;
  report.reason = ReasonFor(outcome, &path, nullptr);
  Findings damage;
  if (scanned && !o.all) TellTruncation(AviMissingTail(walk), &outcome, &report);
  if (scanned && o.all) {
    damage = FindingsOf(&walk, &avi, runs);
    report.damage = &damage;
    if (outcome.kind == kClean && !damage.ranges.empty()) {
      outcome = MakeOutcome(kDamaged, damage.ranges[0].range.offset);
      report.result = "damaged";
    }
  }
  WriteText(kStdout, FormatReport(report, o.json));
  if (o.all && scanned && o.mapfile &&
      !WriteMapfile(o.mapfile, MapfileText(size, RangesOf(damage))))
    return 0;
  return outcome.kind == kClean;
}

// A folder that cannot be listed is reported like a file that cannot be
// opened; one without files is said to be empty rather than passed over.
static void ReportFolder(const char* folder, const Outcome* outcome, const char* note, int json) {
  ItemReport report = {folder, "error", 0};
  report.outcome = outcome;
  report.note = note ? note : "";
  WriteText(kStdout, FormatReport(report, json));
}

// Memory that cannot be had for what a file holds ends its check as an error.
static int CheckWithin(const char* path, const CopyMap* map, const CliOptions& o) {
  try {
    return CheckOne(path, map, o);
  } catch (const std::bad_alloc&) {
    ReleaseItem();
    EndItem();
    const Outcome noMemory = MakeOutcome(kNoMemory);
    ItemReport report = {path, "error", 0};
    report.outcome = &noMemory;
    WriteText(kStdout, FormatReport(report, o.json));
    return 0;
  }
}

int RunCheck(const CliOptions& options) {
  int status = kExitOk;
  const Outcome cannotOpen = MakeOutcome(kCannotOpen);
  for (size_t k = 0; k < options.operands.size(); ++k) {
    const char* operand = options.operands[k];
    std::vector<std::string> files;
    if (!IsFolder(operand)) {
      files.push_back(operand);
    } else if (!ListFolder(operand, 1, &files, nullptr)) {
      ReportFolder(operand, &cannotOpen, nullptr, options.json);
      status = kExitTrouble;
    } else if (files.empty()) {
      ReportFolder(operand, nullptr, "no files in this folder", options.json);
      status = kExitTrouble;
    }
    for (const std::string& file : files) {
      if (!CheckWithin(file.c_str(), &options.maps[k], options)) status = kExitTrouble;
      if (StopStatus()) return StopStatus();
    }
  }
  return status;
}
