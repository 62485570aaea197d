#include "scan/damage_map.h"

#include "common/block_pass.h"
#include "common/simd.h"
#include "scan/scan_file.h"

// The index of the first non-zero byte of buf[i..n), or n.
static uint32_t SkipZeros(const uint8_t* buf, uint32_t i, uint32_t n) {
  while (n - i >= 8 && Load8(buf + i) == 0) i += 8;
  while (i < n && buf[i] == 0) ++i;
  return i;
}

// The scanner stops at the zero that completes a run, and leaves the state
// there outside any header or payload, where a zero changes nothing but the
// run's length. So the run's own zeros are counted here, and the byte that
// ends it goes back to the scanner with the run cleared, as if the scanner had
// read on: a 'J' may begin a header. JUNK mode hands the scanner the block's
// remaining, as a check does, so the size test sees the same numbers.
void FindRunsInBlock(ZeroRunsState* s, const uint8_t* buf, uint32_t n, int32_t threshold,
                     int junk, uint64_t remaining, std::vector<ByteRange>* runs) {
  uint32_t i = 0;
  while (i < n) {
    if (s->scan.runLength == threshold) {
      const uint32_t end = SkipZeros(buf, i, n);
      runs->back().length += end - i;
      if (end == n) break;
      s->scan.runLength = 0;
      i = end;
    }
    i += junk ? ScanJunk(&s->scan, buf + i, n - i, threshold, remaining)
              : ScanPlain(&s->scan, buf + i, n - i, threshold);
    if (s->scan.runLength == threshold)
      runs->push_back({s->position + i - static_cast<uint64_t>(threshold),
                       static_cast<uint64_t>(threshold)});
  }
  s->position += n;
}

struct Mapping {
  ZeroRunsState state;
  CheckRules rules;
  int junk;
  std::vector<ByteRange> zeros, marked;
  BlockHolding holding;
};

static int MapBlock(void* context, uint8_t* const* blocks, uint32_t n, uint64_t at,
                    uint64_t left, Outcome*) {
  Mapping* m = static_cast<Mapping*>(context);
  const CheckRules& r = m->rules;
  if (StartsRiff(blocks[0], n, at)) m->junk = r.skipJunk;
  if (!r.map || !r.map->mapped)
    FindRunsInBlock(&m->state, blocks[0], n, r.threshold, m->junk, left, &m->zeros);
  HoldingOfBlock(r.map, r.markers, blocks, 1, n, at, at + left, &m->holding);
  const BlockHolding& h = m->holding;
  for (size_t s = 0; s + 1 < h.bounds.size(); ++s)
    if (h.holding[s] == kHoldsNone)
      AddRange(&m->marked, {at + h.bounds[s], h.bounds[s + 1] - h.bounds[s], h.causes[s]});
  if (r.watch.see) r.watch.see(r.watch.context, blocks[0], n);
  return 1;
}

Outcome MapDamage(const char* path, const CheckRules& rules, std::vector<ByteRange>* runs,
                  uint64_t* size) {
  *size = 0;
  Mapping mapping;
  mapping.state = ZeroRunsState{{0, 0, 0}, 0};
  mapping.rules = rules;
  mapping.junk = 0;
  Outcome outcome =
      RunBlockPass(OnePass(&path, 1, kChecking, kClean, MapBlock, &mapping), size, nullptr);
  *runs = Overlay(mapping.zeros, mapping.marked);
  if (outcome.kind == kClean && !runs->empty())
    outcome = MakeOutcome(kDamaged, runs->front().offset);
  return outcome;
}
