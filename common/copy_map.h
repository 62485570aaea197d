// What a copy of a file holds. Without more to go on, a byte is held when it
// is not zero. A mapfile of the tool that made the copy (GNU ddrescue) knows
// better: its finished blocks are held whatever they hold, zeros included, and
// every other byte is missing. dvdisaster writes each sector it could not read
// as a dead-sector marker: such a sector is missing whatever else it holds.
#pragma once
#include <cstdint>
#include <vector>

#include "common/byte_range.h"

struct CopyMap {
  int mapped;                      // 1 when a mapfile was given for the copy
  std::vector<ByteRange> rescued;  // its finished blocks, in order and joined
  uint64_t extent;                 // where its last block ends
};

// How a copy holds the bytes of one stretch of a block.
enum Holding : uint8_t {
  kHoldsNonZero,  // the bytes that are not zero
  kHoldsAll,      // every byte: a mapfile's finished block
  kHoldsNone,     // none: not rescued, or a dead sector
};

// Where one copy's holding is not by its non-zero bytes, within a block.
struct HoldingStretch {
  int copy;
  uint32_t begin, end;
  Holding holding;
  Cause cause;  // of kHoldsNone
};

// The stretches of one block, [bounds[s], bounds[s + 1]), each with the
// holding of every copy (holding[s * count + k]) and, where a copy holds
// nothing, the cause.
struct BlockHolding {
  std::vector<uint32_t> bounds;
  std::vector<Holding> holding;
  std::vector<Cause> causes;
  int plain;  // 1 when the block is one stretch that every copy holds by its non-zero bytes
  std::vector<HoldingStretch> special, dead;  // room to work in, kept from block to block
};

constexpr uint32_t kSectorSize = 2048;

// 1 when the sector at p, n bytes (kSectorSize, or fewer for a file's last
// one), carries dvdisaster's dead-sector marker: its lead text at the start
// and, in a whole sector, its end text at 2012.
int IsDeadSector(const uint8_t* p, uint32_t n);

// The holding of blocks[0..count)[0..n) at file offset at (a multiple of
// kSectorSize) of files of size bytes: maps (null, or one per copy) and, when
// markers is set, each copy's dead sectors.
void HoldingOfBlock(const CopyMap* maps, int markers, uint8_t* const* blocks, int count,
                    uint32_t n, uint64_t at, uint64_t size, BlockHolding* out);

// The ranges of over, and the parts of under outside them, in offset order,
// touching ones of one cause joined. Each list is in order and disjoint.
std::vector<ByteRange> Overlay(const std::vector<ByteRange>& under,
                               const std::vector<ByteRange>& over);

// Appends range to ranges, joined with the last one where they touch.
void AddRange(std::vector<ByteRange>* ranges, const ByteRange& range);
