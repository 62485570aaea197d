#include "repair/merge_copies.h"

#include <algorithm>
#include <cstring>

#include "common/block_pass.h"
#include "common/simd.h"

// Adds position `at` to ranges, lengthening the last range where it ends there.
static void AddPosition(std::vector<ByteRange>* ranges, uint64_t at) {
  if (!ranges->empty() && ranges->back().end() == at)
    ++ranges->back().length;
  else
    ranges->push_back({at, 1});
}

// Adds n positions no copy holds, ending before end, to the stretch open and,
// once that is threshold long, to the unsupplied ranges.
static void AddUnheld(MergeState* s, uint64_t n, uint64_t end, int32_t threshold,
                      MergeReport* report) {
  const uint64_t t = static_cast<uint64_t>(threshold);
  if (s->stretch >= t)
    report->unsupplied.back().length += n;
  else if (s->stretch + n >= t)
    report->unsupplied.push_back({end - n - s->stretch, s->stretch + n});
  s->stretch += n;
}

enum Position {
  kNoMajority,  // left untouched
  kTaken,
  kReached,     // taken, and the counter reached the threshold there unasked
};

// What one position does to the counters, by what the copies hold there.
// Every copy holds the one byte: the counter and the stretch start again.
static void Agreed(MergeState* s) {
  s->counter = 0;
  s->stretch = 0;
}

// Some copy holds a byte, not every one the same: the stretch ends.
static void Held(MergeState* s) { s->stretch = 0; }

// No copy holds a byte: the stretch grows, and the counter counts the
// position, up to the threshold.
static Position Unheld(MergeState* s, uint64_t at, int32_t threshold, MergeReport* report) {
  AddUnheld(s, 1, at + 1, threshold, report);
  const bool reached = s->counter < threshold && ++s->counter == threshold && !s->asked;
  return reached ? kReached : kTaken;
}

// A copy holds a byte that is not zero, and every byte where all says so.
static bool Holds(const uint8_t* all, int k, uint8_t byte) { return byte != 0 || (all && all[k]); }

// The dialog program's rule for two copies, the damaged copy's byte *d and
// the source's src:
//   both hold the same byte: it stays, and the counter starts again;
//   neither holds one (both 0): the counter counts the position;
//   one holds a byte: it is kept, or taken into the damaged copy;
//   both hold different bytes: they do not agree, and the merge stops there.
static Position MergeTwo(MergeState* s, uint8_t* d, uint8_t src, bool dHolds, bool srcHolds,
                         uint64_t at, int32_t threshold, MergeReport* report) {
  if (dHolds && srcHolds) {
    if (*d != src) return kNoMajority;
    Agreed(s);
    return kTaken;
  }
  if (!dHolds && !srcHolds) return Unheld(s, at, threshold, report);
  Held(s);
  if (!dHolds) {
    *d = src;
    ++report->taken[0];
  }
  return kTaken;
}

// Three copies or more vote: of the copies that hold a byte, more than half
// must hold the value that wins, and a position where they do not stops the
// merge. The only candidate is what pairing off differing bytes leaves.
static Position MergeVote(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                          int32_t threshold, const uint8_t* all, MergeReport* report) {
  uint8_t value = 0;
  int margin = 0, holders = 0, held = 0;
  for (int k = 0; k < count; ++k) {
    const uint8_t b = copies[k][i];
    if (!Holds(all, k, b)) continue;
    ++holders;
    if (margin == 0) value = b;
    margin += b == value ? 1 : -1;
  }
  const uint64_t at = s->position + i;
  if (holders == 0) return Unheld(s, at, threshold, report);
  for (int k = 0; k < count; ++k) held += copies[k][i] == value && Holds(all, k, value);
  if (2 * held <= holders) return kNoMajority;
  held == count ? Agreed(s) : Held(s);
  if (held < holders) {
    ++report->voted;
    AddPosition(&report->votedRanges, at);
  }
  if (!Holds(all, 0, copies[0][i])) {
    int k = 1;
    while (copies[k][i] != value || !Holds(all, k, value)) ++k;
    ++report->taken[k - 1];
  }
  copies[0][i] = value;
  return kTaken;
}

