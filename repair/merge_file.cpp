#include "repair/merge_file.h"

#include <cstdio>

#include "common/block_buffer.h"
#include "common/block_size.h"
#include "common/file_io.h"
#include "common/host.h"
#include "common/offset_text.h"
#include "common/settings.h"
#include "repair/merge_block.h"

static void Warn(const char* text) { ShowMessage(text, nullptr, kWarningOk); }

int AskToGoOn(uint64_t offset) {
  char offsetText[kOffsetTextSize];
  char message[256];
  FormatOffset(offset, offsetText);
  std::snprintf(message, sizeof message, "修復できません。処理を続行しますか?\nAddress : %s",
                offsetText);
  return ShowMessage(message, nullptr, kWarningYesNo);
}

static void ReportMismatch(uint64_t offset, uint8_t damagedByte, uint8_t sourceByte) {
  char offsetText[kOffsetTextSize];
  char message[256];
  FormatOffset(offset, offsetText);
  std::snprintf(message, sizeof message, "データが一致しません。\nAddress : %s (%02X / %02X)",
                offsetText, static_cast<unsigned>(damagedByte), static_cast<unsigned>(sourceByte));
  Warn(message);
}

// Opens both inputs and finds their common size; when that fails, tells the
// user after closing what it opened and returns 0.
static int OpenInputs(const char* damaged, const char* source, FileHandle* inputs,
                      uint64_t* common) {
  // Messages of the opening steps come only after everything open is closed.
  FileHandle damagedFile = OpenForRead(damaged);
  if (damagedFile == kNoFile) {
    Warn("修復するファイルが開けません。");
    return 0;
  }
  FileHandle sourceFile = OpenForRead(source);
  if (sourceFile == kNoFile) {
    CloseFile(damagedFile);
    Warn("修復用のファイルが開けません。");
    return 0;
  }
  uint64_t size = 0, sourceSize = 0;
  if (!GetSize(damagedFile, &size) || !GetSize(sourceFile, &sourceSize)) {
    CloseFile(sourceFile);
    CloseFile(damagedFile);
    Warn("ファイルから読み込めません。");
    return 0;
  }
  if (size != sourceSize) {
    CloseFile(sourceFile);
    CloseFile(damagedFile);
    Warn("ファイルサイズが一致しません。");
    return 0;
  }
  inputs[0] = damagedFile;
  inputs[1] = sourceFile;
  *common = size;
  return 1;
}

// Merges the open inputs into the open output, then releases all three.
static int MergeOpenFiles(FileHandle outputFile, FileHandle damagedFile, FileHandle sourceFile,
                          uint64_t size) {
  if (size == 0) {
    CloseFile(outputFile);
    CloseFile(sourceFile);
    CloseFile(damagedFile);
    return 1;
  }
  const uint32_t blockSize = BlockSizeFor(size);
  // First half: the damaged block, merged in place; second half: the source's.
  uint8_t* buffer = AllocateBlockBuffer(2 * static_cast<size_t>(blockSize));
  if (!buffer) {
    CloseFile(outputFile);
    CloseFile(sourceFile);
    CloseFile(damagedFile);
    Warn("メモリが確保できません。");
    return 0;
  }
  uint8_t* const damagedBlock = buffer;
  uint8_t* const sourceBlock = buffer + blockSize;

  // Every stop inside the loop is shown while all three files are still open.
  uint64_t remaining = size;
  uint64_t position = 0;
  int32_t zeroRun = 0;
  int asked = 0;
  while (remaining > 0) {
    const uint32_t n = remaining < blockSize ? static_cast<uint32_t>(remaining) : blockSize;
    if (!ReadExact(damagedFile, damagedBlock, n) || !ReadExact(sourceFile, sourceBlock, n)) {
      Warn("ファイルから読み込めません。");
      break;
    }
    // The block is merged in pieces: MergeBlock stops where the counter comes
    // to the threshold, so the question names the stretch by its first zero
    // (for shared zeros in a row) wherever in the block it is long enough,
    // and the merge goes on with the rest of the block.
    const int32_t threshold = g_settings.ErrorLength;
    uint32_t done = 0;
    int declined = 0;
    for (;;) {
      const uint32_t passed =
          MergeBlock(damagedBlock + done, sourceBlock + done, n - done, &zeroRun, threshold);
      done += passed;
      position += passed;
      if (zeroRun == threshold && !asked) {
        declined = !AskToGoOn(position - static_cast<uint64_t>(zeroRun));
        if (declined) break;
        asked = 1;
      }
      if (done == n || passed == 0) break;
    }
    if (declined) break;
    if (done < n) {
      ReportMismatch(position, damagedBlock[done], sourceBlock[done]);
      break;
    }
    if (!WriteExact(outputFile, damagedBlock, n)) {
      Warn("ファイルに書き込めません。");
      break;
    }
    remaining -= n;
  }

  FreeBlockBuffer(buffer);
  CloseFile(outputFile);
  CloseFile(sourceFile);
  CloseFile(damagedFile);
  return remaining == 0 ? 1 : 0;
}

int Merge(const char* output, const char* damaged, const char* source, int* outputMade) {
  if (outputMade) *outputMade = 0;
  FileHandle inputs[2];
  uint64_t size = 0;
  if (!OpenInputs(damaged, source, inputs, &size)) return 0;
  // Handing over the inputs keeps an output path that names one of them from
  // truncating it.
  FileHandle outputFile = CreateAlways(output, inputs, 2);
  if (outputFile == kNoFile) {
    CloseFile(inputs[1]);
    CloseFile(inputs[0]);
    Warn("書き込み先ファイルが開けません。");
    return 0;
  }
  if (outputMade) *outputMade = 1;
  return MergeOpenFiles(outputFile, inputs[0], inputs[1], size);
}
