// The little-endian numbers and four-character codes of RIFF chunks, shared by
// the walk and the map built from it.
#pragma once
#include <cstdint>

constexpr uint32_t Fourcc(const char* s) {
  return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
         uint32_t(uint8_t(s[3])) << 24;
}

inline uint32_t Le16(const uint8_t* p) { return p[0] | uint32_t(p[1]) << 8; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
inline uint64_t Le64(const uint8_t* p) { return Le32(p) | uint64_t(Le32(p + 4)) << 32; }

constexpr uint32_t kNoStream = 0xFFFFFFFF;
constexpr uint32_t kMaxStreams = 100;  // chunk ids hold two decimal digits

inline bool IsDigit(uint32_t c) { return c >= '0' && c <= '9'; }
inline bool IsLower(uint32_t c) { return c >= 'a' && c <= 'z'; }

// The stream of a data chunk ("01wb": stream 1), or kNoStream.
inline uint32_t StreamOfData(uint32_t id) {
  const uint32_t a = id & 0xFF, b = id >> 8 & 0xFF;
  if (!IsDigit(a) || !IsDigit(b) || !IsLower(id >> 16 & 0xFF) || !IsLower(id >> 24))
    return kNoStream;
  return id >> 16 == Fourcc("..pc") >> 16 ? kNoStream : (a - '0') * 10 + (b - '0');  // palettes
}

// The stream of an OpenDML standard index chunk ("ix01": stream 1), or kNoStream.
inline uint32_t StreamOfIndex(uint32_t id) {
  const uint32_t a = id >> 16 & 0xFF, b = id >> 24;
  if ((id & 0xFFFF) != (Fourcc("ix..") & 0xFFFF) || !IsDigit(a) || !IsDigit(b)) return kNoStream;
  return (a - '0') * 10 + (b - '0');
}

inline bool IsIndexId(uint32_t id) {
  return id == Fourcc("idx1") || id == Fourcc("indx") || StreamOfIndex(id) != kNoStream;
}
