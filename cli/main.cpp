// orvalintex-cli: the zero-run check and the copy repair of Orvalintex for
// scripts and terminals, on the same core as the dialog program.
#include <string>

#include "cli/commands.h"
#include "cli/console.h"

static const char kUsage[] =
    "Usage:\n"
    "  orvalintex-cli check [--threshold-kb N] [--no-skip-junk] [--json] FILE|FOLDER...\n"
    "  orvalintex-cli repair [--threshold-kb N] [--yes|--no] [--json] DAMAGED SOURCE [-o OUTPUT]\n"
    "\n"
    "check   Looks for damage, a run of zero bytes at least as long as the threshold,\n"
    "        in each file in turn and prints one line per file. A folder stands for\n"
    "        the files directly inside it.\n"
    "repair  Rebuilds DAMAGED from SOURCE, a second damaged copy of the same size:\n"
    "        each zero byte of DAMAGED is taken from SOURCE. Writes name.fixed.ext\n"
    "        beside DAMAGED unless -o names the output.\n"
    "\n"
    "Options:\n"
    "  --threshold-kb N   damage threshold in KB (default 8)\n"
    "  --no-skip-junk     also check the payload of JUNK chunks in RIFF (AVI) files\n"
    "  --yes, --no        the answer when both copies hold zeros over a whole\n"
    "                     threshold: go on or stop (default: ask on a terminal, else no)\n"
    "  -o, --output FILE  where repair writes; an existing file is replaced only\n"
    "                     by a complete repair\n"
    "  --json             one JSON object per file: path, result, offset, message\n"
    "  -h, --help         this text\n"
    "\n"
    "Exit status: 0 all clean or repaired, 1 damage or a failure, 2 a usage error,\n"
    "130 stopped by Ctrl-C.\n";

int main(int argc, char** argv) {
  InstallStopHandler();
  CliOptions options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    WriteText(kStderr, "orvalintex-cli: " + error + "\nTry 'orvalintex-cli --help'.\n");
    return kExitUsage;
  }
  switch (options.command) {
    case kCheck:
      return RunCheck(options);
    case kRepair:
      return RunRepair(options);
    case kHelp:
      break;
  }
  WriteText(kStdout, kUsage);
  return kExitOk;
}
