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

// Adds `zeros` positions where all copies hold 0, ending before `end`, to the
// stretch open and, once that is threshold long, to the unsupplied ranges.
static void AddZeros(MergeState* s, uint64_t zeros, uint64_t end, int32_t threshold,
                     MergeReport* report) {
  const uint64_t t = static_cast<uint64_t>(threshold);
  if (s->stretch >= t)
    report->unsupplied.back().length += zeros;
  else if (s->stretch + zeros >= t)
    report->unsupplied.push_back({end - zeros - s->stretch, s->stretch + zeros});
  s->stretch += zeros;
}

enum Position {
  kNoMajority,  // left untouched
  kTaken,
  kReached,     // taken, and the counter reached the threshold there unasked
};

// A copy holds a byte that is not zero, and every byte where all says so.
static bool Holds(const uint8_t* all, int k, uint8_t byte) { return byte != 0 || (all && all[k]); }

// One position by the majority rule among the copies that hold a byte there.
// The candidate is found by pairing off differing bytes (a majority value is
// the one left over), then counted.
static Position MergeOne(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                         int32_t threshold, const uint8_t* all, MergeReport* report) {
  int same = 1;
  while (same < count && copies[same][i] == copies[0][i]) ++same;
  if (same == count && copies[0][i] != 0) {
    s->stretch = 0;
    s->zeroRun = 0;
    return kTaken;
  }
  uint8_t value = 0;
  int lead = 0, holders = 0, held = 0;
  for (int k = 0; k < count; ++k) {
    const uint8_t b = copies[k][i];
    if (!Holds(all, k, b)) continue;
    ++holders;
    if (lead == 0) value = b;
    lead += b == value ? 1 : -1;
  }
  const uint64_t at = s->position + i;
  if (holders == 0) {
    AddZeros(s, 1, at + 1, threshold, report);
    const bool reached = s->zeroRun < threshold && ++s->zeroRun == threshold && !s->asked;
    return reached ? kReached : kTaken;
  }
  for (int k = 0; k < count; ++k) held += copies[k][i] == value && Holds(all, k, value);
  if (2 * held <= holders) return kNoMajority;
  s->stretch = 0;
  if (held == count) s->zeroRun = 0;
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
  uint32_t end = SamePieces(copies[0], copies[1], i, n);
  for (int k = 2; k < count && end > i; ++k) end = SamePieces(copies[0], copies[k], i, end);
  return end;
}

// Where all copies hold the same bytes and some source holds every byte, the
// damaged copy's zeros that it does not hold itself are taken from the first
// such source.
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

// Sixty-four positions at once where that needs no look at each, which is
// all of a merge's time but a few positions at the edges of damage:
// - all copies hold the same bytes (with a threshold of 64 or more): they act
//   as one copy, and only the zeros they start and end with can reach the
//   threshold or join a longer stretch; costs one branch per 64 positions;
// - each copy holds zeros only or the bytes, without zeros, of the first copy
//   that holds any: those are filled in, the counter stays;
// - all copies hold zeros only.
// Where some copy holds every byte (all), the zeros of a piece in which all
// copies agree are held too: no copy lacks them.
// Returns false, with nothing changed, for any other piece, and for one where
// the counter could reach the threshold unasked.
template <AllSame64Fn AllSame64>
static bool MergePiece64(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                         int32_t threshold, const uint8_t* all, MergeReport* report) {
  const uint8_t* const p = copies[0] + i;
  const bool same = AllSame64(copies, count, i);
  int32_t lead = 0, trail = 0;
  while (same && lead < 64 && p[lead] == 0) ++lead;
  if (same && all) {
    TakeHeldZeros(copies, count, i, i + 64, all, report);
    const bool everyByteHeld = std::count(all, all + count, 1) == count;
    if (lead < 64 || everyByteHeld) s->zeroRun = 0;
    s->stretch = 0;
    return true;
  }
  if (same && lead < 64 && threshold >= 64) {
    if (!s->asked && threshold - s->zeroRun <= lead) return false;
    AddZeros(s, static_cast<uint64_t>(lead), s->position + i + lead, threshold, report);
    while (p[63 - trail] == 0) ++trail;
    s->zeroRun = trail;
    s->stretch = static_cast<uint64_t>(trail);
    return true;
  }
  if (all) return false;
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
    s->zeroRun = empty == 0 ? 0 : s->zeroRun;
    s->stretch = 0;
    return true;
  }
  if (!s->asked && threshold - s->zeroRun <= 64) return false;
  s->zeroRun = threshold - s->zeroRun <= 64 ? threshold : s->zeroRun + 64;
  AddZeros(s, 64, s->position + i + 64, threshold, report);
  return true;
}

template <AllSame64Fn AllSame64, SamePiecesFn SamePieces>
static uint32_t MergeBlockWith(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                               int32_t threshold, const uint8_t* all, MergeReport* report) {
  if (all && std::count(all, all + count, 0) == count) all = nullptr;
  s->reached = 0;
  uint32_t i = 0;
  while (i < n) {
    // The common piece again and again: with no stretch open and the counter
    // at 0, a piece ending in data changes neither.
    if (s->stretch == 0 && s->zeroRun == 0 && threshold >= 64) {
      const uint32_t from = i;
      i = AllSamePieces<SamePieces>(copies, count, i, n);
      TakeHeldZeros(copies, count, from, i, all, report);
    }
    if (n - i >= 64 && MergePiece64<AllSame64>(s, copies, count, i, threshold, all, report)) {
      i += 64;
      continue;
    }
    for (const uint32_t end = n - i >= 64 ? i + 64 : n; i < end; ++i) {
      const Position merged = MergeOne(s, copies, count, i, threshold, all, report);
      if (merged == kNoMajority) goto done;
      if (merged == kReached) {
        s->reached = 1;
        ++i;
        goto done;
      }
    }
  }
done:
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
      const uint64_t first = s->position - static_cast<uint64_t>(s->zeroRun);
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

Outcome MergeCopies(const MergeJob& job, MergeReport* report, int* outputMade) {
  *report = MergeReport();
  report->taken.assign(static_cast<size_t>(job.count - 1), 0);
  Merging merging;
  merging.state = MergeState{0, !job.ask, 0, 0, 0};
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
