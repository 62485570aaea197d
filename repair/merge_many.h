// Merging any number of copies of one file: the damaged copy first, then the
// sources. Where the copies' non-zero bytes differ, a value held by more than
// half of the copies that hold a non-zero byte there wins; with one source that
// never happens, and the merge is the two-copy merge.
#pragma once
#include <cstdint>
#include <vector>

#include "common/byte_range.h"
#include "common/file_io.h"

// What a merge found, added to block by block.
struct MergeReport {
  std::vector<uint64_t> taken;        // per source: bytes taken from it into the damaged copy's zeros
  uint64_t voted;                     // positions decided by a majority
  std::vector<ByteRange> votedRanges;
  std::vector<ByteRange> unsupplied;  // all copies zero, at least threshold long
  uint64_t size;                      // of each copy, once all are open
};

// Carried from block to block; all zero at the merge's start.
struct MergeState {
  int32_t zeroRun;    // shared zeros since all copies last held one byte, up to threshold
  int asked;          // 1 once the question has been put, or is never to be
  uint64_t stretch;   // positions where all copies hold 0, up to here
  uint64_t position;  // offset of the next position
};

// Merges copies[1..count)[0..n) into copies[0][0..n) in place (threshold >= 1;
// report->taken holds count - 1 counters). Returns the positions passed: n;
// or, unless s->asked, (index + 1) of the position where s->zeroRun reached
// threshold; or the index of the first position without a majority (left
// untouched).
uint32_t MergeManyBlock(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                        int32_t threshold, MergeReport* report);

// Merges the files at paths[0..count) (count >= 2, damaged copy first, one size)
// into output, which the caller has made and will close, asking at most once
// whether to go on past a stretch that no copy can supply. With output kNoFile
// it is a dry run: nothing is asked or written. Returns 1 when the whole file
// has been merged, 0 otherwise, after telling the user why (or after the user
// chose to stop); *report is filled anew with what was found up to there.
int MergeMany(FileHandle output, const char* const* paths, int count, int32_t threshold,
              MergeReport* report);
