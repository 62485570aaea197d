#include "common/messages.h"

#include <cstdio>

#include "common/offset_text.h"

// "%s" stands for the offset text, a second one for the bytes.
struct MessageRow {
  OutcomeKind kind;
  const char* japanese;
  const char* english;
  const char* caption;  // nullptr: the platform's default caption
  int information;
};

static const MessageRow kRows[] = {
    {kDamaged, "ファイルが破損している可能性があります。\nAddress : %s",
     "The file may be damaged.\nAddress : %s", "破損検出", 0},
    {kCannotOpen, "ファイルが開けません。", "Cannot open the file.", nullptr, 0},
    {kCannotRead, "ファイルから読み込めません。", "Cannot read from the file.", nullptr, 0},
    {kNoMemory, "メモリが確保できません。", "Cannot get the memory.", nullptr, 0},
    {kCannotOpenDamaged, "修復するファイルが開けません。", "Cannot open the file to repair.",
     nullptr, 0},
    {kCannotOpenSource, "修復用のファイルが開けません。", "Cannot open the file to repair from.",
     nullptr, 0},
    {kSizeMismatch, "ファイルサイズが一致しません。", "The file sizes do not match.", nullptr, 0},
    {kCannotMakeOutput, "書き込み先ファイルが開けません。", "Cannot open the file to write.",
     nullptr, 0},
    {kMismatch, "データが一致しません。\nAddress : %s (%s)",
     "The data do not match.\nAddress : %s (%s)", nullptr, 0},
    {kCannotWrite, "ファイルに書き込めません。", "Cannot write to the file.", nullptr, 0},
    {kDeclined, "修復できません。処理を続行しますか?\nAddress : %s",
     "Cannot repair. Continue?\nAddress : %s", nullptr, 0},
    {kRepaired, "ファイルを修復しました。", "The file has been repaired.", "修復", 1},
    {kNoDamageFound, "破損は見付かりませんでした。", "No damage was found.", "結果", 1},
    {kNameTooLong, "修復するファイルのファイル名が長過ぎます。",
     "The name of the file to repair is too long.", nullptr, 0},
};

static const MessageRow* RowOf(OutcomeKind kind) {
  for (const MessageRow& row : kRows)
    if (row.kind == kind) return &row;
  return nullptr;
}

// The bytes as "%02X / %02X ...", the damaged copy's first.
static std::string ByteList(const std::vector<uint8_t>& bytes) {
  std::string list;
  for (size_t k = 0; k < bytes.size(); ++k) {
    char hex[8];
    std::snprintf(hex, sizeof hex, k == 0 ? "%02X" : " / %02X", static_cast<unsigned>(bytes[k]));
    list += hex;
  }
  return list;
}

std::string OutcomeMessage(const Outcome& outcome, Language language) {
  const MessageRow* row = RowOf(outcome.kind);
  if (!row) return std::string();
  const char* text = language == kEnglish ? row->english : row->japanese;
  char offset[kOffsetTextSize];
  FormatOffset(outcome.offset, offset);
  const std::string bytes = ByteList(outcome.bytes);
  const int n = std::snprintf(nullptr, 0, text, offset, bytes.c_str());
  std::string message(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(&message[0], message.size(), text, offset, bytes.c_str());
  message.resize(static_cast<size_t>(n));
  return message;
}

const char* OutcomeCaption(OutcomeKind kind) {
  const MessageRow* row = RowOf(kind);
  return row ? row->caption : nullptr;
}

int IsInformation(OutcomeKind kind) {
  const MessageRow* row = RowOf(kind);
  return row ? row->information : 0;
}
