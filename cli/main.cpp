// orvalintex-cli: the zero-run check and the copy repair of Orvalintex for
// scripts and terminals, on the same core as the dialog program.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/fs.h"
#include "common/threshold.h"
#include "orvalintex_version.h"

static const char kProgram[] = "orvalintex-cli";

// A whole number of KB in decimal digits only, so that "010" is ten and no
// base prefix or sign slips through.
static std::string CheckThresholdKb(const std::string& text) {
  int64_t kb = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || (kb = kb * 10 + (c - '0')) > kMaxThresholdKb) {
      kb = 0;
      break;
    }
  }
  if (kb > 0) return std::string();
  return "takes a whole number of KB from 1 to " + std::to_string(kMaxThresholdKb) + ", not '" +
         text + "'";
}

// Help starts with both commands' usage lines, whichever command asked for it,
// and an option's column holds only its name and value: what it needs or
// rules out is said in its description.
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
           "  orvalintex-cli check [--threshold-kb N] [--no-skip-junk] [--json]\n"
           "                       [--all [--mapfile FILE]] FILE|FOLDER...\n"
           "  orvalintex-cli repair [--threshold-kb N] [--yes|--no] [--json] [--dry-run]\n"
           "                        [--mapfile FILE] DAMAGED SOURCE [SOURCE...] [-o OUTPUT]\n"
           "  orvalintex-cli repair [options] DIR DIR [DIR...] [-o DIR]\n";
  }
};

static int ShowHelp(const CLI::App& app) {
  WriteText(kStdout, app.get_formatter()->make_help(&app, kProgram, CLI::AppFormatMode::All));
  return kExitOk;
}

static int UsageError(const std::string& what) {
  WriteText(kStderr, std::string(kProgram) + ": " + what + "\nTry 'orvalintex-cli --help'.\n");
  return kExitUsage;
}

// The folder -o names for a folder repair: made when missing (one level, as
// mkdir does). Returns the exit status of the trouble, or 0.
static int OutputFolderTrouble(const std::string& folder) {
  const char* path = folder.c_str();
  if (folder.empty() || IsFolder(path)) return 0;
  if (SameFile(path, path))  // something other than a folder stands there
    return UsageError("with DAMAGED a folder: every SOURCE and OUTPUT are folders");
  const int error = MakeFolder(path);
  if (error == 0) return 0;
  WriteText(kStderr, std::string(kProgram) + ": cannot make the folder " + PathToUtf8(path) +
                         ": " + SystemErrorText(error) + "\n");
  return kExitTrouble;
}

static void AddCommonOptions(CLI::App* command, CliOptions* o, std::string* mapfile) {
  command
      ->add_option_function<std::string>(
          "--threshold-kb",
          [o](const std::string& kb) { o->threshold = static_cast<int32_t>(std::stol(kb) * 1024); },
          "damage threshold in KB (default 8)")
      ->type_name("N")
      ->check(CLI::Validator(CheckThresholdKb, ""))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  command->add_flag_callback(
      "--json", [o] { o->json = 1; },
      "one JSON object per file: path, result, offset,\nmessage, reason (and more: see the manual)");
  command->add_option("--mapfile", *mapfile,
                      "write the damaged ranges as a GNU ddrescue\nmapfile (check --all: of one file)")
      ->type_name("FILE");
}

