// Damage maps in GNU ddrescue's mapfile format, so that a user who still has
// the original medium can have ddrescue read exactly the damaged ranges again.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/byte_range.h"
#include "common/copy_map.h"

// The mapfile of a file of size bytes: comment lines, the status line (copying
// non-tried blocks from 0, pass 1), then one "pos size status" line per block,
// in 0x hexadecimal, covering 0..size, or to the end of the last damaged range
// when that lies past it (a tail the file lacks), without gap or overlap. The
// damaged ranges (in offset order; touching ones are joined, whatever their
// causes) are non-tried ('?'), the rest finished ('+').
std::string MapfileText(uint64_t size, const std::vector<ByteRange>& damaged);

// Reads a mapfile as GNU ddrescue writes it and its manual allows: "#"
// comments at a line's start or after blanks; the status line (position,
// one of ?*/-FG+, an optional positive decimal pass); then "pos size status"
// lines, numbers in decimal, 0x hexadecimal or 0 octal, status one of ?*/-+,
// the blocks starting at 0, each where the last ended. map->rescued gets the
// finished ('+') blocks, joined, and map->extent where the last block ends.
// Returns an empty text, or "line N: " and what is wrong there.
std::string ReadMapfile(const std::string& text, CopyMap* map);
