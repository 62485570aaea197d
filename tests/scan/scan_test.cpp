// The block scan in both forms against a byte-by-byte model, and the check of real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "scan/block_scan.h"
#include "scan/damage_map.h"
#include "scan/mapfile.h"
#include "scan/scan_file.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

typedef std::vector<uint8_t> Bytes;
typedef std::vector<uint32_t> Blocks;

struct Scan {
  const Bytes& d;
  const Blocks& blocks;
  int32_t t;
  bool junk;
  uint64_t base;   // d[0]'s offset in the file
  uint64_t after;  // bytes of the file behind d
};

using Ranges = std::vector<ByteRange>;

// "damaged at OFFSET", or the state at the end; with runs, every run it finds and the state.
static std::string Model(const Scan& c, Ranges* runs = nullptr) {
  uint32_t run = 0, state = 0, skip = 0;
  for (size_t i = 0, start = 0, block = 0; i < c.d.size(); ++i) {
    if (i == start + c.blocks[block]) start += c.blocks[block++];
    const uint8_t b = c.d[i];
    if (c.junk && state == 0 && skip > 0) {
      --skip;
    } else if (c.junk && state >= 4) {
      skip = (skip >> 8) | (uint32_t{b} << 24);
      if (++state == 8 && skip > c.d.size() - start + c.after) skip = 0;
      if (state == 8) run = state = 0;
    } else if (c.junk && state >= 1 && b == "JUNK"[state]) {
      ++state;
    } else {
      state = c.junk && b == 'J';
      run = b == 0 ? run + 1 : 0;
      const uint64_t first = c.base + i + 1 - c.t;
      if (b == 0 && run == uint32_t(c.t) && !runs) return "damaged at " + std::to_string(first);
      if (b == 0 && runs && run > uint32_t(c.t)) ++runs->back().length;
      if (b == 0 && runs && run == uint32_t(c.t)) runs->push_back({first, uint64_t(c.t)});
    }
  }
  return std::to_string(run) + " " + std::to_string(state) + " " + std::to_string(skip);
}

// The file-level loop, each block in a buffer of exactly its size.
static std::string Drive(bool portable, const Scan& c) {
  ZeroRunState s = {0, 0, 0};
  for (size_t done = 0, k = 0; k < c.blocks.size(); done += c.blocks[k++]) {
    const Bytes block(c.d.begin() + done, c.d.begin() + done + c.blocks[k]);
    const uint64_t left = c.d.size() - done + c.after;
    uint32_t n;
    if (c.junk)
      n = (portable ? ScanJunkPortable : ScanJunk)(&s, block.data(), c.blocks[k], c.t, left);
    else
      n = (portable ? ScanPlainPortable : ScanPlain)(&s, block.data(), c.blocks[k], c.t);
    if (s.runLength == c.t) return "damaged at " + std::to_string(c.base + done + n - c.t);
    if (n != c.blocks[k]) return "stopped early";
  }
  return std::to_string(s.runLength) + " " + std::to_string(s.junkState) + " " +
         std::to_string(s.skipCount);
}

// Zero runs near the threshold, "JUNK" letters, headers with sizes on both sides of the size test.
static Bytes MakeData(std::mt19937& rng, size_t size, uint32_t t) {
  auto pick = [&](uint32_t hi) { return static_cast<uint32_t>(rng() % (hi + 1)); };
  Bytes d = pick(3) ? Bytes{'R', 'I', 'F', 'F'} : Bytes{};
  while (d.size() < size) {
    const uint32_t kind = pick(3), payload = pick(1) ? pick(9) : pick(2 * t + 16);
    const uint32_t left = uint32_t(size - d.size());
    const uint32_t zeros[] = {t - 1, t, t + 1, pick(2 * t)};
    const uint32_t sizes[] = {payload, ~0u, left - 8 + pick(8), left + pick(70000)};
    const uint32_t field = sizes[pick(15) ? 0 : pick(3)];  // mostly the payload
    std::string header = std::string("JJUN").substr(pick(4)) + "JUNK";
    for (int k = 0; k < 4; ++k) header += char(field >> (8 * k));
    if (kind == 0) {
      const bool soup = pick(1);
      for (uint32_t n = pick(300); n > 0; --n)
        d.push_back(soup ? "\0\0\0JUNKx"[pick(7)] : pick(255));
    } else if (kind == 1) {
      d.insert(d.end(), header.begin(), header.begin() + pick(3));
      d.insert(d.end(), zeros[pick(3)], 0);
    } else {
      d.insert(d.end(), header.begin(), header.end());
      for (uint32_t n = payload; n > 0; --n) d.push_back(pick(3) ? 0 : uint8_t(pick(255)));
    }
  }
  d.resize(size);
  return d;
}

