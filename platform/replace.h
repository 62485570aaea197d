// Every file the command line writes takes its place whole or not at all: it
// is written into a partial file beside it, which a stop removes, and renamed
// over it once complete and durable. An earlier file stays until then.
#pragma once
#include <string>

#include "common/file_io.h"

struct Replacement {
  std::string partial;        // the partial file's path, beside the final one
  FileHandle file = kNoFile;  // open for writing through this handle, never by name
  int error = 0;              // the system's error of the step that failed
};

// Makes the partial file beside path (its mode as CreatePartialFile gives it)
// and guards it: a stop from now on removes it and writes stoppedLine (may be
// empty). Returns 0, with r->error, when no file can be made.
int BeginReplacement(Replacement* r, const char* path, const char* like,
                     const std::string& stoppedLine);

// Writes text whole as the file at path, through a replacement made like
// path (a stop leaves nothing). Returns 0, with *error, when it cannot.
int WriteWholeFile(const char* path, const std::string& text, FileError* error);

// With keep, and no stop requested: makes the written bytes durable and puts
// the file in path's place; else, or when that fails (r->error), removes it.
// Ends the guard. Returns 1 when the file took path's place.
int EndReplacement(Replacement* r, const char* path, int keep);
