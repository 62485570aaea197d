#include "common/copy_map.h"

#include <algorithm>
#include <cstring>

static const char kLead[] =
    "dvdisaster dead sector marker\n"
    "This sector could not be read from the image.\n"
    "Its contents have been substituted by the dvdisaster read routine.\n";
static const char kEnd[] = "dvdisaster dead sector end marker\n";
static const uint32_t kLeadSize = sizeof kLead - 1, kEndAt = 2012, kEndSize = sizeof kEnd - 1;

int IsDeadSector(const uint8_t* p, uint32_t n) {
  if (n < kLeadSize || std::memcmp(p, kLead, kLeadSize) != 0) return 0;
  return n < kSectorSize || std::memcmp(p + kEndAt, kEnd, kEndSize) == 0;
}

static void AddSpecial(std::vector<HoldingStretch>* out, int copy, uint32_t begin, uint32_t end,
                       Holding holding, Cause cause) {
  if (begin >= end) return;
  HoldingStretch s;
  s.copy = copy, s.begin = begin, s.end = end, s.holding = holding, s.cause = cause;
  out->push_back(s);
}

// The dead sectors of one copy's block, into dead.
static void FindDeadSectors(const uint8_t* block, int copy, uint32_t n, uint64_t at,
                            uint64_t size, std::vector<HoldingStretch>* dead) {
  dead->clear();
  for (uint32_t s = 0; s < n; s += kSectorSize) {
    const uint32_t length = std::min(kSectorSize, n - s);
    if ((length == kSectorSize || at + s + length == size) && IsDeadSector(block + s, length))
      AddSpecial(dead, copy, s, s + length, kHoldsNone, kCauseMarker);
  }
}

// A mapped copy holds its rescued blocks whole and nothing else; a dead sector
// is missing in any copy, mapped or not. Appends, in order, where the copy's
// holding is not by its non-zero bytes.
static void AddSpecials(const CopyMap& map, int copy, uint32_t n, uint64_t at,
                        const std::vector<HoldingStretch>& dead,
                        std::vector<HoldingStretch>* out) {
  if (!map.mapped) {
    out->insert(out->end(), dead.begin(), dead.end());
    return;
  }
  uint32_t done = 0;  // of the block, in out
  auto upTo = [&](uint32_t end, Holding holding) {
    for (const HoldingStretch& d : dead) {
      if (d.end <= done || d.begin >= end) continue;
      AddSpecial(out, copy, done, std::max(done, d.begin), holding, kCauseMap);
      AddSpecial(out, copy, std::max(done, d.begin), std::min(end, d.end), kHoldsNone,
                 kCauseMarker);
      done = std::min(end, d.end);
    }
    AddSpecial(out, copy, done, end, holding, kCauseMap);
    done = std::max(done, end);
  };
  const std::vector<ByteRange>& r = map.rescued;
  auto first = std::upper_bound(r.begin(), r.end(), at,
                                [](uint64_t a, const ByteRange& b) { return a < b.end(); });
  for (; first != r.end() && first->offset < at + n; ++first) {
    upTo(first->offset > at ? uint32_t(first->offset - at) : 0, kHoldsNone);
    upTo(first->end() < at + n ? uint32_t(first->end() - at) : n, kHoldsAll);
  }
  upTo(n, kHoldsNone);
}

void HoldingOfBlock(const CopyMap* maps, int markers, uint8_t* const* blocks, int count,
                    uint32_t n, uint64_t at, uint64_t size, BlockHolding* out) {
  out->special.clear();
  for (int k = 0; k < count; ++k) {
    out->dead.clear();
    if (markers) FindDeadSectors(blocks[k], k, n, at, size, &out->dead);
    const CopyMap unmapped = {0, {}, 0};
    AddSpecials(maps ? maps[k] : unmapped, k, n, at, out->dead, &out->special);
  }
  out->bounds.assign({0, n});
  out->holding.assign(static_cast<size_t>(count), kHoldsNonZero);
  out->causes.assign(1, kCauseZeros);
  out->plain = out->special.empty();
  if (out->plain) return;
  for (const HoldingStretch& s : out->special) {
    out->bounds.push_back(s.begin);
    out->bounds.push_back(s.end);
  }
  std::sort(out->bounds.begin(), out->bounds.end());
  out->bounds.erase(std::unique(out->bounds.begin(), out->bounds.end()), out->bounds.end());
  const size_t stretches = out->bounds.size() - 1;
  out->holding.assign(stretches * count, kHoldsNonZero);
  out->causes.assign(stretches, kCauseZeros);
  size_t s = 0;
  for (size_t i = 0; i < out->special.size(); ++i) {
    const HoldingStretch& special = out->special[i];
    if (i == 0 || special.copy != out->special[i - 1].copy) s = 0;  // each copy's in order
    while (out->bounds[s] < special.begin) ++s;
    for (; s < stretches && out->bounds[s] < special.end; ++s) {
      out->holding[s * count + special.copy] = special.holding;
      // A mapfile's word comes first: it says what the rescue read.
      if (special.holding == kHoldsNone && out->causes[s] != kCauseMap)
        out->causes[s] = special.cause;
    }
  }
}

void AddRange(std::vector<ByteRange>* ranges, const ByteRange& range) {
  if (range.length == 0) return;
  if (ranges->empty() || !ranges->back().Join(range)) ranges->push_back(range);
}

std::vector<ByteRange> Overlay(const std::vector<ByteRange>& under,
                               const std::vector<ByteRange>& over) {
  std::vector<ByteRange> pieces = over;
  size_t first = 0;  // of the over ranges that may still meet an under one
  for (const ByteRange& u : under) {
    while (first < over.size() && over[first].end() <= u.offset) ++first;
    uint64_t from = u.offset;
    for (size_t k = first; k < over.size() && over[k].offset < u.end(); ++k) {
      if (over[k].offset > from) pieces.push_back({from, over[k].offset - from, u.cause});
      from = std::max(from, over[k].end());
    }
    if (from < u.end()) pieces.push_back({from, u.end() - from, u.cause});
  }
  std::sort(pieces.begin(), pieces.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  std::vector<ByteRange> joined;
  for (const ByteRange& piece : pieces) AddRange(&joined, piece);
  return joined;
}
