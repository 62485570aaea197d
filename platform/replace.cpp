#include "platform/replace.h"

#include "platform/console.h"
#include "platform/fs.h"
#include "common/output_name.h"

// No stop may fall between making the partial file and guarding it.
int BeginReplacement(Replacement* r, const char* path, const char* like,
                     const std::string& stoppedLine) {
  HoldStops();
  r->file = CreatePartialFile(FolderPrefix(path), path, like, &r->partial);
  if (r->file == kNoFile) {
    r->error = SystemError();
    ReleaseItem();
    return 0;
  }
  GuardItem(stoppedLine, r->partial.c_str());
  return 1;
}

// Windows renames no file held open, so the file is closed first; stops are
// held from then on, so that none falls between the rename and the release.
int EndReplacement(Replacement* r, const char* path, int keep) {
  const int flushed = keep && !StopStatus() && FlushFile(r->file);
  if (keep && !flushed && !StopStatus()) r->error = SystemError();
  CloseFile(r->file);
  r->file = kNoFile;
  HoldStops();
  int placed = flushed && !StopStatus();
  if (placed && !ReplaceWith(r->partial.c_str(), path)) {
    r->error = SystemError();
    placed = 0;
  }
  if (!placed) RemoveFile(r->partial.c_str());
  ReleaseItem();
  return placed;
}

int WriteWholeFile(const char* path, const std::string& text, FileError* error) {
  Replacement file;
  *error = {kNoFailure, 0};
  if (!MayReplace(path)) {
    error->failure = IsFolder(path) ? kFailedIsFolder : kFailedNotRegular;
    return 0;
  }
  if (!BeginReplacement(&file, path, path, std::string())) {
    *error = SystemFailure(file.error);
    return 0;
  }
  const int written = WriteExact(file.file, text.data(), static_cast<uint32_t>(text.size()));
  if (!written) *error = LastFileError();
  if (EndReplacement(&file, path, written)) return 1;
  if (error->failure == kNoFailure) *error = SystemFailure(file.error);
  return 0;
}
