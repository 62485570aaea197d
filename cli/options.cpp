#include "cli/options.h"

#include <cstdint>
#include <cstring>

#include "common/settings.h"

// The threshold is given in KB and kept in bytes as a signed 32-bit count.
static const int32_t kMaxThresholdKb = INT32_MAX / 1024;

static int ParseThresholdKb(const char* text, int32_t* bytes) {
  int32_t kb = 0;
  if (*text == '\0') return 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return 0;
    if (kb > (kMaxThresholdKb - (*p - '0')) / 10) return 0;
    kb = kb * 10 + (*p - '0');
  }
  if (kb == 0) return 0;
  *bytes = kb * 1024;
  return 1;
}

// "--name value" or "--name=value": *value is set and *i moved past what was used.
static int TakeValue(int argc, char** argv, int* i, const char* name, const char** value,
                     std::string* error) {
  const char* arg = argv[*i];
  size_t length = std::strlen(name);
  if (arg[length] == '=') {
    *value = arg + length + 1;
    return 1;
  }
  if (*i + 1 >= argc) {
    *error = std::string(name) + " needs a value";
    return 0;
  }
  *value = argv[++*i];
  return 1;
}

static int Is(const char* arg, const char* name) {
  size_t length = std::strlen(name);
  return std::strncmp(arg, name, length) == 0 && (arg[length] == '\0' || arg[length] == '=');
}

static int ParseOption(int argc, char** argv, int* i, CliOptions* o, std::string* error) {
  const char* arg = argv[*i];
  const char* value = nullptr;
  const int repair = o->command == kRepair;
  if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
    o->command = kHelp;
  } else if (std::strcmp(arg, "--json") == 0) {
    o->json = 1;
  } else if (Is(arg, "--threshold-kb")) {
    if (!TakeValue(argc, argv, i, "--threshold-kb", &value, error)) return 0;
    if (!ParseThresholdKb(value, &o->threshold)) {
      *error = "--threshold-kb takes a whole number of KB from 1 to " +
               std::to_string(kMaxThresholdKb) + ", not '" + value + "'";
      return 0;
    }
  } else if (!repair && std::strcmp(arg, "--no-skip-junk") == 0) {
    o->skipJunk = 0;
  } else if (repair && (std::strcmp(arg, "--yes") == 0 || std::strcmp(arg, "-y") == 0)) {
    o->answer = kAlwaysYes;
  } else if (repair && (std::strcmp(arg, "--no") == 0 || std::strcmp(arg, "-n") == 0)) {
    o->answer = kAlwaysNo;
  } else if (repair && (std::strcmp(arg, "-o") == 0 || Is(arg, "--output"))) {
    if (!TakeValue(argc, argv, i, std::strcmp(arg, "-o") == 0 ? "-o" : "--output", &value, error))
      return 0;
    if (o->output) {
      *error = "only one output file can be named";
      return 0;
    }
    o->output = value;
  } else {
    *error = std::string("unknown option '") + arg + "' for " + (repair ? "repair" : "check");
    return 0;
  }
  return 1;
}

int ParseOptions(int argc, char** argv, CliOptions* o, std::string* error) {
  *o = CliOptions{kHelp, kDefaultErrorLength, 1, 0, kAskOnTerminal, nullptr, {}};
  if (argc < 2) {
    *error = "no command given";
    return 0;
  }
  const char* command = argv[1];
  if (std::strcmp(command, "check") == 0) {
    o->command = kCheck;
  } else if (std::strcmp(command, "repair") == 0) {
    o->command = kRepair;
  } else if (std::strcmp(command, "--help") == 0 || std::strcmp(command, "-h") == 0 ||
             std::strcmp(command, "help") == 0) {
    return 1;
  } else {
    *error = std::string("unknown command '") + command + "'";
    return 0;
  }

  int yes = 0, no = 0, optionsEnded = 0;
  for (int i = 2; i < argc; ++i) {
    const char* arg = argv[i];
    if (optionsEnded || arg[0] != '-' || arg[1] == '\0') {
      o->operands.push_back(arg);
    } else if (std::strcmp(arg, "--") == 0) {
      optionsEnded = 1;
    } else {
      if (!ParseOption(argc, argv, &i, o, error)) return 0;
      if (o->command == kHelp) return 1;
      yes |= o->answer == kAlwaysYes;
      no |= o->answer == kAlwaysNo;
    }
  }
  if (yes && no) {
    *error = "--yes and --no exclude each other";
    return 0;
  }
  if (o->command == kCheck && o->operands.empty()) {
    *error = "check needs at least one file or folder";
    return 0;
  }
  if (o->command == kRepair && o->operands.size() != 2) {
    *error = "repair needs the damaged file and the repair source, in that order";
    return 0;
  }
  return 1;
}
