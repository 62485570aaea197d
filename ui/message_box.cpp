#include "common/host.h"
#include "ui/globals.h"

int ShowMessage(const char* text, const char* caption, MessageKind kind) {
  UINT type = MB_ICONWARNING | MB_OK;
  if (kind == kWarningYesNo) type = MB_ICONWARNING | MB_YESNO;
  if (kind == kInformationOk) type = MB_ICONINFORMATION | MB_OK;
  return MessageBoxA(g_mainDialog, text, caption, type) == IDYES;
}
