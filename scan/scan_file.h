// Checks one file for damage.
#pragma once
#include <cstdint>

#include "common/outcome.h"

// Scans the file at path for a zero run of threshold bytes (threshold >= 1),
// passing over the payload of JUNK chunks in a RIFF file when skipJunk is set,
// and calls KeepGoing(kChecking, ...) after every block without damage.
// Returns kClean when the file is clean (or the stop came after its last
// block), kDamaged at the run's first zero, kStopped when a stop came earlier,
// or what kept the file from being read; all but kClean are told.
Outcome ScanFile(const char* path, int32_t threshold, int skipJunk);

// 1 when a file's first block, at offset at and n bytes long, starts with
// "RIFF": JUNK chunks are then passed over where that is asked for.
int StartsRiff(const uint8_t* block, uint32_t n, uint64_t at);
