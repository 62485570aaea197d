#include "repair/merge_many.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "common/block_buffer.h"
#include "common/block_size.h"
#include "common/host.h"
#include "common/offset_text.h"

// Adds position `at` to ranges, lengthening the last range where it ends there.
static void AddPosition(std::vector<ByteRange>* ranges, uint64_t at) {
  if (!ranges->empty() && ranges->back().offset + ranges->back().length == at)
    ++ranges->back().length;
  else
    ranges->push_back({at, 1});
}

// One position by the majority rule: 1 when merged, 2 when merged and the
// counter reached the threshold there unasked, 0 without a majority (left
// untouched). The candidate is found by pairing off differing non-zero bytes
// (a majority value is the one left over), then counted.
static int MergeOne(MergeState* s, uint8_t* const* copies, int count, uint32_t i,
                    int32_t threshold, MergeReport* report) {
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
    if (++s->stretch == static_cast<uint64_t>(threshold))
      report->unsupplied.push_back({at + 1 - s->stretch, s->stretch});
    else if (s->stretch > static_cast<uint64_t>(threshold))
      ++report->unsupplied.back().length;
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

// True when all copies hold the same 64 bytes from i on, the last non-zero:
// then nothing is filled or voted, and the counter ends at 0. That is all of a
// merge's time but the damaged stretches, so it costs one branch per 64
// positions; the compiler turns the loop into vector instructions where it can.
static bool SameEndingInData64(uint8_t* const* copies, int count, uint32_t i) {
  uint64_t differ = 0;
  for (int k = 1; k < count; ++k)
    for (uint32_t w = i; w < i + 64; w += 8) differ |= Load(copies[k] + w) ^ Load(copies[0] + w);
  return differ == 0 && copies[0][i + 63] != 0;
}

// Such a piece is taken whole only where it cannot hold the counter's reaching
// the threshold nor the end of a stretch no copy supplies: with no stretch
// open and the counter 64 or more below the threshold.
uint32_t MergeManyBlock(MergeState* s, uint8_t* const* copies, int count, uint32_t n,
                        int32_t threshold, MergeReport* report) {
  uint32_t i = 0;
  while (i < n) {
    if (n - i >= 64 && s->stretch == 0 && threshold - s->zeroRun >= 64 &&
        SameEndingInData64(copies, count, i)) {
      s->zeroRun = 0;
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

// Returns 1 when the user answers Yes.
static int AskToGoOn(uint64_t offset) {
  char offsetText[kOffsetTextSize];
  char message[256];
  FormatOffset(offset, offsetText);
  std::snprintf(message, sizeof message, "修復できません。処理を続行しますか?\nAddress : %s",
                offsetText);
  return ShowMessage(message, nullptr, kWarningYesNo);
}

// Every copy's byte at i, in copy order.
static void ReportMismatch(uint64_t offset, uint8_t* const* blocks, int count, uint32_t i) {
  char text[kOffsetTextSize];
  FormatOffset(offset, text);
  std::string message = std::string("データが一致しません。\nAddress : ") + text + " (";
  for (int k = 0; k < count; ++k) {
    std::snprintf(text, sizeof text, k == 0 ? "%02X" : " / %02X", static_cast<unsigned>(blocks[k][i]));
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
