// orvalintex-cli: Orvalintex's check and repair for scripts and terminals.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "platform/console.h"
#include "platform/fs.h"
#include "report/report.h"
#include "report/words.h"
#include "common/output_name.h"
#include "common/threshold.h"
#include "orvalintex_version.h"
#include "scan/mapfile.h"

static const char kProgram[] = "orvalintex-cli";

// What the command line named, before it is checked.
struct Named {
  std::string damaged;                // repair
  std::vector<std::string> operands;  // check: files and folders; repair: the sources
  std::string output, mapfile;
  std::vector<std::string> maps;      // --map: a copy, its mapfile, a copy, ...
};

// A whole number of KB in decimal digits only, so that "010" is ten and no
// base prefix or sign slips through.
static std::string CheckThresholdKb(const std::string& text) {
  int64_t kb = 0;  // past the largest it stays there
  for (char c : text)
    kb = c < '0' || c > '9' || kb > kMaxThresholdKb ? kMaxThresholdKb + 1 : kb * 10 + (c - '0');
  if (kb > 0 && kb <= kMaxThresholdKb) return std::string();
  return "takes a whole number of KB from 1 to " + std::to_string(kMaxThresholdKb) + ", not '" +
         text + "'";
}

// Help starts with both commands' usage lines, whichever command asked; an
// option's column holds its name and value, its description the rest.
class Help : public CLI::Formatter {
 public:
  Help() { label("Positionals", "Operands"); }
  std::string make_option_opts(const CLI::Option* option) const override {
    const std::string value = option->get_type_name();
    return value.empty() ? value : " " + value;
  }
  std::string make_usage(const CLI::App* app, std::string name) const override {
    if (app->get_parent()) return CLI::Formatter::make_usage(app, name);
    return "Usage:\n"
           "  orvalintex-cli check [--threshold-kb N] [--no-skip-junk] [--json] [--no-markers]\n"
           "                       [--map FILE MAPFILE]... [--all [--mapfile FILE]]\n"
           "                       FILE|FOLDER...\n"
           "  orvalintex-cli repair [--threshold-kb N] [--yes|--no] [--json] [--dry-run]\n"
           "                        [--no-markers] [--map COPY MAPFILE]... [--mapfile FILE]\n"
           "                        DAMAGED SOURCE [SOURCE...] [-o OUTPUT]\n"
           "  orvalintex-cli repair --playable [options] DAMAGED [SOURCE...] [-o OUTPUT]\n"
           "  orvalintex-cli repair [options] DIR DIR [DIR...] [-o DIR]\n";
  }
};

// The whole help, whichever command asked for it.
static int ShowHelp(const CLI::App& app) {
  WriteText(kStdout, app.get_formatter()->make_help(&app, kProgram, CLI::AppFormatMode::All));
  return kExitOk;
}

// The words may hold what the command line gave: no control character of it
// reaches the terminal.
static int UsageError(const std::string& what) {
  WriteText(kStderr, std::string(kProgram) + ": " + Printable(what) +
                         "\nTry 'orvalintex-cli --help'.\n");
  return kExitUsage;
}

static int Trouble(const std::string& what) {
  WriteText(kStderr, std::string(kProgram) + ": " + Printable(what) + "\n");
  return kExitTrouble;
}

static void AddCommonOptions(CLI::App* command, CliOptions* o, Named* named) {
  command
      ->add_option_function<std::string>(
          "--threshold-kb",
          [o](const std::string& kb) { o->threshold = static_cast<int32_t>(std::stol(kb) * 1024); },
          "damage threshold in KB (default 8)")
      ->type_name("N")
      ->check(CLI::Validator(CheckThresholdKb, ""))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  command->add_flag_callback("--json", [o] { o->json = 1; },
                             "one JSON object per file: path, result, offset,\n"
                             "message, reason (and more: see the manual)");
  command->add_option("--map", named->maps,
                      "a GNU ddrescue mapfile of a file named: its\nfinished blocks are held, "
                      "zeros too, the rest\nis missing; once for each mapped file")
      ->type_name("FILE MAPFILE")
      ->expected(2)
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command->add_flag_callback("--no-markers", [o] { o->markers = 0; },
                             "dvdisaster's dead-sector markers are data,\nnot missing sectors");
}

static CLI::App* AddCheck(CLI::App* app, CliOptions* o, Named* named) {
  CLI::App* check = app->add_subcommand(
      "check",
      "Looks for damage in each file in turn and reports it: a run of zero bytes at\n"
      "least as long as the threshold, what a mapfile says was not rescued, a dead\n"
      "sector. A folder stands for the files directly inside it.");
  AddCommonOptions(check, o, named);
  check->add_flag_callback("--all", [o] { o->all = 1; },
                           "every damaged range of each file, with its length");
  check->add_flag_callback("--no-skip-junk", [o] { o->skipJunk = 0; },
                           "also check the payload of JUNK chunks in\nRIFF (AVI) files");
  check->add_option("--mapfile", named->mapfile,
                    "with --all, of one file: write its damaged\nranges as a GNU ddrescue mapfile")
      ->type_name("FILE");
  check->add_option("FILE|FOLDER", named->operands, "the files to check")
      ->required()
      ->type_name("");
  return check;
}

