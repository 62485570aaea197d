#include <new>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "platform/replace.h"
#include "report/report.h"
#include "report/words.h"
#include "scan/damage_map.h"
#include "scan/mapfile.h"
#include "scan/scan_file.h"

// A tail its RIFF header claims and the file lacks is damage at its start.
static void TellTruncation(const ByteRange& tail, Outcome* outcome, ItemReport* report) {
  if (outcome->kind != kClean || tail.length == 0) return;
  *outcome = MakeOutcome(kDamaged, tail.offset);
  report->result = "damaged";
  report->reason = TruncationReason(tail.length);
}

// With --all every damaged range, the first where a check reports it.
// Returns 1 when the file is clean.
static int CheckOne(const char* path, const CopyMap* map, const CliOptions& o) {
  GuardItem(FormatReport(ItemReport{path, "stopped", 0}, o.json), nullptr);
  BeginItem(path);
  std::vector<ByteRange> runs;
  uint64_t size = 0;
  AviWalk walk;
  AviMap avi;
  CheckRules rules = RulesOf(o.threshold, o.skipJunk);
  rules.map = map;
  rules.markers = o.markers;
  rules.watch = AviWatch(&walk);
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

int WriteMapfile(const char* path, const std::string& text) {
  FileError error;
  if (WriteWholeFile(path, text, &error)) return 1;
  if (!StopStatus())
    WriteText(kStderr, "orvalintex-cli: cannot write the mapfile " + Quoted(path) + ": " +
                           FileErrorText(error) + "\n");
  return 0;
}

// Memory that cannot be had for what a file holds is an error of its check.
static int CheckWithin(const char* path, const CopyMap* map, const CliOptions& o) {
  try {
    return CheckOne(path, map, o);
  } catch (const std::bad_alloc&) {
    ReleaseItem();
    EndItem();
    const Outcome noMemory = MakeOutcome(kNoMemory);
    WriteText(kStdout, BriefReport(path, "error", 0, &noMemory, "", o.json));
    return 0;
  }
}

int RunCheck(const CliOptions& options) {
  int status = kExitOk;
  const Outcome cannotOpen = MakeOutcome(kCannotOpen);
  for (size_t k = 0; k < options.operands.size(); ++k) {
    const char* operand = options.operands[k];
    std::vector<std::string> files;
    // A folder that cannot be listed is reported as a file that cannot be
    // opened, one without files as empty rather than passed over.
    const int listed = !IsFolder(operand) || ListFolder(operand, 1, &files, nullptr);
    if (!IsFolder(operand)) files.push_back(operand);
    if (!listed || files.empty()) {
      WriteText(kStdout, BriefReport(operand, "error", 0, listed ? nullptr : &cannotOpen,
                                     listed ? "no files in this folder" : "", options.json));
      status = kExitTrouble;
    }
    for (const std::string& file : files) {
      if (!CheckWithin(file.c_str(), &options.maps[k], options)) status = kExitTrouble;
      if (StopStatus()) return StopStatus();
    }
  }
  return status;
}
