#include "scan/scan_file.h"

#include <cstdio>
#include <cstring>

#include "common/block_buffer.h"
#include "common/block_size.h"
#include "common/file_io.h"
#include "common/host.h"
#include "common/offset_text.h"
#include "common/settings.h"
#include "scan/zero_run.h"

static void ReportDamage(uint64_t offset) {
  char offsetText[kOffsetTextSize];
  char message[256];
  FormatOffset(offset, offsetText);
  std::snprintf(message, sizeof message, "ファイルが破損している可能性があります。\nAddress : %s",
                offsetText);
  ShowMessage(message, "破損検出", kWarningOk);
}

int ScanFile(const char* path) {
  FileHandle file = OpenForRead(path);
  if (file == kNoFile) {
    ShowMessage("ファイルが開けません。", nullptr, kWarningOk);
    return 0;
  }
  uint64_t remaining = 0;
  if (!GetSize(file, &remaining)) {
    CloseFile(file);
    ShowMessage("ファイルから読み込めません。", nullptr, kWarningOk);
    return 0;
  }
  if (remaining == 0) {
    CloseFile(file);
    return 1;
  }
  const uint32_t blockSize = BlockSizeFor(remaining);
  uint8_t* buffer = AllocateBlockBuffer(blockSize);
  if (!buffer) {
    CloseFile(file);
    ShowMessage("メモリが確保できません。", nullptr, kWarningOk);
    return 0;
  }

  const int32_t threshold = g_settings.ErrorLength;
  ZeroRunState state = {0, 0, 0};
  uint64_t position = 0;
  int riff = 0;
  int result = 0;
  for (;;) {
    const uint32_t count = remaining < blockSize ? static_cast<uint32_t>(remaining) : blockSize;
    if (!ReadExact(file, buffer, count)) {
      ShowMessage("ファイルから読み込めません。", nullptr, kWarningOk);
      break;
    }
    if (position == 0 && count >= 4 && std::memcmp(buffer, "\x52\x49\x46\x46", 4) == 0) riff = 1;
    const uint32_t handled = g_settings.SkipJunk && riff
                                 ? ScanJunk(&state, buffer, count, threshold, remaining)
                                 : ScanPlain(&state, buffer, count, threshold);
    position += handled;
    if (state.runLength == threshold) {
      ReportDamage(position - static_cast<uint64_t>(state.runLength));
      break;
    }
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