// One position by the rule for its number of copies (one copy alone holds
// what it holds: a vote of one).
static Position MergeOne(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                         int32_t threshold, const uint8_t* all, MergeReport* report) {
  if (count != 2) return MergeVote(s, copies, count, i, threshold, all, report);
  return MergeTwo(s, copies[0] + i, copies[1][i], Holds(all, 0, copies[0][i]),
                  Holds(all, 1, copies[1][i]), s->position + i, threshold, report);
}

// Whether all copies hold the same 64 bytes from i on.
static bool AllSame64Portable(uint8_t* const* copies, int count, uint32_t i) {
  uint64_t differ = 0;
  for (int k = 1; k < count; ++k)
    for (uint32_t w = i; w < i + 64; w += 8) differ |= Load8(copies[k] + w) ^ Load8(copies[0] + w);
  return differ == 0;
}

#if HAVE_SSE2_FORMS
#pragma GCC push_options
#pragma GCC target("sse2")
static bool AllSame64Sse2(uint8_t* const* copies, int count, uint32_t i) {
  const uint8_t* const p = copies[0] + i;
  const __m128i a = Load16(p), b = Load16(p + 16), c = Load16(p + 32), d = Load16(p + 48);
  __m128i differ = _mm_setzero_si128();
  for (int k = 1; k < count; ++k) {
    const uint8_t* const q = copies[k] + i;
    differ = _mm_or_si128(differ, _mm_or_si128(_mm_or_si128(_mm_xor_si128(a, Load16(q)),
                                                             _mm_xor_si128(b, Load16(q + 16))),
                                                _mm_or_si128(_mm_xor_si128(c, Load16(q + 32)),
                                                             _mm_xor_si128(d, Load16(q + 48)))));
  }
  return _mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) == 0xFFFF;
}

// The end of the pieces of 64 positions from i on (up to n) in which p and q
// hold the same bytes, the last of them non-zero: all of a merge's time but
// the damaged stretches, decided with one branch per 64 positions.
static uint32_t SamePiecesSse2(const uint8_t* p, const uint8_t* q, uint32_t i, uint32_t n) {
  for (; n - i >= 64 && p[i + 63] != 0; i += 64) {
    const uint8_t* const a = p + i;
    const uint8_t* const b = q + i;
    const __m128i differ =
        _mm_or_si128(_mm_or_si128(_mm_xor_si128(Load16(a), Load16(b)),
                                  _mm_xor_si128(Load16(a + 16), Load16(b + 16))),
                     _mm_or_si128(_mm_xor_si128(Load16(a + 32), Load16(b + 32)),
                                  _mm_xor_si128(Load16(a + 48), Load16(b + 48))));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(differ, _mm_setzero_si128())) != 0xFFFF) break;
  }
  return i;
}
#pragma GCC pop_options
#endif

static uint32_t SamePiecesPortable(const uint8_t* p, const uint8_t* q, uint32_t i, uint32_t n) {
  while (n - i >= 64 && p[i + 63] != 0 && std::memcmp(p + i, q + i, 64) == 0) i += 64;
  return i;
}

typedef bool (*AllSame64Fn)(uint8_t* const* copies, int count, uint32_t i);
typedef uint32_t (*SamePiecesFn)(const uint8_t* p, const uint8_t* q, uint32_t i, uint32_t n);

// The end of the pieces from i on in which every copy holds the first copy's
// bytes, ending in data: copy by copy, each within what the ones before left.
template <SamePiecesFn SamePieces>
static uint32_t AllSamePieces(uint8_t* const* copies, int count, uint32_t i, uint32_t n) {
  uint32_t end = SamePieces(copies[0], copies[count > 1 ? 1 : 0], i, n);
  for (int k = 2; k < count && end > i; ++k) end = SamePieces(copies[0], copies[k], i, end);
  return end;
}

