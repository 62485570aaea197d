// Checks one file for damage.
#pragma once
#include <cstdint>

#include "common/block_pass.h"
#include "common/copy_map.h"
#include "common/outcome.h"

// What a check counts as damage.
struct CheckRules {
  int32_t threshold;    // a run of this many zeros (>= 1), passing over the payload of JUNK
  int skipJunk;         // chunks in a RIFF file when skipJunk is set
  const CopyMap* map;   // null, or the file's mapfile: then what it misses, and no zero run
  int markers;          // 1: dvdisaster's dead sectors too
  ByteWatch watch;      // sees the file's bytes
};

// The rules of a threshold and the JUNK choice, and nothing else: no map, no
// markers, no watch; the fields are then set by name.
inline CheckRules RulesOf(int32_t threshold, int skipJunk) {
  CheckRules rules = {};
  rules.threshold = threshold;
  rules.skipJunk = skipJunk;
  return rules;
}

// Scans the file at path for its first damage, calling KeepGoing(kChecking,
// ...) after every block without damage. Returns kClean when the file is
// clean (or the stop came after its last block), kDamaged at the first byte of
// the damage, kStopped when a stop came earlier, or what kept the file from
// being read; all but kClean are told.
Outcome ScanFile(const char* path, const CheckRules& rules);

// 1 when a file's first block, at offset at and n bytes long, starts with
// "RIFF": JUNK chunks are then passed over where that is asked for.
int StartsRiff(const uint8_t* block, uint32_t n, uint64_t at);
