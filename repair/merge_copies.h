// Merging any number of copies of one file: the damaged copy first, then the
// sources. Each zero of the damaged copy is taken from the first source that
// holds a non-zero byte there; where the copies' non-zero bytes differ, a
// value held by more than half of the copies that hold one there wins. With
// one source that never happens: the two copies must agree.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/block_pass.h"
#include "common/byte_range.h"
#include "common/copy_map.h"
#include "common/file_io.h"
#include "common/outcome.h"

// What a merge found, added to block by block.
struct MergeReport {
  std::vector<uint64_t> taken;        // per source: bytes taken from it that the damaged copy lacks
  uint64_t voted;                     // positions decided by a majority
  std::vector<ByteRange> votedRanges;
  std::vector<ByteRange> unsupplied;  // no copy holds them: at least threshold long, or marked
  uint64_t size;                      // of each copy, once all are open
};

// Carried from block to block; all zero at the merge's start.
struct MergeState {
  int32_t counter = 0;    // the zero-run counter: positions no copy holds since every copy
                          // last held one byte, up to threshold
  int asked = 0;          // 1 once the question has been put, or is never to be
  uint64_t stretch = 0;   // positions no copy holds, up to here
  uint64_t position = 0;  // offset of the next position
  int reached = 0;        // 1 when the last call stopped where the counter came to threshold
};

// Merges copies[1..count)[0..n) into copies[0][0..n) in place (threshold >= 1;
// report->taken holds count - 1 counters). A copy holds a byte that is not
// zero, and every byte where all (null: none) has a 1 for it; a majority is
// one of the copies that hold a byte. Returns the positions passed: n;
// or, unless s->asked, (index + 1) of the position where s->counter reached
// threshold, with s->reached set; or the index of the first position without
// a majority (left untouched).
uint32_t MergeBlock(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                    int32_t threshold, const uint8_t* all, MergeReport* report);

struct MergeJob {
  const char* const* paths;  // count >= 1 copies of one size, the damaged copy first
  int count;
  int32_t threshold;         // >= 1
  const char* makeOutput;    // made anew once the copies are open and agree in size, or null
  FileHandle output;         // without makeOutput: the caller's open output, which it closes;
                             // kNoFile for a dry run, which asks nothing and writes nothing
  const CopyMap* maps;       // null, or one per copy
  int markers;               // 1: dvdisaster's dead sectors are missing
  int ask;                   // 1: the continue question as the shared zeros reach the
                             // threshold; 0: none, the caller judges the unsupplied ranges
  ByteWatch watch;           // sees the merged bytes
};

// A merge of paths[0..count) with threshold, asking as the dialog program
// does, and nothing else: no output, no maps, no markers; the fields are then
// set by name.
inline MergeJob MergeOf(const char* const* paths, int count, int32_t threshold) {
  MergeJob job = {};
  job.paths = paths;
  job.count = count;
  job.threshold = threshold;
  job.output = kNoFile;
  job.ask = 1;
  return job;
}

// Whether a merge that went through changes nothing: it took no byte into the
// damaged copy, decided none by a vote, and of the ranges no copy holds left
// lacking (those that are no padding) none.
int ChangesNothing(const MergeReport& report, size_t lacking);

// Merges the copies block by block into the output, asking (where job.ask
// says) at most once whether to go on past a stretch that no copy can supply,
// calling KeepGoing(kMerging, ...) after every block. Returns kMerged when the whole
// file has been merged; else the outcome that ended it, told (a No to the
// question is kDeclined). *report is filled anew with what was found up to
// there; *outputMade (may be null) as RunBlockPass gives it.
Outcome MergeCopies(const MergeJob& job, MergeReport* report, int* outputMade);
