#include "app/settings.h"
#include "res/resource.h"
#include "ui/handlers.h"

// The box ticks itself before the command arrives.
INT_PTR OnSkipJunk(HWND dialog) {
  g_settings.SkipJunk = IsDlgButtonChecked(dialog, IDC_SKIP_JUNK) == BST_CHECKED ? 1 : 0;
  return TRUE;
}
