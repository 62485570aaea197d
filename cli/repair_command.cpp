#include <algorithm>
#include <map>
#include <new>
#include <string>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "cli/host_cli.h"
#include "platform/replace.h"
#include "report/report.h"
#include "report/words.h"
#include "common/output_name.h"
#include "avi/avi_playable.h"
#include "repair/merge_copies.h"
#include "scan/mapfile.h"

// A report of a repair refused for a reason of this program's own.
static int Refused(const char* path, const std::string& note, int json,
                   const char* word = "failed") {
  WriteText(kStdout, BriefReport(path, word, 1, nullptr, note, json));
  return kExitTrouble;
}

// Why the repair may not write where it would, before anything is read, or "".
static std::string WriteRefusal(const std::vector<const char*>& copies, const char* output) {
  for (size_t i = 0; i < copies.size(); ++i)
    for (size_t k = i + 1; k < copies.size(); ++k)
      if (SameFile(copies[i], copies[k]))
        return Quoted(copies[i]) + " and " + Quoted(copies[k]) + " are the same file";
  if (!MayReplace(output))
    return "the output " + Quoted(output) +
           " exists and is not a regular file (a link, device, FIFO, socket or folder)";
  return std::string();
}

struct Repair {
  const std::vector<const char*>& copies;
  const char* output;
  const CliOptions& options;
  const CopyMap* maps = nullptr;  // one per copy, or null
};

// A merge into output, or with kNoFile a dry run; the command asks the question.
static MergeJob JobOf(const Repair& r, FileHandle output, AviWalk* walk) {
  MergeJob job = MergeOf(r.copies.data(), static_cast<int>(r.copies.size()), r.options.threshold);
  job.output = output;
  job.maps = r.maps;
  job.markers = r.options.markers;
  job.ask = 0;
  job.watch = AviWatch(walk);
  return job;
}

// The merge, its findings, and the continue question at the first range no
// copy holds that is no padding: No declines the repair.
static void MergeAndAsk(const Repair& r, FileHandle output, RepairResult* m) {
  AviWalk walk;
  BeginItem(r.copies[0]);
  m->outcome = MergeCopies(JobOf(r, output, &walk), &m->merge, nullptr);
  EndItem();
  if (m->outcome.kind != kMerged) return;
  m->unsupplied = FindingsOf(&walk, &m->avi, m->merge.unsupplied, r.options.playable);
  if (r.options.playable) m->playable = MakePlayable(m->avi, m->unsupplied.ranges);
  if (r.options.dryRun || m->unsupplied.lacking == 0 || m->playable.refusal) return;
  for (const RangeFinding& f : m->unsupplied.ranges) {
    if (f.padding) continue;
    if (!AskToGoOn(f.range.offset)) m->outcome = MakeOutcome(kDeclined, f.range.offset);
    return;
  }
}

// The edits that make the merged file playable, in place.
static int ApplyEdits(FileHandle file, const Playable& playable) {
  for (const AviEdit& e : playable.edits)
    if (!WriteAt(file, e.offset, e.bytes.data(), static_cast<uint32_t>(e.bytes.size()))) return 0;
  return 1;
}

// Memory that cannot be had for what a file holds ends the work on it.
static void MergeAndAskWithin(const Repair& r, FileHandle output, RepairResult* m) {
  try {
    MergeAndAsk(r, output, m);
  } catch (const std::bad_alloc&) {
    *m = RepairResult();
    m->outcome = MakeOutcome(kNoMemory);
  }
}

