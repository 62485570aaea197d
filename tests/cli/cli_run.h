// Runs the built orvalintex-cli as a separate process, the way a script or a
// person at a terminal does, and reads what it printed.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What the program wrote is given as UTF-8, read the way a reader of its
// output does: on Windows in the console's code page.
struct CliRun {
  int status;        // exit status; 128 + the signal number when a signal ended it
  std::string out;   // everything written to stdout
  std::string err;   // everything written to stderr
};

// stdin is empty and no stream is a terminal. One implementation for POSIX
// and one for Windows.
CliRun RunCli(const std::vector<std::string>& args);

// The lines of text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// One flat JSON object of string and null values, its strings decoded to
// UTF-8; a null value reads as the key's absence from values, listed in nulls.
struct JsonObject {
  std::map<std::string, std::string> values;
  std::vector<std::string> nulls;
};

// Returns false when line is not exactly such an object.
bool ParseJsonObject(const std::string& line, JsonObject* object);

// Deterministic file contents with no zero byte in them.
std::vector<uint8_t> NonZeroBytes(size_t size, unsigned seed);

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::string& dir);
