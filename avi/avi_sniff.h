// What the first bytes of a packet say of it, without decoding: the MPEG-4
// Part 2 VOP's coding type (and the video object layer, whose fields a made
// VOP needs), an H.264 IDR slice, an MPEG audio frame header.
#pragma once
#include <cstdint>

// Of a video packet's first bytes.
enum AviFrameKind : uint8_t {
  kAviVopType = 3,    // the first VOP's vop_coding_type: 0 I, 1 P, 2 B, 3 S
  kAviSawVop = 4,     // a VOP start code was found
  kAviSawIdr = 8,     // an H.264 IDR slice
  kAviSawSlice = 16,  // an H.264 slice of another kind
};
constexpr uint32_t kAviSniffBytes = 256;

// The kind of the frame whose first n bytes are p; *vol (may be null) gets
// where a video object layer header starts in p, or null.
uint8_t SniffFrame(const uint8_t* p, uint32_t n, const uint8_t** vol);

// The size of the MPEG audio frame whose header is h[0..4), or 0 when h is
// none (or free format).
uint32_t MpegAudioFrameSize(const uint8_t* h);

// A header like h whose frame has exactly size bytes (same version, layer,
// sample rate and channels; a bit rate and padding that give it, no CRC), into
// out. Returns 0 when none does.
int MpegAudioHeaderOfSize(const uint8_t* h, uint32_t size, uint8_t out[4]);

// The fields of a video object layer header (from its start code on) that a
// VOP made in place of a lost one needs; ok is 0 for layers it cannot serve
// (shapes, sprites, interlace, complexity estimation and the like).
struct AviVol {
  int ok;
  uint32_t timeBits;     // of vop_time_increment
  uint32_t quantBits;
  uint32_t macroblocks;  // in a picture
};
AviVol ReadVol(const uint8_t* p, uint32_t n);

// A P-VOP that codes no macroblock: a decoder shows the picture before it
// again and keeps its timing. For a B-frame (bFrame) a B-VOP not coded, which
// shows nothing but keeps its place. Its bytes, into out (room for them: 16 +
// one bit a macroblock); returns their count.
uint32_t RepeatVop(const AviVol& vol, int bFrame, uint8_t* out);