// Sixty-four positions at once where the rule needs no look at each, which
// is all of a merge's time but a few positions at the edges of damage. Each
// piece moves the counters as the rule does position by position, and
// returns false, changing nothing, where it cannot: the piece is none of its
// kind, or the counter could reach the threshold unasked inside it.

// The damaged copy's zeros in [from, to), where every copy holds the same
// bytes and the first source that holds every byte (all) holds them too.
static void TakeHeldZeros(uint8_t* const* copies, int count, uint32_t from, uint32_t to,
                          const uint8_t* all, MergeReport* report) {
  if (!all || all[0] || from == to) return;
  const int source = static_cast<int>(std::find(all + 1, all + count, 1) - all);
  uint64_t zeros = 0;
  for (uint32_t i = from; i < to; i += 8)
    if (HasZeroByte(Load8(copies[0] + i)))
      for (uint32_t b = i; b < i + 8 && b < to; ++b) zeros += copies[0][b] == 0;
  report->taken[source - 1] += zeros;
}

// Every copy holds the same 64 bytes p: they act as one copy. Where a copy
// holds every byte (all), each position has a holder: the stretch ends, and
// the counter starts again unless the piece is zeros that not every copy
// holds. Else (and at a threshold of 64 or more, where zeros between bytes
// reach nothing) the zeros it starts with count on, its first byte starts
// the counter and the stretch again, and the zeros it ends with count anew.
static bool Identical64(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                        int32_t threshold, const uint8_t* all, MergeReport* report) {
  const uint8_t* const p = copies[0] + i;
  int32_t leading = 0, trailing = 0;
  while (leading < 64 && p[leading] == 0) ++leading;
  if (all) {
    TakeHeldZeros(copies, count, i, i + 64, all, report);
    if (leading < 64 || std::count(all, all + count, 1) == count) s->counter = 0;
    s->stretch = 0;
    return true;
  }
  if (leading == 64 || threshold < 64 || (!s->asked && threshold - s->counter <= leading))
    return false;
  AddUnheld(s, static_cast<uint64_t>(leading), s->position + i + leading, threshold, report);
  while (p[63 - trailing] == 0) ++trailing;
  s->counter = trailing;
  s->stretch = static_cast<uint64_t>(trailing);
  return true;
}

enum Piece { kAllZeros, kNoZeros, kSome };

// What the 64 bytes from p hold.
static Piece Kind64(const uint8_t* p) {
  uint64_t any = 0;
  bool zeroByte = false;
  for (uint32_t w = 0; w < 64; w += 8) {
    any |= Load8(p + w);
    zeroByte |= HasZeroByte(Load8(p + w));
  }
  return any == 0 ? kAllZeros : zeroByte ? kSome : kNoZeros;
}

static bool Same64(const uint8_t* p, const uint8_t* q) { return std::memcmp(p, q, 64) == 0; }

// Each copy holds zeros only or the zero-free bytes of the first that holds
// any: those hold every position, taken into the damaged copy where it is
// zeros, and the counter starts again only where every copy holds them. With
// zeros only in every copy, no copy holds any of the 64 positions.
static bool EachHolds64(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                        int32_t threshold, MergeReport* report) {
  const uint8_t* data = nullptr;  // of the first copy that holds any here
  int from = 0, empty = 0;
  for (int k = 0; k < count; ++k) {
    const Piece kind = Kind64(copies[k] + i);
    if (kind == kSome) return false;
    if (kind == kAllZeros) {
      ++empty;
    } else if (!data) {
      data = copies[k] + i;
      from = k;
    } else if (!Same64(copies[k] + i, data)) {
      return false;
    }
  }
  if (data) {
    if (from > 0) {
      std::memcpy(copies[0] + i, data, 64);
      report->taken[from - 1] += 64;
    }
    empty == 0 ? Agreed(s) : Held(s);
    return true;
  }
  if (!s->asked && threshold - s->counter <= 64) return false;
  s->counter = threshold - s->counter <= 64 ? threshold : s->counter + 64;
  AddUnheld(s, 64, s->position + i + 64, threshold, report);
  return true;
}

