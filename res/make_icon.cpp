// Writes the application icon, res/app.ico: one 32x32 image in 16 colours, a
// white hammer, head up, on a dark cyan disc with a black rim that fills the
// square; the corners outside the disc are transparent.
//
// Rebuild the icon from the repository's top folder with:
//   g++ -std=c++17 -O2 -o /tmp/make_icon res/make_icon.cpp && /tmp/make_icon res/app.ico
#include <cstdint>
#include <cstdio>
#include <vector>

static const int kSize = 32;

// The standard 16-colour palette, as red, green, blue.
static const uint8_t kPalette[16][3] = {
    {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
    {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
    {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
    {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255},
};
static const int kBlack = 0;
static const int kDarkCyan = 6;
static const int kWhite = 15;

// The hammer, top row first: '#' is white. The striking face is on the left,
// the claw curving down on the right, the grip wider towards the bottom.
static const char* const kHammer[kSize] = {
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
    "......####......................",
    "......##################........",
    "......###################.......",
    "......###############...###.....",
    "......###############....###....",
    "......####....####........##....",
    "......####....####..............",
    "..............####..............",
    "..............####..............",
    "..............####..............",
    "..............####..............",
    "..............####..............",
    "..............####..............",
    "..............####..............",
    ".............######.............",
    ".............######.............",
    ".............######.............",
    ".............######.............",
    ".............######.............",
    ".............######.............",
    "..............####..............",
    "................................",
    "................................",
    "................................",
    "................................",
    "................................",
};

// Colour index at (x, y), top row 0; -1 for a transparent pixel.
static int PixelAt(int x, int y) {
  const double dx = x + 0.5 - kSize / 2.0;
  const double dy = y + 0.5 - kSize / 2.0;
  const double d2 = dx * dx + dy * dy;
  const double outer = kSize / 2.0;
  const double inner = outer - 1.5;
  if (d2 > outer * outer) return -1;
  if (d2 > inner * inner) return kBlack;
  return kHammer[y][x] == '#' ? kWhite : kDarkCyan;
}

static void Put16(std::vector<uint8_t>* out, unsigned v) {
  out->push_back(v & 0xFF);
  out->push_back((v >> 8) & 0xFF);
}

static void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

static const uint32_t kXorBytes = kSize * kSize / 2;  // 4 bits a pixel; rows of 16 bytes
static const uint32_t kAndBytes = kSize * 4;          // 1 bit a pixel, rows padded to 4 bytes

// The icon directory with its one entry, then the image's bitmap header and palette.
static void PutHeaders(std::vector<uint8_t>* ico) {
  Put16(ico, 0);  // reserved
  Put16(ico, 1);  // an icon
  Put16(ico, 1);  // one image
  ico->push_back(kSize);
  ico->push_back(kSize);
  ico->push_back(16);  // colours
  ico->push_back(0);
  Put16(ico, 1);  // planes
  Put16(ico, 4);  // bits a pixel
  Put32(ico, 40 + 16 * 4 + kXorBytes + kAndBytes);
  Put32(ico, 6 + 16);  // the image follows the directory
  Put32(ico, 40);
  Put32(ico, kSize);
  Put32(ico, kSize * 2);  // colour image and mask together
  Put16(ico, 1);
  Put16(ico, 4);
  Put32(ico, 0);  // uncompressed
  Put32(ico, kXorBytes + kAndBytes);
  Put32(ico, 0);
  Put32(ico, 0);
  Put32(ico, 16);
  Put32(ico, 0);
  for (const auto& c : kPalette) {
    ico->push_back(c[2]);
    ico->push_back(c[1]);
    ico->push_back(c[0]);
    ico->push_back(0);
  }
}

// Bitmap rows run bottom-up. Transparent pixels are black in the colour image
// and set in the mask.
static void PutPixels(std::vector<uint8_t>* ico) {
  for (int y = kSize - 1; y >= 0; --y) {
    for (int x = 0; x < kSize; x += 2) {
      const int left = PixelAt(x, y);
      const int right = PixelAt(x + 1, y);
      ico->push_back(static_cast<uint8_t>(((left < 0 ? 0 : left) << 4) | (right < 0 ? 0 : right)));
    }
  }
  for (int y = kSize - 1; y >= 0; --y) {
    uint32_t bits = 0;
    for (int x = 0; x < kSize; ++x) {
      if (PixelAt(x, y) < 0) bits |= 0x80000000u >> x;
    }
    for (int shift = 24; shift >= 0; shift -= 8)
      ico->push_back(static_cast<uint8_t>(bits >> shift));
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.ico\n", argv[0]);
    return 2;
  }
  std::vector<uint8_t> ico;
  PutHeaders(&ico);
  PutPixels(&ico);
  FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::perror(argv[1]);
    return 1;
  }
  const size_t written = std::fwrite(ico.data(), 1, ico.size(), f);
  if (std::fclose(f) != 0 || written != ico.size()) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