static CLI::App* AddRepair(CLI::App* app, CliOptions* o, Named* named) {
  CLI::App* repair = app->add_subcommand(
      "repair",
      "Rebuilds DAMAGED from other damaged copies of the same size: each byte DAMAGED\n"
      "lacks is taken from a SOURCE that holds it; where the copies differ, a majority of\n"
      "three or more decides. Writes name.fixed.ext beside DAMAGED unless -o names the\n"
      "output. With folders, each file of the first is repaired from its namesakes in the\n"
      "others (into the folder -o names). A repair that would change nothing is clean.");
  AddCommonOptions(repair, o, named);
  repair->add_flag_callback("--dry-run", [o] { o->dryRun = 1; },
                            "report what a repair would do; write nothing");
  repair->add_option("--mapfile", named->mapfile,
                     "write the ranges no copy holds as a GNU\nddrescue mapfile, for ddrescue to "
                     "read them\nagain into the output")
      ->type_name("FILE");
  CLI::Option* yes = repair->add_flag_callback(
      "-y,--yes", [o] { o->answer = kAlwaysYes; },
      "the answer when a range no copy holds is no\npadding: go on (default: ask on a "
      "terminal,\nelse no); not with --no");
  repair->add_flag_callback("-n,--no", [o] { o->answer = kAlwaysNo; },
                            "the answer: stop; not with --yes")
      ->excludes(yes);
  repair->add_option("-o,--output", named->output,
                     "where repair writes; an existing file is\nreplaced only by a complete repair")
      ->type_name("OUTPUT");
  repair->add_option("DAMAGED", named->damaged, "the damaged file, or a folder of them")
      ->required()
      ->type_name("");
  repair->add_flag_callback("--playable", [o] { o->playable = 1; },
                            "make the repaired AVI file playable where no\ncopy holds frames: "
                            "drop them, silence audio;\nSOURCE may be left out");
  repair->add_option("SOURCE", named->operands, "the other copies, the repair sources")
      ->type_name("");
  return repair;
}

// The folder -o names for a folder repair, made when missing (one level).
// Returns the exit status of the trouble, or 0.
static int OutputFolderTrouble(const std::string& folder) {
  const char* path = folder.c_str();
  if (folder.empty() || IsFolder(path)) return 0;
  if (SameFile(path, path))  // something other than a folder stands there
    return UsageError("with DAMAGED a folder: every SOURCE and OUTPUT are folders");
  const int error = MakeFolder(path);
  return error == 0 ? 0 : Trouble("cannot make the folder " + Quoted(path) + ": " +
                                  SystemErrorText(error));
}

// The operand naming copy's file, or the count of operands.
static size_t OperandOf(const Named& named, const CliOptions& o, const char* copy) {
  size_t k = 0;
  while (k < o.operands.size() && named.operands[k] != copy && !SameFile(o.operands[k], copy)) ++k;
  return k;
}

// Each --map names one operand once and is read before anything else: a
// malformed one, or one of another size than its copy, stops the command.
static int ReadMaps(const Named& named, CliOptions* o) {
  o->maps.assign(o->operands.size(), CopyMap{0, {}, 0});
  for (size_t m = 0; m + 1 < named.maps.size(); m += 2) {
    const char* copy = named.maps[m].c_str();
    const char* mapfile = named.maps[m + 1].c_str();
    const size_t k = OperandOf(named, *o, copy);
    if (k == o->operands.size() || IsFolder(copy))
      return UsageError("--map: " + Quoted(copy) + " is none of the files named");
    if (o->maps[k].mapped) return UsageError("--map: " + Quoted(copy) + " is given two mapfiles");
    std::string text;
    FileError error;
    if (!ReadSmallFile(mapfile, &text, &error))
      return Trouble("cannot read the mapfile " + Quoted(mapfile) + ": " + FileErrorText(error));
    const std::string wrong = ReadMapfile(text, &o->maps[k]);
    if (!wrong.empty()) return Trouble(Quoted(mapfile) + ": " + wrong);
    uint64_t size = 0;
    if (SizeOf(o->operands[k], &size) && size != o->maps[k].extent)
      return Trouble(Quoted(mapfile) + " covers " + std::to_string(o->maps[k].extent) +
                     " bytes, " + Quoted(copy) + " has " + std::to_string(size));
  }
  return 0;
}

