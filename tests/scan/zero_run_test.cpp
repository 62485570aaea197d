// The block scanners against a byte-by-byte model of the scan rules, composed
// into whole files the way the file-level scan composes them.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/offset_text.h"
#include "scan/zero_run.h"

typedef std::vector<uint8_t> Bytes;
typedef std::vector<uint32_t> Blocks;  // read counts, in order

// Where the bytes stand in their file: base bytes before them, scanned clean
// down to a non-zero byte, and after bytes behind them that are not scanned.
struct Placement {
  uint64_t base;
  uint64_t after;
};

// What a whole scan finds: the first zero of the first run, or a clean end and
// the state left after the last byte.
struct Finding {
  bool damaged;
  uint64_t offset;
  ZeroRunState end;
};

static std::string Describe(const Finding& f) {
  if (f.damaged) {
    char text[kOffsetTextSize];
    FormatOffset(f.offset, text);
    return std::string("damaged at ") + text;
  }
  return "clean, run " + std::to_string(f.end.runLength) + " state " +
         std::to_string(f.end.junkState) + " skip " + std::to_string(f.end.skipCount);
}

static bool StartsWithRiff(const Bytes& data, const Blocks& blocks) {
  return !blocks.empty() && blocks[0] >= 4 && std::memcmp(data.data(), "RIFF", 4) == 0;
}

// The rules one byte at a time, nothing skipped or batched.
static Finding Model(const Bytes& data, const Blocks& blocks, int32_t threshold, int skipJunk,
                     Placement at = {0, 0}) {
  const bool junk = skipJunk && StartsWithRiff(data, blocks);
  int64_t run = 0;
  uint32_t state = 0, skip = 0;
  uint64_t position = at.base;
  size_t blockStart = 0, block = 0;
  for (size_t i = 0; i < data.size(); ++i) {
    if (i == blockStart + blocks[block]) blockStart += blocks[block++];
    const uint64_t remaining = data.size() - blockStart + at.after;
    const uint8_t b = data[i];
    ++position;
    if (!junk) {
      run = b == 0 ? run + 1 : 0;
    } else if (state == 0 && skip > 0) {
      --skip;
    } else if (state >= 4) {
      skip = (skip >> 8) | (static_cast<uint32_t>(b) << 24);
      if (state < 7) {
        ++state;
      } else {
        if (skip > remaining) skip = 0;
        run = 0;
        state = 0;
      }
    } else if (state >= 1 && b == "JUNK"[state]) {
      ++state;
    } else {
      state = 0;
      if (b == 0) {
        ++run;
      } else {
        run = 0;
        if (b == 'J') state = 1;
      }
    }
    if (run == threshold) return {true, position - static_cast<uint64_t>(run), {}};
  }
  return {false, 0, {static_cast<int32_t>(run), state, skip}};
}

struct Scanner {
  const char* name;
  uint32_t (*plain)(ZeroRunState*, const uint8_t*, uint32_t, int32_t);
  uint32_t (*junk)(ZeroRunState*, const uint8_t*, uint32_t, int32_t, uint64_t);
};
static const Scanner kScanners[] = {{"fast", ScanPlain, ScanJunk},
                                    {"portable", ScanPlainPortable, ScanJunkPortable}};

// The file-level block loop. Each block gets a buffer of exactly its size, so
// a read past its end shows under AddressSanitizer.
static Finding Drive(const Scanner& scanner, const Bytes& data, const Blocks& blocks,
                     int32_t threshold, int skipJunk, Placement at = {0, 0}) {
  ZeroRunState state = {0, 0, 0};
  uint64_t position = at.base;
  uint64_t remaining = data.size() + at.after;
  const bool junk = skipJunk && StartsWithRiff(data, blocks);
  size_t offset = 0;
  for (uint32_t count : blocks) {
    Bytes block(data.begin() + offset, data.begin() + offset + count);
    const uint32_t handled =
        junk ? scanner.junk(&state, block.data(), count, threshold, remaining)
             : scanner.plain(&state, block.data(), count, threshold);
    position += handled;
    if (state.runLength == threshold) return {true, position - state.runLength, {}};
    EXPECT_EQ(handled, count) << scanner.name << " stopped without a complete run";
    remaining -= count;
    offset += count;
  }
  return {false, 0, state};
}

