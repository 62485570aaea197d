// The block scan in both forms against a byte-by-byte model, and the scan of real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/settings.h"
#include "scan/scan_file.h"
#include "scan/zero_run.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

typedef std::vector<uint8_t> Bytes;
typedef std::vector<uint32_t> Blocks;

// "damaged at OFFSET" or the state at the end; base: d[0]'s offset, after: bytes behind d.
static std::string Model(const Bytes& d, const Blocks& blocks, int32_t t, bool junk, uint64_t base, uint64_t after) {
  uint32_t run = 0, state = 0, skip = 0;
  for (size_t i = 0, start = 0, block = 0; i < d.size(); ++i) {
    if (i == start + blocks[block]) start += blocks[block++];
    if (junk && state == 0 && skip > 0) {
      --skip;
    } else if (junk && state >= 4) {
      skip = (skip >> 8) | (uint32_t{d[i]} << 24);
      if (++state == 8 && skip > d.size() - start + after) skip = 0;
      if (state == 8) run = state = 0;
    } else if (junk && state >= 1 && d[i] == "JUNK"[state]) {
      ++state;
    } else {
      state = junk && d[i] == 'J';
      run = d[i] == 0 ? run + 1 : 0;
      if (d[i] == 0 && run == uint32_t(t)) return "damaged at " + std::to_string(base + i + 1 - t);
    }
  }
  return std::to_string(run) + " " + std::to_string(state) + " " + std::to_string(skip);
}

// The file-level loop, each block in a buffer of exactly its size.
static std::string Drive(bool portable, const Bytes& d, const Blocks& blocks, int32_t t, bool junk, uint64_t base, uint64_t after) {
  ZeroRunState s = {0, 0, 0};
  for (size_t done = 0, k = 0; k < blocks.size(); done += blocks[k++]) {
    const Bytes block(d.begin() + done, d.begin() + done + blocks[k]);
    const uint32_t n = junk ? (portable ? ScanJunkPortable : ScanJunk)(&s, block.data(), blocks[k], t, d.size() - done + after)
                            : (portable ? ScanPlainPortable : ScanPlain)(&s, block.data(), blocks[k], t);
    if (s.runLength == t) return "damaged at " + std::to_string(base + done + n - t);
    if (n != blocks[k]) return "stopped early";
  }
  return std::to_string(s.runLength) + " " + std::to_string(s.junkState) + " " + std::to_string(s.skipCount);
}

// Zero runs near the threshold, "JUNK" letters, headers with sizes on both sides of the size test.
static Bytes MakeData(std::mt19937& rng, size_t size, uint32_t t) {
  auto pick = [&](uint32_t hi) { return static_cast<uint32_t>(rng() % (hi + 1)); };
  Bytes d = pick(3) ? Bytes{'R', 'I', 'F', 'F'} : Bytes{};
  while (d.size() < size) {
    const uint32_t kind = pick(3), payload = pick(1) ? pick(9) : pick(2 * t + 16), left = uint32_t(size - d.size());
    const uint32_t zeros[] = {t - 1, t, t + 1, pick(2 * t)}, sizes[] = {payload, ~0u, left - 8 + pick(8), left + pick(70000)};
    const uint32_t field = sizes[pick(15) ? 0 : pick(3)];  // mostly the payload; little-endian, as on x86
    const std::string header = std::string("JJUN").substr(pick(4)) + "JUNK" + std::string((const char*)&field, 4);
    for (uint32_t n = kind == 0 ? pick(300) : 0, soup = pick(1); n > 0; --n)
      d.push_back(soup ? "\0\0\0JUNKx"[pick(7)] : uint8_t(pick(255)));
    if (kind == 1) d.insert(d.end(), header.begin(), header.begin() + pick(3)), d.insert(d.end(), zeros[pick(3)], 0);
    if (kind >= 2) d.insert(d.end(), header.begin(), header.end());
    for (uint32_t n = kind >= 2 ? payload : 0; n > 0; --n) d.push_back(pick(3) ? 0 : uint8_t(pick(255)));
  }
  d.resize(size);
  return d;
}

