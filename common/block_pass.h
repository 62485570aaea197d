// One pass over one or more files in step, block by block. Every file
// operation of the core (the check, the damage map, the merges) is this loop
// with a block function of its own.
#pragma once
#include <cstdint>

#include "common/file_io.h"
#include "common/host.h"
#include "common/outcome.h"

// Something that reads a file's structure as a pass goes by: it sees the
// file's bytes in order (in a merge, the merged ones).
struct ByteWatch {
  void (*see)(void* context, const uint8_t* bytes, uint32_t n);  // null: no watch
  void* context;
};

// Handles blocks[k][0..n), the block of input k at file offset at (a merge
// merges into blocks[0], which is what gets written), with left bytes from at
// to the end of the files. Returns 1 to go on, or 0 to end the pass there with
// *ending filled in, which the pass tells while every file is still held.
typedef int (*BlockFn)(void* context, uint8_t* const* blocks, uint32_t n, uint64_t at,
                       uint64_t left, Outcome* ending);

struct BlockPass {
  const char* const* paths;  // the inputs, read in step; count >= 1, all of the first's size
  int count;
  Work work;                 // what KeepGoing hears; kChecking: one file checked
  const char* makeOutput;    // made anew once the inputs are open and agree in size, or null
  FileHandle output;         // without makeOutput: the caller's open output, or kNoFile
  OutcomeKind whole;         // the outcome when every block went through
  BlockFn handle;
  void* context;
};

// A pass over the inputs with no output, whole its outcome when every block went through.
inline BlockPass OnePass(const char* const* paths, int count, Work work, OutcomeKind whole,
                         BlockFn handle, void* context) {
  BlockPass pass;
  pass.paths = paths;
  pass.count = count;
  pass.work = work;
  pass.makeOutput = nullptr;
  pass.output = kNoFile;
  pass.whole = whole;
  pass.handle = handle;
  pass.context = context;
  return pass;
}

// Opens the inputs in order, takes their size, makes the output, takes one
// buffer, then block after block reads each input, hands the blocks over,
// writes the first and calls KeepGoing; at the end frees the buffer and closes
// the output it made and the inputs, last first. Tells every early end, as
// common/host.h says. *size (may be null) gets the inputs' size once it is
// known. *outputMade (may be null) is set to 1 when the pass made the output,
// else 0: only then may a caller delete it after a failure.
Outcome RunBlockPass(const BlockPass& pass, uint64_t* size, int* outputMade);
