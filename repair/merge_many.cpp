#include "repair/merge_many.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/block_buffer.h"
#include "common/block_size.h"
#include "common/host.h"
#include "common/offset_text.h"
#include "repair/merge_file.h"

#include "common/vector_forms.h"

#if defined(__i386__) || defined(__x86_64__)
#define HAVE_SSE2_FORMS 1
#include <emmintrin.h>
#endif

// Adds position `at` to ranges, lengthening the last range where it ends there.
static void AddPosition(std::vector<ByteRange>* ranges, uint64_t at) {
  if (!ranges->empty() && ranges->back().offset + ranges->back().length == at)
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

// One position by the majority rule: 1 when merged, 2 when merged and the
// counter reached the threshold there unasked, 0 without a majority (left
// untouched). The candidate is found by pairing off differing non-zero bytes
// (a majority value is the one left over), then counted.
static int MergeOne(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                    int32_t threshold, MergeReport* report) {
  int same = 1;
  while (same < count && copies[same][i] == copies[0][i]) ++same;
  if (same == count && copies[0][i] != 0) {
    s->stretch = 0;
    s->zeroRun = 0;
    return 1;
  }
  uint8_t value = 0;
  int lead = 0, nonZero = 0, held = 0;
  for (int k = 0; k < count; ++k) {
    const uint8_t b = copies[k][i];
    if (b == 0) continue;
    ++nonZero;
    if (lead == 0) value = b;
    lead += b == value ? 1 : -1;
  }
  const uint64_t at = s->position + i;
  if (nonZero == 0) {
    AddZeros(s, 1, at + 1, threshold, report);
    return s->zeroRun < threshold && ++s->zeroRun == threshold && !s->asked ? 2 : 1;
  }
  for (int k = 0; k < count; ++k) held += copies[k][i] == value;
  if (2 * held <= nonZero) return 0;
  s->stretch = 0;
  if (held == count) s->zeroRun = 0;
  if (held < nonZero) {
    ++report->voted;
    AddPosition(&report->votedRanges, at);
  }
  if (copies[0][i] == 0) {
    int k = 1;
    while (copies[k][i] != value) ++k;
    ++report->taken[k - 1];
  }
  copies[0][i] = value;
  return 1;
}

static uint64_t Load(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

// Whether all copies hold the same 64 bytes from i on.
static bool AllSame64Portable(uint8_t* const* copies, int count, uint32_t i) {
  uint64_t differ = 0;
  for (int k = 1; k < count; ++k)
    for (uint32_t w = i; w < i + 64; w += 8) differ |= Load(copies[k] + w) ^ Load(copies[0] + w);
  return differ == 0;
}

#if HAVE_SSE2_FORMS
#pragma GCC push_options
#pragma GCC target("sse2")
static __m128i Load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

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
#pragma GCC pop_options
#endif

// SSE2 where the processor has it (g_useSse2).
static bool AllSame64(uint8_t* const* copies, int count, uint32_t i) {
#if HAVE_SSE2_FORMS
  if (g_useSse2) return AllSame64Sse2(copies, count, i);
#endif
  return AllSame64Portable(copies, count, i);
}

static bool HasZeroByte(uint64_t w) {
  return ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0;
}

// What the 64 bytes from p hold: 0 all zeros, 1 no zero, 2 both.
static int Kind64(const uint8_t* p) {
  uint64_t any = 0;
  bool zeroByte = false;
  for (uint32_t w = 0; w < 64; w += 8) {
    any |= Load(p + w);
    zeroByte |= HasZeroByte(Load(p + w));
  }
  return any == 0 ? 0 : zeroByte ? 2 : 1;
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
// Returns false, with nothing changed, for any other piece, and for one where
// the counter could reach the threshold unasked.
static bool MergePiece64(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                         int32_t threshold, MergeReport* report) {
  const uint8_t* const p = copies[0] + i;
  const bool same = AllSame64(copies, count, i);
  int32_t lead = 0, trail = 0;
  while (same && lead < 64 && p[lead] == 0) ++lead;
  if (same && lead < 64 && threshold >= 64) {
    if (!s->asked && threshold - s->zeroRun <= lead) return false;
    AddZeros(s, static_cast<uint64_t>(lead), s->position + i + lead, threshold, report);
    while (p[63 - trail] == 0) ++trail;
    s->zeroRun = trail;
    s->stretch = static_cast<uint64_t>(trail);
    return true;
  }
  int full = -1, empty = 0;
  for (int k = 0; k < count; ++k) {
    const int kind = Kind64(copies[k] + i);
    empty += kind == 0;
    if (kind == 2 || (kind == 1 && full >= 0 && !Same64(copies[k] + i, copies[full] + i)))
      return false;
    if (kind == 1 && full < 0) full = k;
  }
  if (full > 0) {
    std::memcpy(copies[0] + i, copies[full] + i, 64);
    report->taken[full - 1] += 64;
  }
  if (full >= 0) {
    s->zeroRun = empty == 0 ? 0 : s->zeroRun;
    s->stretch = 0;
    return true;
  }
  if (!s->asked && threshold - s->zeroRun <= 64) return false;
  s->zeroRun = threshold - s->zeroRun <= 64 ? threshold : s->zeroRun + 64;
  AddZeros(s, 64, s->position + i + 64, threshold, report);
  return true;
}

uint32_t MergeManyBlock(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                        int32_t threshold, MergeReport* report) {
  uint32_t i = 0;
  while (i < n) {
    // The common piece again and again: with no stretch open and the counter
    // at 0, a piece ending in data changes neither.
    if (s->stretch == 0 && s->zeroRun == 0 && threshold >= 64)
      while (n - i >= 64 && copies[0][i + 63] != 0 && AllSame64(copies, count, i)) i += 64;
    if (n - i >= 64 && MergePiece64(s, copies, count, i, threshold, report)) {
      i += 64;
      continue;
    }
    for (const uint32_t end = n - i >= 64 ? i + 64 : n; i < end; ++i) {
      const int merged = MergeOne(s, copies, count, i, threshold, report);
      if (merged == 0) goto done;
      if (merged == 2) {
        ++i;
        goto done;
      }
    }
  }
done:
  s->position += i;
  return i;
}

static void Warn(const char* text) { ShowMessage(text, nullptr, kWarningOk); }

// Every copy's byte at i, in copy order.
static void ReportMismatch(uint64_t offset, uint8_t* const* blocks, int count, uint32_t i) {
  char text[kOffsetTextSize];
  FormatOffset(offset, text);
  std::string message = std::string("データが一致しません。\nAddress : ") + text + " (";
  for (int k = 0; k < count; ++k) {
    std::snprintf(text, sizeof text, k == 0 ? "%02X" : " / %02X",
                  static_cast<unsigned>(blocks[k][i]));
    message += text;
  }
  Warn((message + ")").c_str());
}

static void CloseAll(const std::vector<FileHandle>& files) {
  for (size_t k = files.size(); k > 0; --k) CloseFile(files[k - 1]);
}

int MergeMany(FileHandle output, const char* const* paths, int count, int32_t threshold,
              MergeReport* report) {
  *report = MergeReport();
  report->taken.assign(static_cast<size_t>(count - 1), 0);

  // Messages of the opening steps come only after everything open is closed.
  std::vector<FileHandle> files(static_cast<size_t>(count), kNoFile);
  std::vector<uint64_t> sizes(static_cast<size_t>(count), 0);
  const char* problem = nullptr;
  for (int k = 0; k < count && !problem; ++k) {
    files[k] = OpenForRead(paths[k]);
    if (files[k] == kNoFile)
      problem = k == 0 ? "修復するファイルが開けません。" : "修復用のファイルが開けません。";
  }
  for (int k = 0; k < count && !problem; ++k)
    if (!GetSize(files[k], &sizes[k])) problem = "ファイルから読み込めません。";
  for (int k = 1; k < count && !problem; ++k)
    if (sizes[k] != sizes[0]) problem = "ファイルサイズが一致しません。";
  report->size = sizes[0];
  if (!problem && sizes[0] == 0) {
    CloseAll(files);
    return 1;
  }
  const uint32_t blockSize = BlockSizeFor(sizes[0]);
  uint8_t* buffer =
      problem ? nullptr : AllocateBlockBuffer(static_cast<size_t>(count) * blockSize);
  if (!problem && !buffer) problem = "メモリが確保できません。";
  if (problem) {
    CloseAll(files);
    Warn(problem);
    return 0;
  }
  std::vector<uint8_t*> blocks(static_cast<size_t>(count)), at(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) blocks[k] = buffer + static_cast<size_t>(k) * blockSize;

  // Every stop inside the loop is shown while all files are still open.
  MergeState state = {0, output == kNoFile, 0, 0};
  uint64_t remaining = sizes[0];
  while (remaining > 0) {
    const uint32_t n = remaining < blockSize ? static_cast<uint32_t>(remaining) : blockSize;
    int read = 0;
    while (read < count && ReadExact(files[read], blocks[read], n)) ++read;
    if (read < count) {
      Warn("ファイルから読み込めません。");
      break;
    }
    uint32_t passed = 0;
    while (passed < n) {
      for (int k = 0; k < count; ++k) at[k] = blocks[k] + passed;
      passed += MergeManyBlock(&state, at.data(), count, n - passed, threshold, report);
      if (state.zeroRun == threshold && !state.asked) {
        if (!AskToGoOn(state.position - static_cast<uint64_t>(state.zeroRun))) break;
        state.asked = 1;
      } else if (passed < n) {
        ReportMismatch(state.position, blocks.data(), count, passed);
        break;
      }
    }
    if (passed < n || (state.zeroRun == threshold && !state.asked)) break;
    if (output != kNoFile && !WriteExact(output, blocks[0], n)) {
      Warn("ファイルに書き込めません。");
      break;
    }
    remaining -= n;
  }
  FreeBlockBuffer(buffer);
  CloseAll(files);
  return remaining == 0;
}