TEST(ZeroRunBlocks, BothFormsAgreeWithTheModelOverRandomFilesAndSplits) {
  const int32_t thresholds[] = {1, 2, 3, 4, 7, 8, 9, 15, 16, 17, 63, 64, 65, 100, 4097, 8192, 70000};
  std::mt19937 rng(7);
  for (int trial = 0; trial < 600; ++trial) {
    const int32_t t = thresholds[trial % 17];
    const size_t size = 1 + rng() % (trial % 5 ? 4 * uint32_t(t) + 3000 : 200000);
    const Bytes d = MakeData(rng, size, uint32_t(t));
    const uint64_t base = trial % 3 ? 0 : (1ull << 32) - rng() % 100000, g = 1ull << 32;
    const uint64_t after = std::vector<uint64_t>{0, rng() % 100, g - size - rng() % 3, g}[rng() % 4];
    Blocks blocks;  // short, long, and around 64 KiB
    for (size_t at = 0; at < size; at += blocks.back()) {
      const uint32_t n = trial % 4 == 0 ? 1 + rng() % 70 : trial % 4 == 1 ? 1 + rng() % 20000 : 65536 - rng() % 3 * (rng() % 80);
      blocks.push_back(uint32_t(std::min<size_t>(n, size - at)));
    }
    const bool junk = trial / 4 % 2 && blocks[0] >= 4 && Bytes(d.begin(), d.begin() + 4) == Bytes{'R', 'I', 'F', 'F'};
    for (bool portable : {false, true})
      ASSERT_EQ(Drive(portable, d, blocks, t, junk, base, after), Model(d, blocks, t, junk, base, after)) << trial << portable;
  }
}

static Bytes operator+(Bytes a, const Bytes& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

TEST(ScanFile, ResultsMessagesPumpsAndRelease) {
  const std::string dir = MakeTempDir(), path = JoinPath(dir, "f.avi");
  const Bytes avi = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 'A', 'V', 'I', ' ', 'J', 'U', 'N', 'K'},  // a header at 12
              junk = avi + Bytes{0, 0x20, 0, 0} + Bytes(8192, 0) + Bytes{'x'};
  const struct { Bytes bytes; int32_t errorLength, skipJunk, stopAt, cut, result, pumps; const char* offsetOrText; } rows[] = {
      {{}, 8192, 1, 0, 0, 1, 0, ""}, {Bytes(65537, 1), 8192, 1, 0, 0, 1, 2, ""},
      {Bytes(3 * 65536, 1), 8192, 1, 2, 0, 0, 2, ""}, {Bytes(3 * 65536, 1), 8192, 1, 3, 0, 1, 3, ""},  // stops
#ifndef _WIN32  // there the read sharing keeps the file from shrinking
      {Bytes(3 * 65536, 1), 8192, 1, 0, 65636, 0, 1, "ファイルから読み込めません。"},  // shrunk meanwhile
#endif
      {Bytes(65436, 1) + Bytes(8192, 0) + Bytes(9000, 1), 8192, 1, 0, 0, 0, 1, "0000FF9C"},
      {Bytes(100000 - 8192, 1) + Bytes(8192, 0), 8192, 1, 0, 0, 0, 1, "000166A0"},
      {junk, 8192, 1, 0, 0, 1, 1, ""}, {junk, 8192, 0, 0, 0, 0, 0, "00000012"},
      {Bytes(65536, 1) + junk, 8192, 1, 0, 0, 0, 1, "00010012"},  // RIFF only at the start
      {{}, 8192, 1, 0, -1, 0, 0, "ファイルが開けません。"},  // a folder
  };
  for (const auto& r : rows) {
    std::vector<std::string> shown;  // "caption|text", "-" for none, "!" for a wrong kind
    ResetHost();
    g_host.onMessage = [&] {
      const RecordedMessage& m = g_host.messages.back();
      shown.push_back((m.hasCaption ? m.caption : "-") + "|" + m.text + (m.kind ? "!" : "") + (HeldOpen(path) ? " (held)" : ""));
    };
    g_settings = {0, 0, r.errorLength, r.skipJunk}, g_host.stopAtPump = r.stopAt, WriteBytes(path, r.bytes);
    g_host.onPump = [&] { if (r.cut) std::filesystem::resize_file(path, r.cut); };
    EXPECT_EQ(ScanFile((r.cut < 0 ? dir : path).c_str()), r.result) << r.offsetOrText;
    EXPECT_EQ(g_host.pumpCalls, r.pumps) << r.offsetOrText;
    const std::string text = (*r.offsetOrText == '0' ? "破損検出|ファイルが破損している可能性があります。\nAddress : " : "-|") +
                             std::string(r.offsetOrText) + (r.cut < 0 ? "" : " (held)");
    EXPECT_EQ(shown, *r.offsetOrText ? std::vector<std::string>{text} : std::vector<std::string>{});
    EXPECT_FALSE(HeldOpen(path));
  }
  g_settings = {0, 0, kDefaultErrorLength, 1}, RemoveTree(dir);
}