TEST(ZeroRunBlocks, BothFormsAgreeWithTheModelOverRandomFilesAndSplits) {
  const int32_t thresholds[] = {1,  2,  3,  4,   7,    8,    9,    15,   16,
                                17, 63, 64, 65, 100, 4097, 8192, 70000};
  const uint64_t g = 1ull << 32;
  // A header whose four letters are all that is left to search before a block ends.
  Bytes junk = {'J', 'U', 'N', 'K', 4, 0, 0, 0, 0, 0, 0, 0, 'J', 'U', 'N', 'K', 16};
  junk.resize(36);
  const Scan split = {junk, {16, 20}, 8, true, 0, 0};
  for (bool portable : {false, true}) EXPECT_EQ(Drive(portable, split), Model(split)) << portable;
  std::mt19937 rng(7);
  for (int trial = 0; trial < 600; ++trial) {
    const int32_t t = thresholds[trial % 17];
    const size_t size = 1 + rng() % (trial % 5 ? 4 * uint32_t(t) + 3000 : 200000);
    const Bytes d = MakeData(rng, size, uint32_t(t));
    const uint64_t base = trial % 3 ? 0 : g - rng() % 100000;  // offsets past 4 GiB too
    const uint64_t afters[] = {0, rng() % 100, g - size - rng() % 3, g};
    Blocks blocks;  // short, long, and around 64 KiB
    for (size_t at = 0; at < size; at += blocks.back()) {
      const uint32_t n = trial % 4 == 0   ? 1 + rng() % 70
                         : trial % 4 == 1 ? 1 + rng() % 20000
                                          : 65536 - rng() % 3 * (rng() % 80);
      blocks.push_back(uint32_t(std::min<size_t>(n, size - at)));
    }
    const bool riff = blocks[0] >= 4 && std::equal(d.begin(), d.begin() + 4, "RIFF");
    const Scan scan = {d, blocks, t, trial / 4 % 2 && riff, base, afters[rng() % 4]};
    for (bool portable : {false, true})
      ASSERT_EQ(Drive(portable, scan), Model(scan)) << trial << portable;
    // Every run, block after block.
    Ranges runs, want;
    Model(scan, &want);
    ZeroRunsState state = {{0, 0, 0}, base};
    for (size_t done = 0, k = 0; k < blocks.size(); done += blocks[k++]) {
      const Bytes block(d.begin() + done, d.begin() + done + blocks[k]);
      FindRunsInBlock(&state, block.data(), blocks[k], t, scan.junk, size - done + scan.after,
                      &runs);
    }
    ASSERT_EQ(runs, want) << trial;
  }
}

static Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ScanFile, OutcomesKeepGoingAndRelease) {
  const std::string dir = MakeTempDir(), path = JoinPath(dir, "f.avi");
  const Bytes avi = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'A', 'V', 'I', ' ', 'J', 'U', 'N', 'K'};
  const Bytes junk = avi + Bytes{0, 0x20, 0, 0} + Bytes(8192, 0) + Bytes{'x'};  // a header at 12
  const Bytes big(3 * 65536, 1);
  struct Row {
    Bytes bytes;
    int skipJunk, stopAt, cut;  // cut: the size the file shrinks to; -1: a folder
    OutcomeKind kind;
    uint64_t offset;
    int calls;                  // of KeepGoing
  } rows[] = {
      {{}, 1, 0, 0, kClean, 0, 0}, {Bytes(65537, 1), 1, 0, 0, kClean, 0, 2},
      {big, 1, 2, 0, kStopped, 0, 2}, {big, 1, 3, 0, kClean, 0, 3},  // stopped past the last block
#ifndef _WIN32  // there the read sharing keeps the file from shrinking
      {big, 1, 0, 65636, kCannotRead, 0, 1},
#endif
      {Bytes(65436, 1) + Bytes(8192, 0) + Bytes(9000, 1), 1, 0, 0, kDamaged, 0xFF9C, 1},
      {Bytes(100000 - 8192, 1) + Bytes(8192, 0), 1, 0, 0, kDamaged, 0x166A0, 1},
      {junk, 1, 0, 0, kClean, 0, 1}, {junk, 0, 0, 0, kDamaged, 0x12, 0},
      {Bytes(65536, 1) + junk, 1, 0, 0, kDamaged, 0x10012, 1},  // RIFF only at the start
      {{}, 1, 0, -1, kCannotOpen, 0, 0},
  };
  for (const Row& r : rows) {
    ResetHost();
    bool held = true;  // damage and a failed read are told with the file open, all else after
    g_host.onTell = [&] {
      const OutcomeKind kind = g_host.told.back().kind;
      held &= HeldOpen(path) == (kind == kDamaged || kind == kCannotRead);
    };
    g_host.stopAtKeep = r.stopAt;
    g_host.onKeep = [&] { if (r.cut > 0) std::filesystem::resize_file(path, r.cut); };
    WriteBytes(path, r.bytes);
    const CheckRules rules = {8192, r.skipJunk, nullptr, 0, {}};
    const Outcome o = ScanFile((r.cut < 0 ? dir : path).c_str(), rules);
    EXPECT_EQ(o.kind, r.kind) << r.offset;
    EXPECT_EQ(o.offset, r.offset);
    EXPECT_EQ(g_host.keepCalls, r.calls) << r.offset;
    EXPECT_EQ(g_host.told.size(), r.kind == kClean ? 0u : 1u) << r.offset;
    EXPECT_TRUE(held && !HeldOpen(path)) << r.offset;
  }
  RemoveTree(dir);
}

// Mapfiles as the manual allows them, and malformed ones: the finished blocks, or the line where
// it goes wrong.
TEST(Mapfile, ReadsWhatTheManualAllowsAndRefusesTheRest) {
  const std::pair<std::string, std::string> rows[] = {
      {"# Mapfile. Created by GNU ddrescue\n0x00120000     ?               1\n"
       "0x00000000  0x00117000  +\n0x00117000  0x00000200  -\n0x00117200  0x00001000  /\n"
       "0x00118200  0x00007E00  *\n0x00120000  0x00048000  ?\n0x00168000  0x10  +\n",
       "0+1142784 1474560+16 "},
      {"  # comment after blanks\n0 + # no pass\n0 010 +   # octal\n8 8 +\n16\t0X10\t?\r\n",
       "0+16 "},
      {"0 G 7\n0 5 -\n5 3 +\n", "5+3 "},
      {"0 + 1\n0 5 -\n5 0 +\n", "line 3: not a block line (position, size, status)"},
      {"", "line 1: no status line"},
      {"0 + 0\n", "line 1: not a status line (position, status, pass)"},
      {"0 + 0x1\n", "line 1: not a status line (position, status, pass)"},
      {"0 R 1\n", "line 1: not a status line (position, status, pass)"},
      {"0 + 1\n0 09 +\n", "line 2: not a block line (position, size, status)"},
      {"0 + 1\n0x 5 +\n", "line 2: not a block line (position, size, status)"},
      {"0 + 1\n0 10 +#x\n", "line 2: not a block line (position, size, status)"},
      {"0 + 1\n10 10 +\n", "line 2: the first block does not start at 0"},
      {"0 + 1\n# c\n0 10 +\n5 10 +\n", "line 4: the block does not start where the last ended"},
      {"0 + 1\n0 0x7FFFFFFFFFFFFFFF +\n0x7FFFFFFFFFFFFFFF 1 +\n",
       "line 3: the block ends past 2^63"},
  };
  for (const auto& [text, want] : rows) {
    CopyMap map;
    std::string got = ReadMapfile(text, &map);
    for (const ByteRange& r : map.rescued)
      got += std::to_string(r.offset) + "+" + std::to_string(r.length) + " ";
    EXPECT_EQ(got, want) << text;
  }
  // What the program writes, offsets past 4 GiB too, it reads back.
  CopyMap map;
  EXPECT_EQ(ReadMapfile(MapfileText(0x300000010, {{16, 5}, {0x8000, 0x2FFFF8000}}), &map), "");
  EXPECT_EQ(map.rescued, (Ranges{{0, 16}, {21, 0x8000 - 21}, {0x300000000, 16}}));
}
