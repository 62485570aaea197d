// The damage threshold: the length of a zero run that counts as damage.
#pragma once
#include <cstdint>

// In bytes, unless the user sets another.
constexpr int32_t kDefaultErrorLength = 8192;

// The user gives it in KB and it is kept in bytes as a signed 32-bit count:
// the largest whole number of KB that fits.
constexpr int32_t kMaxThresholdKb = INT32_MAX / 1024;
