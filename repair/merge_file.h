// Makes one repaired file out of two damaged copies.
#pragma once
#include "common/file_io.h"

// Merges damaged with source (same size) into output, block by block, asking
// at most once whether to go on past a stretch that neither copy can supply.
// Returns 1 when the whole output has been written, 0 otherwise, after telling
// the user why (or after the user chose to stop). *outputMade (may be null) is
// set to 1 when this call created or truncated the output file, else 0: only
// then may a caller delete it after a failure.
int Merge(const char* output, const char* damaged, const char* source, int* outputMade);


// Asks whether to go on past the stretch at offset that no copy can supply;
// 1 when the user answers Yes. Shared with the merge of several copies.
int AskToGoOn(uint64_t offset);
