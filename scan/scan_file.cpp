#include "scan/scan_file.h"

#include <cstring>

#include "common/block_pass.h"
#include "scan/block_scan.h"

int StartsRiff(const uint8_t* block, uint32_t n, uint64_t at) {
  return at == 0 && n >= 4 && std::memcmp(block, "\x52\x49\x46\x46", 4) == 0;
}

struct Check {
  ZeroRunState state;
  CheckRules rules;
  int junk;  // JUNK mode, chosen by the first block
  BlockHolding holding;
};

// A zero run counts up to the first byte a map or marker says is missing;
// with a map, only that.
static int CheckBlock(void* context, uint8_t* const* blocks, uint32_t n, uint64_t at,
                      uint64_t left, Outcome* ending) {
  Check* c = static_cast<Check*>(context);
  const CheckRules& r = c->rules;
  const uint8_t* block = blocks[0];
  if (StartsRiff(block, n, at)) c->junk = r.skipJunk;
  HoldingOfBlock(r.map, r.markers, blocks, 1, n, at, at + left, &c->holding);
  uint32_t missing = n;  // of the first byte missing
  const BlockHolding& h = c->holding;
  for (size_t s = 0; missing == n && s + 1 < h.bounds.size(); ++s)
    if (h.holding[s] == kHoldsNone) missing = h.bounds[s];
  const uint32_t scanned = r.map && r.map->mapped ? 0 : missing;
  const uint32_t handled = c->junk ? ScanJunk(&c->state, block, scanned, r.threshold, left)
                                   : ScanPlain(&c->state, block, scanned, r.threshold);
  if (c->state.runLength == r.threshold) {
    *ending = MakeOutcome(kDamaged, at + handled - static_cast<uint64_t>(r.threshold));
    return 0;
  }
  if (r.watch.see) r.watch.see(r.watch.context, block, n);
  if (missing == n) return 1;
  *ending = MakeOutcome(kDamaged, at + missing);
  return 0;
}

Outcome ScanFile(const char* path, const CheckRules& rules) {
  Check check;
  check.state = ZeroRunState{0, 0, 0};
  check.rules = rules;
  check.junk = 0;
  return RunBlockPass(OnePass(&path, 1, kChecking, kClean, CheckBlock, &check), nullptr, nullptr);
}