// The merge, into a file that takes the output's place once complete unless
// the repair changes nothing. Returns 1 when the output was placed.
static int MergeInPlace(const Repair& r, RepairResult* m) {
  // The output takes its place only at the end: whether it is a copy, here.
  for (const char* copy : r.copies)
    if (SameFile(r.output, copy))
      return m->outcome = FailureOf(kCannotMakeOutput, kOutputFile, {kFailedIsInput, 0}), 0;
  Replacement out;
  const ItemReport stopped = {r.copies[0], "stopped", 1};
  if (!BeginReplacement(&out, r.output, r.copies[0], FormatReport(stopped, r.options.json)))
    return m->outcome =
               FailureOf(kCannotMakeOutput, kOutputFile, SystemFailure(out.error)), 0;
  MergeAndAskWithin(r, out.file, m);
  const int keep = m->outcome.kind == kMerged && !ChangesNothing(*m) && !m->playable.refusal;
  if (keep && !ApplyEdits(out.file, m->playable)) {
    m->outcome = FailureOf(kCannotWrite, kOutputFile);
    EndReplacement(&out, r.output, 0);
    return 0;
  }
  const int placed = EndReplacement(&out, r.output, keep);
  if (!placed && StopStatus()) m->outcome = MakeOutcome(kStopped);
  else if (keep && !placed)
    m->outcome = FailureOf(kCannotWrite, kOutputFile, SystemFailure(out.error));
  return placed;
}

static int RepairOne(const Repair& r) {
  RepairResult m;
  int placed = 0;
  if (r.options.dryRun)
    MergeAndAskWithin(r, kNoFile, &m);
  else
    placed = MergeInPlace(r, &m);
  const ItemReport report = RepairReport(m, r.copies.data(), r.output, placed,
                                         r.options.playable, r.options.dryRun);
  WriteText(kStdout, FormatReport(report, r.options.json));
  if (m.outcome.kind == kStopped) return StopStatus();
  const int merged = m.outcome.kind == kMerged;
  if (merged && r.options.mapfile &&
      !WriteMapfile(r.options.mapfile, MapfileText(m.merge.size, RangesOf(m.unsupplied))))
    return kExitTrouble;
  return merged && !m.playable.refusal && !Lacking(m, r.options.playable) ? kExitOk
                                                                         : kExitTrouble;
}

// A folder's regular files by name.
typedef std::map<std::string, std::string> Files;

// The first folder's entries by name, whether each is a regular file, and the
// others' regular files. Returns 0 after reporting a folder it cannot list.
static int ListCopies(const std::vector<const char*>& folders,
                      std::map<std::string, std::pair<std::string, bool>>* first,
                      std::vector<Files>* copies, int json) {
  for (const char* folder : folders) {
    std::vector<std::string> files, others;
    if (!ListFolder(folder, 0, &files, folder == folders[0] ? &others : nullptr)) {
      const Outcome cannot = MakeOutcome(kCannotOpen);
      WriteText(kStdout, BriefReport(folder, "failed", 1, &cannot, "", json));
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

// Each regular file of the first folder with its namesakes in the others; one
// lacking some is reported, links and other things too, and earlier outputs
// (name.fixed.ext) passed over.
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
      status = Refused(damaged, "no copy in " + Quoted(lacking), options.json,
                       "missing");
      continue;
    }
    const std::string output =
        options.output ? JoinPath(options.output, name.c_str())
                       : FixedOutputPath(damaged, OutputMark(options));
    const Repair repair = {paths, output.c_str(), options};
    const std::string refusal = WriteRefusal(paths, output.c_str());
    const int repaired =
        !refusal.empty() ? Refused(damaged, refusal, options.json) : RepairOne(repair);
    if (StopStatus()) return StopStatus();
    if (repaired != kExitOk) status = kExitTrouble;
  }
  return status;
}

int RunRepair(const CliOptions& options) {
  SetAnswerRule(options.answer);
  if (IsFolder(options.operands[0])) return RepairFolders(options);
  const char* damaged = options.operands[0];
  const std::string output =
      options.output ? options.output : FixedOutputPath(damaged, OutputMark(options));
  Repair repair = {options.operands, output.c_str(), options};
  repair.maps = options.maps.data();
  const std::string refusal = WriteRefusal(options.operands, output.c_str());
  return !refusal.empty() ? Refused(damaged, refusal, options.json) : RepairOne(repair);
}
