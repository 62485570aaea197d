#include "avi/avi_sniff.h"

#include <cstring>

// The next 00 00 01 start code from i on, or n.
static uint32_t StartCode(const uint8_t* p, uint32_t i, uint32_t n) {
  for (; i + 3 < n; ++i)
    if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return i;
  return n;
}

uint8_t SniffFrame(const uint8_t* p, uint32_t n, const uint8_t** vol) {
  uint8_t kind = 0;
  if (vol) *vol = nullptr;
  for (uint32_t i = StartCode(p, 0, n); i < n; i = StartCode(p, i + 3, n)) {
    const uint8_t code = p[i + 3];
    if (code >= 0x20 && code <= 0x2F && vol && !*vol) *vol = p + i;
    if (code == 0xB6 && i + 4 < n) return kind | kAviSawVop | (p[i + 4] >> 6);
    if ((code & 0x80) == 0 && (code & 0x1F) == 5) kind |= kAviSawIdr;
    if ((code & 0x80) == 0 && (code & 0x1F) == 1) kind |= kAviSawSlice;
  }
  return kind;
}

// Bit rates in kbit/s by version (MPEG-1, else), layer (I, II, III) and index.
static const uint16_t kBitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
static const uint32_t kSampleRates[3] = {44100, 48000, 32000};

// The frame size for header h with bit rate index rate and padding pad.
static uint32_t FrameSize(const uint8_t* h, uint32_t rate, uint32_t pad) {
  const uint32_t version = h[1] >> 3 & 3, layer = 4 - (h[1] >> 1 & 3), sr = h[2] >> 2 & 3;
  if ((h[0] != 0xFF) || (h[1] & 0xE0) != 0xE0 || version == 1 || layer == 4 || sr == 3)
    return 0;
  const uint32_t mpeg1 = version == 3;
  const uint32_t kbps = kBitRates[!mpeg1][layer - 1][rate];
  const uint32_t hz = kSampleRates[sr] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  if (kbps == 0) return 0;
  if (layer == 1) return (12000 * kbps / hz + pad) * 4;
  return (layer == 3 && !mpeg1 ? 72000 : 144000) * kbps / hz + pad;
}

uint32_t MpegAudioFrameSize(const uint8_t* h) { return FrameSize(h, h[2] >> 4, h[2] >> 1 & 1); }

int MpegAudioHeaderOfSize(const uint8_t* h, uint32_t size, uint8_t out[4]) {
  for (uint32_t rate = 1; rate < 15; ++rate)
    for (uint32_t pad = 0; pad < 2; ++pad) {
      if (FrameSize(h, rate, pad) != size) continue;
      out[0] = h[0];
      out[1] = uint8_t(h[1] | 1);  // no CRC
      out[2] = uint8_t((h[2] & 0x0D) | rate << 4 | pad << 1);
      out[3] = h[3];
      return 1;
    }
  return 0;
}

// Bits from p[0..n), past the end zeros.
struct BitReader {
  const uint8_t* p;
  uint32_t n, at;
  uint32_t Get(uint32_t bits) {
    uint32_t v = 0;
    for (; bits > 0; --bits, ++at) v = v << 1 | (at / 8 < n ? p[at / 8] >> (7 - at % 8) & 1 : 0);
    return v;
  }
};

static uint32_t BitsFor(uint32_t values) {
  uint32_t bits = 1;
  while (values > (1u << bits)) ++bits;
  return bits;
}

AviVol ReadVol(const uint8_t* p, uint32_t n) {
  AviVol vol = {};
  BitReader r = {p, n, 32};
  r.Get(9);  // random access, object type
  const uint32_t verid = r.Get(1) ? r.Get(7) >> 3 : 1;
  if (r.Get(4) == 15) r.Get(16);  // aspect ratio
  if (r.Get(1)) {  // control parameters: chroma, low delay, and the vbv's when given
    r.Get(3);
    if (r.Get(1)) r.Get(79);
  }
  const uint32_t shape = r.Get(2);
  r.Get(1);
  const uint32_t resolution = r.Get(16);
  r.Get(1);
  if (r.Get(1)) r.Get(BitsFor(resolution));  // fixed rate
  r.Get(1);
  const uint32_t width = r.Get(13);
  r.Get(1);
  const uint32_t height = r.Get(13);
  r.Get(1);
  const uint32_t interlaced = r.Get(1);
  r.Get(1);  // obmc
  const uint32_t sprite = r.Get(verid == 1 ? 1 : 2);
  vol.quantBits = r.Get(1) ? r.Get(8) >> 4 : 5;
  const uint32_t quantType = r.Get(1);
  if (verid != 1) r.Get(1);  // quarter sample
  const uint32_t estimation = !r.Get(1);
  r.Get(1);  // resync markers
  const uint32_t partitioned = r.Get(1);
  if (partitioned) r.Get(1);
  uint32_t newer = 0;  // newpred or reduced resolution VOPs
  if (verid != 1 && r.Get(1)) newer = 1, r.Get(3);
  if (verid != 1) newer |= r.Get(1);
  const uint32_t scalable = r.Get(1);
  vol.timeBits = BitsFor(resolution);
  vol.macroblocks = ((width + 15) / 16) * ((height + 15) / 16);
  vol.ok = shape == 0 && resolution > 0 && !interlaced && !sprite && !quantType && !estimation &&
           !partitioned && !newer && !scalable && r.at <= 8 * n && vol.macroblocks > 0 &&
           vol.macroblocks <= 8160;
  return vol;
}

// Writes value's bits, most significant first.
static void Put(uint8_t* out, uint32_t* at, uint32_t value, uint32_t bits) {
  for (; bits > 0; --bits, ++*at)
    if (value >> (bits - 1) & 1) out[*at / 8] |= uint8_t(0x80 >> (*at % 8));
}

uint32_t RepeatVop(const AviVol& vol, int bFrame, uint8_t* out) {
  const uint32_t bytes = 16 + vol.macroblocks / 8 + 1;
  std::memset(out, 0, bytes);
  uint32_t at = 0;
  Put(out, &at, 0x1B6, 32);                       // vop_start_code
  Put(out, &at, bFrame ? 2 : 1, 2);               // B or P
  Put(out, &at, 0b01, 2);                         // modulo_time_base 0, marker
  Put(out, &at, 0, vol.timeBits);                 // vop_time_increment
  if (bFrame) {
    Put(out, &at, 0b10, 2);                       // marker, not coded
    Put(out, &at, 0, 1);
    while (at % 8) Put(out, &at, 1, 1);
    return at / 8;
  }
  Put(out, &at, 0b110, 3);                        // marker, vop_coded, rounding 0
  Put(out, &at, 0, 3);                            // intra_dc_vlc_thr
  Put(out, &at, 2, vol.quantBits);                // vop_quant
  Put(out, &at, 1, 3);                            // vop_fcode_forward
  for (uint32_t k = 0; k < vol.macroblocks; ++k) Put(out, &at, 1, 1);  // not coded
  Put(out, &at, 0, 1);                            // stuffing: a 0, then 1s
  while (at % 8) Put(out, &at, 1, 1);
  return at / 8;
}
