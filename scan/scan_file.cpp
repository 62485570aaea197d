#include "scan/scan_file.h"

#include <cstring>

#include "common/block_pass.h"
#include "scan/block_scan.h"

int StartsRiff(const uint8_t* block, uint32_t n, uint64_t at) {
  return at == 0 && n >= 4 && std::memcmp(block, "\x52\x49\x46\x46", 4) == 0;
}

struct Check {
  ZeroRunState state;
  int32_t threshold;
  int skipJunk;
  int junk;  // JUNK mode, chosen by the first block
};

static int CheckBlock(void* context, uint8_t* const* blocks, uint32_t n, uint64_t at,
                      uint64_t left, Outcome* ending) {
  Check* c = static_cast<Check*>(context);
  const uint8_t* block = blocks[0];
  if (StartsRiff(block, n, at)) c->junk = c->skipJunk;
  const uint32_t handled = c->junk ? ScanJunk(&c->state, block, n, c->threshold, left)
                                   : ScanPlain(&c->state, block, n, c->threshold);
  if (c->state.runLength != c->threshold) return 1;
  *ending = MakeOutcome(kDamaged, at + handled - static_cast<uint64_t>(c->threshold));
  return 0;
}

Outcome ScanFile(const char* path, int32_t threshold, int skipJunk) {
  Check check = {{0, 0, 0}, threshold, skipJunk, 0};
  return RunBlockPass(OnePass(&path, 1, kChecking, kClean, CheckBlock, &check), nullptr, nullptr);
}