static Blocks FileBlocks(size_t size) {
  Blocks blocks;
  for (size_t at = 0; at < size; at += 65536)
    blocks.push_back(static_cast<uint32_t>(size - at < 65536 ? size - at : 65536));
  return blocks;
}

static Blocks RandomBlocks(std::mt19937& rng, size_t size, uint32_t longest) {
  Blocks blocks;
  for (size_t at = 0; at < size;) {
    uint32_t n = std::uniform_int_distribution<uint32_t>(1, longest)(rng);
    if (n > size - at) n = static_cast<uint32_t>(size - at);
    blocks.push_back(n);
    at += n;
  }
  return blocks;
}

static void Append(Bytes* data, const char* text) {
  data->insert(data->end(), text, text + std::strlen(text));
}

static void AppendLe32(Bytes* data, uint32_t v) {
  for (int k = 0; k < 4; ++k) data->push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// Video-like bytes of exactly the given size: random stretches (some of them
// thick with zeros and the letters of "JUNK"), zero runs around the threshold,
// and JUNK headers of every kind, with sizes that fall on both sides of the
// size test, payloads of zeros and payloads that hold "JUNK" themselves.
static Bytes MakeData(std::mt19937& rng, size_t size, int32_t threshold, bool riff) {
  auto pick = [&](uint32_t lo, uint32_t hi) {
    return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
  };
  const uint32_t t = static_cast<uint32_t>(threshold);
  Bytes data;
  if (riff) Append(&data, "RIFF");
  while (data.size() < size) {
    switch (pick(0, 5)) {
      case 0:
      case 1: {
        const bool soup = pick(0, 2) == 0;
        for (uint32_t n = pick(0, 400); n > 0; --n) {
          static const uint8_t kSoup[] = {0, 0, 0, 'J', 'U', 'N', 'K', 'x'};
          data.push_back(soup ? kSoup[pick(0, 7)] : static_cast<uint8_t>(pick(0, 255)));
        }
        break;
      }
      case 2: {
        const uint32_t lengths[] = {t - 1, t, t + 1, pick(1, 2 * t), pick(1, 20)};
        data.insert(data.end(), lengths[pick(0, 4)], 0);
        data.push_back(static_cast<uint8_t>(pick(1, 255)));
        break;
      }
      default: {
        static const char* const kLeads[] = {"", "", "J", "JU", "JUN", "JJ", "JUNJ", "JUNKJ"};
        Append(&data, kLeads[pick(0, 7)]);
        Append(&data, "JUNK");
        const uint32_t payload = pick(0, 2) == 0 ? pick(0, 9) : pick(0, 2 * t + 16);
        const int64_t toEnd = static_cast<int64_t>(size) - static_cast<int64_t>(data.size()) - 4;
        const int64_t sizes[] = {payload, payload, 0, 0xFFFFFFFF, toEnd + pick(0, 8) - 4,
                                 toEnd + pick(0, 70000)};
        AppendLe32(&data, static_cast<uint32_t>(sizes[pick(0, 5)]));
        for (uint32_t n = 0; n < payload; ++n)
          data.push_back(pick(0, 3) == 0 ? static_cast<uint8_t>(pick(0, 255)) : 0);
        if (payload > 8 && pick(0, 1)) std::memcpy(&data[data.size() - payload / 2], "JUNK", 4);
        break;
      }
    }
  }
  data.resize(size);
  return data;
}

static const int32_t kThresholds[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 63, 64, 65, 100, 4097, 8192};

TEST(ZeroRunBlocks, AgreeWithTheModelOverRandomFilesAndSplits) {
  for (int32_t threshold : kThresholds) {
    for (unsigned seed = 1; seed <= 8; ++seed) {
      std::mt19937 rng(seed * 7919u + static_cast<unsigned>(threshold));
      const size_t size = std::uniform_int_distribution<size_t>(
          0, 4 * static_cast<size_t>(threshold) + 3000)(rng);
      const bool riff = seed % 4 != 0;
      const Bytes data = MakeData(rng, size, threshold, riff);
      const Blocks splits[] = {FileBlocks(size), RandomBlocks(rng, size, 70),
                               RandomBlocks(rng, size, 20000),
                               Blocks(1, static_cast<uint32_t>(size))};
      for (const Blocks& blocks : splits) {
        if (blocks.empty() || blocks[0] == 0) continue;
        for (int skipJunk = 0; skipJunk <= 1; ++skipJunk) {
          const std::string want = Describe(Model(data, blocks, threshold, skipJunk));
          for (const Scanner& scanner : kScanners) {
            ASSERT_EQ(Describe(Drive(scanner, data, blocks, threshold, skipJunk)), want)
                << scanner.name << " threshold " << threshold << " seed " << seed << " riff "
                << riff << " skipJunk " << skipJunk << " blocks " << blocks.size();
          }
        }
      }
    }
  }
}

// A header, its size field and its payload cut into two or three blocks at
// every offset, with sizes on both sides of the size test: the test compares
// with the bytes from the start of the block that holds the size's last byte.
TEST(ZeroRunBlocks, HeadersAndPayloadsSplitAtEveryOffset) {
  const int32_t threshold = 16;
  for (int lead = 0; lead < 3; ++lead) {
    for (int64_t extra = -3; extra <= 40; ++extra) {
      Bytes data;
      Append(&data, "RIFF\x11\x22\x33\x44 avi");
      Append(&data, lead == 0 ? "" : lead == 1 ? "J" : "JUN");
      Append(&data, "JUNK");
      const int64_t afterSize = 45;
      AppendLe32(&data, static_cast<uint32_t>(afterSize + extra));
      data.insert(data.end(), 20, 0);
      Append(&data, "xJUNK");
      data.insert(data.end(), afterSize - 25, 0);
      const uint32_t size = static_cast<uint32_t>(data.size());
      for (uint32_t cut = 1; cut < size; ++cut) {
        const Blocks splits[] = {{cut, size - cut}, {cut, 1, size - cut - 1}};
        for (const Blocks& blocks : splits) {
          if (blocks.back() == 0) continue;
          const std::string want = Describe(Model(data, blocks, threshold, 1));
          for (const Scanner& scanner : kScanners)
            ASSERT_EQ(Describe(Drive(scanner, data, blocks, threshold, 1)), want)
                << scanner.name << " lead " << lead << " size +" << extra << " cut " << cut;
        }
      }
    }
  }
}

// A header at every position of a block, so at every place within the
// stretches that the vector search takes at a time.
TEST(ZeroRunBlocks, HeaderAtEveryPositionOfABlock) {
  for (uint32_t before = 0; before < 200; ++before) {
    Bytes data;
    Append(&data, "RIFF");
    data.insert(data.end(), before, 'x');
    Append(&data, "JUNK");
    AppendLe32(&data, 16);
    data.insert(data.end(), 16, 0);
    data.insert(data.end(), 100, 'y');
    const Blocks blocks = {static_cast<uint32_t>(data.size())};
    ASSERT_EQ(Describe(Model(data, blocks, 8, 1)), "clean, run 0 state 0 skip 0");
    for (const Scanner& scanner : kScanners)
      ASSERT_EQ(Describe(Drive(scanner, data, blocks, 8, 1)), "clean, run 0 state 0 skip 0")
          << scanner.name << " header at " << 4 + before;
  }
}

// Runs as long as whole blocks: all-zero blocks, a run carried through many
// blocks, and thresholds above the block size.
TEST(ZeroRunBlocks, RunsAcrossManyBlocks) {
  std::mt19937 rng(5);
  for (int32_t threshold : {8192, 65536, 65537, 200000}) {
    // A run one short of the threshold, then one that reaches it.
    const size_t second = 2000 + threshold - 1;
    Bytes data(second + threshold + 1000, 0x55);
    std::fill(data.begin() + 1000, data.begin() + 1000 + threshold - 1, 0);
    std::fill(data.begin() + second, data.begin() + second + threshold, 0);
    const Blocks splits[] = {FileBlocks(data.size()), RandomBlocks(rng, data.size(), 3000)};
    for (const Blocks& blocks : splits) {
      const std::string want = Describe(Model(data, blocks, threshold, 0));
      EXPECT_EQ(want, Describe(Finding{true, second, {}}));
      for (const Scanner& scanner : kScanners)
        EXPECT_EQ(Describe(Drive(scanner, data, blocks, threshold, 0)), want) << scanner.name;
    }
  }
}

// The settings never hold such thresholds, but a scan with one must still
// stay inside its block and count the run.
TEST(ZeroRunBlocks, ThresholdsOfZeroOrLessAreNeverReached) {
  const Bytes zeros(300, 0);
  for (int32_t threshold : {0, -1}) {
    for (const Scanner& scanner : kScanners) {
      ZeroRunState plain = {0, 0, 0}, junk = {0, 0, 0};
      EXPECT_EQ(scanner.plain(&plain, zeros.data(), 300, threshold), 300u) << scanner.name;
      EXPECT_EQ(scanner.junk(&junk, zeros.data(), 300, threshold, 300), 300u) << scanner.name;
      EXPECT_EQ(plain.runLength, 300);
      EXPECT_EQ(junk.runLength, 300);
    }
  }
}

// Offsets past 4 GiB come from the 64-bit scan position, carried in through
// the state, without a file that large.
TEST(ZeroRunBlocks, OffsetsAndSizeTestsBeyondFourGiB) {
  const uint64_t fourGiB = 0x100000000ull;
  const int32_t threshold = 8192;
  struct Case {
    uint64_t firstZero;  // where the run starts in the file
    const char* text;
  } cases[] = {{fourGiB - 9000, "FFFFDCD8"},
               {fourGiB - 100, "FFFFFF9C"},  // begins below 4 GiB, completes above
               {fourGiB, "0000000100000000"},
               {fourGiB + 12345, "0000000100003039"}};
  for (const Case& c : cases) {
    const uint64_t base = fourGiB - 20000;
    Bytes data(50000, 0xA7);
    const size_t first = static_cast<size_t>(c.firstZero - base);
    std::fill(data.begin() + first, data.begin() + first + threshold, 0);
    std::mt19937 rng(static_cast<unsigned>(c.firstZero));
    const Blocks blocks = RandomBlocks(rng, data.size(), 9000);
    for (const Scanner& scanner : kScanners) {
      Finding got = Drive(scanner, data, blocks, threshold, 0, {base, 0});
      ASSERT_TRUE(got.damaged) << scanner.name;
      char text[kOffsetTextSize];
      FormatOffset(got.offset, text);
      EXPECT_STREQ(text, c.text) << scanner.name;
    }
  }

  // While 4 GiB or more remain, even the largest size passes the test.
  Bytes riff;
  Append(&riff, "RIFF....JUNK");
  AppendLe32(&riff, 0xFFFFFFFF);
  riff.insert(riff.end(), 20000, 0);
  const uint64_t fromBlockStart = riff.size();
  struct SizeCase {
    uint64_t remaining;
    bool damaged;
  } sizeCases[] = {{0xFFFFFFFFull, false}, {fourGiB, false}, {fourGiB + 77, false},
                   {0xFFFFFFFEull, true}, {fromBlockStart, true}};
  for (const SizeCase& c : sizeCases) {
    const Placement at = {fourGiB * 3, c.remaining - fromBlockStart};
    const Blocks blocks = {static_cast<uint32_t>(riff.size())};
    const std::string want = Describe(Model(riff, blocks, threshold, 1, at));
    EXPECT_EQ(want.rfind("damaged", 0) == 0, c.damaged) << want;
    for (const Scanner& scanner : kScanners)
      EXPECT_EQ(Describe(Drive(scanner, riff, blocks, threshold, 1, at)), want) << scanner.name;
  }
}