// An output that names an input, or the other output, is refused naming both.
static int SamePlaceTrouble(const char* option, const char* output,
                            const std::vector<const char*>& others) {
  for (const char* other : others)
    if (other != output && SamePlace(output, other))
      return UsageError(std::string(option) + ": " + Quoted(output) + " and " + Quoted(other) +
                        " are the same file");
  return 0;
}

// The folder form: folders only, no maps, and an output folder none of them.
static int FolderRefusal(const Named& named, const CliOptions& o) {
  const auto isFolder = [](const char* p) { return IsFolder(p); };
  if (!named.mapfile.empty() || !named.maps.empty() ||
      !std::all_of(o.operands.begin(), o.operands.end(), isFolder))
    return UsageError("with DAMAGED a folder: every SOURCE and OUTPUT are folders, "
                      "and no --map or --mapfile");
  if (o.output)
    if (const int same = SamePlaceTrouble("--output", o.output, o.operands)) return same;
  return OutputFolderTrouble(named.output);
}

// What the command line asks for that cannot be, before anything is read. A
// repair's output in a folder goes into it under the damaged file's name.
static int Refusal(bool repairing, const CLI::App* repair, Named* named, CliOptions* o) {
  if (repairing && repair->count("-o") && named->output.empty())
    return UsageError("--output: the output name is empty");
  if (!repairing && o->mapfile && (!o->all || o->operands.size() != 1 || IsFolder(o->operands[0])))
    return UsageError("--mapfile: check writes one with --all, of one file");
  if (repairing && o->operands.size() < 2 && !o->playable)
    return UsageError("SOURCE is required (without --playable)");
  if (repairing && IsFolder(o->operands[0])) return FolderRefusal(*named, *o);
  if (repairing) {
    const char* damaged = o->operands[0];
    if (!o->output) named->output = FixedOutputPath(damaged, OutputMark(*o));
    if (IsFolder(named->output.c_str()))
      named->output = JoinPath(named->output.c_str(), damaged + FolderPrefix(damaged).size());
    o->output = named->output.c_str();
    if (const int same = SamePlaceTrouble("--output", o->output, o->operands)) return same;
  }
  std::vector<const char*> written = o->operands;
  if (o->output) written.push_back(o->output);
  return o->mapfile ? SamePlaceTrouble("--mapfile", o->mapfile, written) : 0;
}

int main(int argc, char** argv) {
  InstallStopHandler();
  CliOptions o;
  Named named;
  CLI::App app("Finds damage in files, runs of zero bytes such as unreadable sectors leave, and\n"
               "repairs a damaged file from other, differently damaged copies of it.\n",
               kProgram);
  app.formatter(std::make_shared<Help>());
  app.require_subcommand(0, 1);
  app.set_help_flag("-h,--help", "show this help and exit");
  app.set_version_flag("--version", std::string(kProgram) + " " + ORVALINTEX_VERSION,
                       "show the version and exit");
  app.footer("Results: check: clean, damaged, error, stopped; repair: repaired, partial\n"
             "(written, but some ranges no copy holds), clean (the merge changes nothing),\n"
             "unrepairable (copies differ with no majority), declined, failed, missing\n"
             "and skipped (folders), stopped; a dry run: repairable, partial, ...\n\n"
             "Exit status: 0 all clean or repaired, 1 damage, partial or a failure,\n"
             "2 a usage error, 130 stopped by Ctrl-C (128+N by signal N).");
  const CLI::App* check = AddCheck(&app, &o, &named);
  const CLI::App* repair = AddRepair(&app, &o, &named);
  app.add_subcommand("help", "show this help, as --help does")->allow_extras();
  for (CLI::App* command : app.get_subcommands({})) command->group("Commands");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    return ShowHelp(app);
  } catch (const CLI::CallForVersion& e) {
    WriteText(kStdout, std::string(e.what()) + "\n");
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    return UsageError(e.what());
  }
  if (!check->parsed() && !repair->parsed()) {
    return app.got_subcommand("help") ? ShowHelp(app) : UsageError("no command given");
  }
  if (repair->parsed()) named.operands.insert(named.operands.begin(), named.damaged);
  for (const std::string& operand : named.operands) o.operands.push_back(operand.c_str());
  if (repair->count("-o")) o.output = named.output.c_str();
  if (!named.mapfile.empty()) o.mapfile = named.mapfile.c_str();
  const bool repairing = repair->parsed();
  if (const int refused = Refusal(repairing, repair, &named, &o)) return refused;
  if (const int trouble = ReadMaps(named, &o)) return trouble;
  const int status = repairing ? RunRepair(o) : RunCheck(o);
  // Lost output must not pass for success, as with the GNU tools.
  if (!StdoutFailed()) return status;
  Trouble("write error: standard output");
  return status > kExitTrouble ? status : kExitTrouble;
}