int main(int argc, char** argv) {
  InstallStopHandler();
  CliOptions o{kDefaultErrorLength, 1, 0, kAskOnTerminal, nullptr, {}, 0, 0, nullptr};

  CLI::App app("Finds damage in files, runs of zero bytes such as unreadable sectors leave, and\n"
               "repairs a damaged file from a second, differently damaged copy of it.\n",
               kProgram);
  app.formatter(std::make_shared<Help>());
  app.require_subcommand(0, 1);
  app.set_help_flag("-h,--help", "show this help and exit");
  app.set_version_flag("--version", std::string(kProgram) + " " + ORVALINTEX_VERSION,
                       "show the version and exit");
  app.footer("Results: check: clean, damaged, error, stopped; repair: repaired, partial\n"
             "(written, but some ranges no copy holds), clean (nothing to repair),\n"
             "unrepairable (copies differ with no majority), declined, failed, missing\n"
             "and skipped (folders), stopped; a dry run: repairable, partial, ...\n\n"
             "Exit status: 0 all clean or repaired, 1 damage, partial or a failure,\n"
             "2 a usage error, 130 stopped by Ctrl-C (128+N by signal N).");

  CLI::App* check = app.add_subcommand(
      "check",
      "Looks for damage, a run of zero bytes at least as long as the threshold, in each\n"
      "file in turn and prints one line per file. A folder stands for the files directly\n"
      "inside it.");
  std::string mapfile;
  AddCommonOptions(check, &o, &mapfile);
  check->add_flag_callback("--all", [&o] { o.all = 1; },
                           "every zero run of each file, with its length");
  check->add_flag_callback("--no-skip-junk", [&o] { o.skipJunk = 0; },
                           "also check the payload of JUNK chunks in\nRIFF (AVI) files");
  std::vector<std::string> operands;
  check->add_option("FILE|FOLDER", operands, "the files to check")
      ->required()
      ->type_name("");

  CLI::App* repair = app.add_subcommand(
      "repair",
      "Rebuilds DAMAGED from other damaged copies of the same size: each zero byte of\n"
      "DAMAGED is taken from a SOURCE; where the copies differ, a majority of three or\n"
      "more decides. Writes name.fixed.ext beside DAMAGED unless -o names the output.\n"
      "With folders, each file of the first is repaired from its namesakes in the others\n"
      "(into the folder -o names): clean ones are passed over.");
  AddCommonOptions(repair, &o, &mapfile);
  repair->add_flag_callback("--dry-run", [&o] { o.dryRun = 1; },
                            "report what a repair would do; write nothing");
  CLI::Option* yes = repair->add_flag_callback(
      "-y,--yes", [&o] { o.answer = kAlwaysYes; },
      "the answer when all copies hold zeros over a\nwhole threshold: go on (default: ask on a\n"
      "terminal, else no); not with --no");
  repair->add_flag_callback("-n,--no", [&o] { o.answer = kAlwaysNo; },
                            "the answer: stop; not with --yes")
      ->excludes(yes);
  std::string output;
  repair->add_option("-o,--output", output,
                     "where repair writes; an existing file is\nreplaced only by a complete repair")
      ->type_name("OUTPUT");
  std::string damaged;
  std::vector<std::string> sources;
  repair->add_option("DAMAGED", damaged, "the damaged file, or a folder of them")
      ->required()
      ->type_name("");
  repair->add_option("SOURCE", sources, "the other copies, the repair sources")
      ->required()
      ->type_name("");

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
  if (repair->parsed() && repair->count("-o") && output.empty())
    return UsageError("--output: the output name is empty");
  if (check->parsed() && !mapfile.empty() && (!o.all || operands.size() != 1))
    return UsageError("--mapfile: check writes one with --all, of one file");
  if (repair->parsed() && IsFolder(damaged.c_str())) {
    const auto isFolder = [](const std::string& s) { return IsFolder(s.c_str()); };
    if (!mapfile.empty() || !std::all_of(sources.begin(), sources.end(), isFolder))
      return UsageError("with DAMAGED a folder: every SOURCE and OUTPUT are folders, "
                        "and no --mapfile");
    if (const int trouble = OutputFolderTrouble(output)) return trouble;
  }
  if (!mapfile.empty()) o.mapfile = mapfile.c_str();
  int status;
  if (repair->parsed()) {
    o.operands = {damaged.c_str()};
    for (const std::string& source : sources) o.operands.push_back(source.c_str());
    if (repair->count("-o")) o.output = output.c_str();
    status = RunRepair(o);
  } else if (check->parsed()) {
    for (const std::string& operand : operands) o.operands.push_back(operand.c_str());
    status = RunCheck(o);
  } else {
    return app.got_subcommand("help") ? ShowHelp(app) : UsageError("no command given");
  }
  // Lost output must not pass for success, as with the GNU tools.
  if (!StdoutFailed()) return status;
  WriteText(kStderr, std::string(kProgram) + ": write error: standard output\n");
  return status > kExitTrouble ? status : kExitTrouble;
}
