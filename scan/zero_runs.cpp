#include "scan/zero_runs.h"

#include <cstring>

#include "common/block_buffer.h"
#include "common/file_io.h"
#include "common/host.h"
#include "scan/scan_file.h"

// The index of the first non-zero byte of buf[i..n), or n.
static uint32_t SkipZeros(const uint8_t* buf, uint32_t i, uint32_t n) {
  for (; n - i >= 8; i += 8) {
    uint64_t word;
    std::memcpy(&word, buf + i, 8);
    if (word != 0) break;
  }
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

int FindZeroRuns(const char* path, int32_t threshold, int skipJunk, std::vector<ByteRange>* runs,
                 uint64_t* size) {
  FileHandle file;
  uint64_t remaining = 0;
  uint8_t* buffer = nullptr;
  uint32_t blockSize = 0;
  if (!OpenScan(path, &file, &remaining, &buffer, &blockSize)) return 0;
  *size = remaining;
  if (remaining == 0) return 1;

  ZeroRunsState state = {{0, 0, 0}, 0};
  int junk = 0;
  int result = 0;
  for (;;) {
    const uint32_t count = remaining < blockSize ? static_cast<uint32_t>(remaining) : blockSize;
    if (!ReadExact(file, buffer, count)) {
      ShowMessage("ファイルから読み込めません。", nullptr, kWarningOk);
      break;
    }
    if (state.position == 0 && count >= 4 && std::memcmp(buffer, "RIFF", 4) == 0)
      junk = skipJunk;
    FindRunsInBlock(&state, buffer, count, threshold, junk, remaining, runs);
    remaining -= count;
    if (!PumpMessages() || remaining == 0) {
      result = remaining == 0;
      break;
    }
  }
  FreeBlockBuffer(buffer);
  CloseFile(file);
  return result;
}
