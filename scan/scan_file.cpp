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

void ReportDamage(uint64_t offset) {
  char offsetText[kOffsetTextSize];
  char message[256];
  FormatOffset(offset, offsetText);
  std::snprintf(message, sizeof message, "ファイルが破損している可能性があります。\nAddress : %s",
                offsetText);
  ShowMessage(message, "破損検出", kWarningOk);
}

int OpenScan(const char* path, FileHandle* file, uint64_t* size, uint8_t** buffer,
             uint32_t* blockSize) {
  *file = OpenForRead(path);
  if (*file == kNoFile) {
    ShowMessage("ファイルが開けません。", nullptr, kWarningOk);
    return 0;
  }
  if (!GetSize(*file, size)) {
    CloseFile(*file);
    ShowMessage("ファイルから読み込めません。", nullptr, kWarningOk);
    return 0;
  }
  if (*size == 0) {
    CloseFile(*file);
    return 1;
  }
  *blockSize = BlockSizeFor(*size);
  *buffer = AllocateBlockBuffer(*blockSize);
  if (!*buffer) {
    CloseFile(*file);
    ShowMessage("メモリが確保できません。", nullptr, kWarningOk);
    return 0;
  }
  return 1;
}

int ScanFile(const char* path) {
  FileHandle file;
  uint64_t remaining = 0;
  uint8_t* buffer = nullptr;
  uint32_t blockSize = 0;
  if (!OpenScan(path, &file, &remaining, &buffer, &blockSize)) return 0;
  if (remaining == 0) return 1;

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