template <AllSame64Fn AllSame64>
static bool MergePiece64(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                         int32_t threshold, const uint8_t* all, MergeReport* report) {
  if (AllSame64(copies, count, i) && Identical64(s, copies, count, i, threshold, all, report))
    return true;
  return !all && EachHolds64(s, copies, count, i, threshold, report);
}

// The pieces of 64 by the rule where they can go so, the positions left one
// by one; stops after the position where the counter reaches the threshold
// unasked (s->reached), or at one without a majority.
template <AllSame64Fn AllSame64, SamePiecesFn SamePieces>
static uint32_t MergeBlockWith(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                               int32_t threshold, const uint8_t* all, MergeReport* report) {
  if (all && std::count(all, all + count, 0) == count) all = nullptr;
  s->reached = 0;
  uint32_t i = 0;
  for (Position merged = kTaken; i < n && merged == kTaken;) {
    // The common piece again and again: with no stretch open and the counter
    // at 0, pieces that every copy holds alike, ending in data, change neither.
    if (s->stretch == 0 && s->counter == 0 && threshold >= 64) {
      const uint32_t from = i;
      i = AllSamePieces<SamePieces>(copies, count, i, n);
      TakeHeldZeros(copies, count, from, i, all, report);
    }
    if (n - i >= 64 && MergePiece64<AllSame64>(s, copies, count, i, threshold, all, report)) {
      i += 64;
      continue;
    }
    for (const uint32_t end = n - i >= 64 ? i + 64 : n; i < end && merged == kTaken;) {
      merged = MergeOne(s, copies, count, i, threshold, all, report);
      i += merged != kNoMajority;
    }
    s->reached = merged == kReached;
  }
  s->position += i;
  return i;
}

// The SSE2 forms where the processor has them (g_useSse2).
uint32_t MergeBlock(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                    int32_t threshold, const uint8_t* all, MergeReport* report) {
#if HAVE_SSE2_FORMS
  if (g_useSse2)
    return MergeBlockWith<AllSame64Sse2, SamePiecesSse2>(s, copies, count, n, threshold, all,
                                                         report);
#endif
  return MergeBlockWith<AllSame64Portable, SamePiecesPortable>(s, copies, count, n, threshold, all,
                                                               report);
}

struct Merging {
  MergeState state;
  const MergeJob* job;
  MergeReport* report;
  std::vector<uint8_t*> at;       // each copy's block from where the merge stopped
  BlockHolding holding;
  std::vector<uint8_t> all;       // per copy: 1 where it holds every byte
  std::vector<uint8_t> kept;      // the damaged copy's own bytes of the block
  std::vector<ByteRange> marked;  // no copy holds them, and every copy's map or marker says so
};

// Merges blocks[0..count)[from..to), every copy holding as m->all says. The
// continue question comes as soon as the shared zeros reach the threshold,
// naming the first of them; the merge goes on after a Yes.
static int MergeStretch(Merging* m, uint8_t* const* blocks, uint32_t from, uint32_t to,
                        Outcome* ending) {
  MergeState* s = &m->state;
  const MergeJob& job = *m->job;
  for (uint32_t passed = from; passed < to;) {
    for (int k = 0; k < job.count; ++k) m->at[k] = blocks[k] + passed;
    passed += MergeBlock(s, m->at.data(), job.count, to - passed, job.threshold, m->all.data(),
                         m->report);
    if (s->reached) {
      const uint64_t first = s->position - static_cast<uint64_t>(s->counter);
      if (!AskToGoOn(first)) {
        *ending = MakeOutcome(kDeclined, first);
        return 0;
      }
      s->asked = 1;
    } else if (passed < to) {
      *ending = MakeOutcome(kMismatch, s->position);
      for (int k = 0; k < job.count; ++k) ending->bytes.push_back(blocks[k][passed]);
      return 0;
    }
  }
  return 1;
}

