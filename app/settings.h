// The dialog program's Settings record: the four values that outlive a run of
// the program.
#pragma once
#include <cstdint>

#include "common/threshold.h"

struct Settings {
  int32_t WindowLeft = 0;  // screen position of the dialog's top-left corner
  int32_t WindowTop = 0;
  int32_t ErrorLength = kDefaultErrorLength;  // damage threshold in bytes, always > 0
  int32_t SkipJunk = 1;    // 1: pass over JUNK payloads in RIFF files
};

// The one instance, with its defaults from process start on.
extern Settings g_settings;

// The rules applied to freshly loaded values: a threshold of 0 or less becomes
// the default, any non-zero SkipJunk becomes 1.
void ApplyLoadRules(Settings* s);
