// Damage maps in GNU ddrescue's mapfile format, so that a user who still has
// the original medium can have ddrescue read exactly the damaged ranges again.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_range.h"

// The mapfile of a file of size bytes: comment lines, the status line (copying
// non-tried blocks from 0, pass 1), then one "pos size status" line per block,
// in 0x hexadecimal, covering 0..size without gap or overlap. The damaged ranges
// (in offset order, inside the file; touching ones are joined) are non-tried
// ('?'), the rest finished ('+').
std::string MapfileText(uint64_t size, const std::vector<ByteRange>& damaged);