// Where no copy holds a byte of a stretch that a map or marker touches, and
// every copy lacks it so, the damaged copy's own byte stays and is unsupplied,
// however short. Where an unmapped copy holds a zero there instead, the zero
// is taken as data (a long stretch of them is unsupplied as zeros are).
static void SettleMarked(Merging* m, uint8_t* const* blocks, uint64_t at, size_t s) {
  const BlockHolding& h = m->holding;
  const int count = m->job->count;
  const Holding* holding = &h.holding[s * count];
  if (std::count(holding, holding + count, kHoldsNone) == 0 ||
      std::count(holding, holding + count, kHoldsAll) > 0)
    return;
  const bool allLack = std::count(holding, holding + count, kHoldsNone) == count;
  const int dataFrom = static_cast<int>(std::find(holding + 1, holding + count, kHoldsNonZero) -
                                        holding);
  for (uint32_t i = h.bounds[s]; i < h.bounds[s + 1]; ++i) {
    if (blocks[0][i] != 0) continue;
    if (allLack) {
      blocks[0][i] = m->kept[i];
      AddRange(&m->marked, {at + i, 1, h.causes[s]});
    } else if (holding[0] == kHoldsNone) {
      ++m->report->taken[dataFrom - 1];
    }
  }
}

// Where a copy holds nothing its bytes count as zeros, which no copy holds.
static int MergeBlocks(void* context, uint8_t* const* blocks, uint32_t n, uint64_t at,
                       uint64_t left, Outcome* ending) {
  Merging* m = static_cast<Merging*>(context);
  const int count = m->job->count;
  BlockHolding& h = m->holding;
  HoldingOfBlock(m->job->maps, m->job->markers, blocks, count, n, at, at + left, &h);
  std::fill(m->all.begin(), m->all.end(), 0);
  const ByteWatch& w = m->job->watch;
  if (h.plain) {
    if (!MergeStretch(m, blocks, 0, n, ending)) return 0;
    if (w.see) w.see(w.context, blocks[0], n);
    return 1;
  }
  m->kept.assign(blocks[0], blocks[0] + n);
  const size_t stretches = h.bounds.size() - 1;
  for (size_t s = 0; s < stretches; ++s)
    for (int k = 0; k < count; ++k)
      if (h.holding[s * count + k] == kHoldsNone)
        std::memset(blocks[k] + h.bounds[s], 0, h.bounds[s + 1] - h.bounds[s]);
  for (size_t s = 0; s < stretches; ++s) {
    for (int k = 0; k < count; ++k) m->all[k] = h.holding[s * count + k] == kHoldsAll;
    if (!MergeStretch(m, blocks, h.bounds[s], h.bounds[s + 1], ending)) return 0;
  }
  for (size_t s = 0; s < stretches; ++s) SettleMarked(m, blocks, at, s);
  if (w.see) w.see(w.context, blocks[0], n);
  return 1;
}

int ChangesNothing(const MergeReport& report, size_t lacking) {
  const auto took = [](uint64_t taken) { return taken > 0; };
  return report.voted == 0 && lacking == 0 &&
         std::none_of(report.taken.begin(), report.taken.end(), took);
}

Outcome MergeCopies(const MergeJob& job, MergeReport* report, int* outputMade) {
  *report = MergeReport();
  report->taken.assign(static_cast<size_t>(job.count - 1), 0);
  Merging merging;
  merging.state = MergeState();
  merging.state.asked = !job.ask;
  merging.job = &job;
  merging.report = report;
  merging.at.resize(static_cast<size_t>(job.count));
  merging.all.resize(static_cast<size_t>(job.count));
  BlockPass pass = OnePass(job.paths, job.count, kMerging, kMerged, MergeBlocks, &merging);
  pass.makeOutput = job.makeOutput;
  pass.output = job.output;
  const Outcome outcome = RunBlockPass(pass, &report->size, outputMade);
  report->unsupplied = Overlay(report->unsupplied, merging.marked);
  return outcome;
}
