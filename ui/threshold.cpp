#include "ui/threshold.h"

#include "app/settings.h"
#include "res/resource.h"
#include "ui/handlers.h"

int32_t ThresholdFromKb(int32_t kb) {
  if (kb <= 0) return kDefaultErrorLength;
  if (kb > kMaxThresholdKb) kb = kMaxThresholdKb;
  return kb * 1024;
}

// The edit's text is left as the user typed it.
INT_PTR OnThresholdNotify(HWND dialog, UINT code) {
  if (code == EN_CHANGE) {
    const int32_t kb = static_cast<int32_t>(GetDlgItemInt(dialog, IDC_THRESHOLD, nullptr, TRUE));
    g_settings.ErrorLength = ThresholdFromKb(kb);
  }
  return TRUE;
}
