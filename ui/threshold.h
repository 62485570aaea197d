// The damage threshold as the user enters it, in KB.
#pragma once
#include <cstdint>

#include "common/threshold.h"

// ErrorLength for an entry of kb: 0 or less (also an empty or unreadable edit)
// means the default of 8192 bytes, and entries beyond kMaxThresholdKb are held
// at kMaxThresholdKb so the threshold stays positive.
int32_t ThresholdFromKb(int32_t kb);
