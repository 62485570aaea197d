// The AVI walk on files ffmpeg makes: damaged ranges against ffprobe's packet tables of
// the originals, then a seeded loop over damaged files in which a walk in pieces must map
// as a whole walk does. The loop's check is a libFuzzer target too, built from the top with
//   clang++ -std=c++17 -g -O1 -DORVALINTEX_LIBFUZZER -fsanitize=fuzzer,address,undefined
//     -fno-sanitize-recover=all -I. avi/*.cpp tests/avi/avi_test.cpp -o avi_fuzz
// and started on the seeds the loop leaves in $AVI_FUZZ_SEEDS.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "avi/avi_hits.h"
#include "avi/avi_playable.h"
#include "avi/avi_sniff.h"
#include "avi/avi_walk.h"

typedef std::vector<uint8_t> Bytes;
// f in pieces of 1 to `most` bytes (0: whole), with the findings for ranges.
static AviMap Walk(const Bytes& f, uint32_t most, std::mt19937& rng,
                   const std::vector<ByteRange>& ranges = {}, Findings* found = nullptr) {
  AviWalk w;
  AviMap map;
  BeginAviWalk(&w);
  for (size_t at = 0, n = 0; at < f.size(); at += n) {
    n = most ? std::min<size_t>(f.size() - at, 1 + rng() % most) : f.size();
    WalkAviBytes(&w, f.data() + at, uint32_t(n));
  }
  if (found) *found = FindingsOf(&w, &map, ranges, 1);
  if (!found) EndAviWalk(&w, &map);
  return map;
}

// The hits of ranges the seed picks, as text, marked where a hit contradicts itself.
static std::string Digest(const AviMap& m, uint64_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string text = std::to_string(m.isAvi * 10 + m.complete) + " " + std::to_string(m.claimedEnd);
  for (int q = 0; q < 30; ++q) {
    const ByteRange r = {rng() % (size + 50), q % 3 ? rng() % 300 : rng() % (size + 1)};
    text += "\n" + std::to_string(IsPadding(m, r));
    for (const AviHit& h : HitsOf(m, r)) {
      char one[200];
      std::snprintf(one, sizeof one, " %d %u %s %x %llu-%llu %a-%a %llu %a", h.kind, h.stream,
                    h.codec, h.known, (unsigned long long)h.first, (unsigned long long)h.last,
                    h.start, h.end, (unsigned long long)h.keyframes, h.recovers);
      const bool both = (h.known & 3) == 3, times = (h.known & 12) == 12;
      text += one + std::string(!m.isAvi || (both && h.first > h.last) || (h.known & 3) % 3 ||
                                        (times && h.start > h.end) ? " unsound" : "");
    }
  }
  return text;
}

// f made playable where ranges the seed picks are lost, a its map: the edits in order, inside
// the file, none for a file that is no AVI file; the copy walks with the same packets and no
// chunk fewer (headers written back add theirs); what fails, or "".
static std::string CheckPlayable(const Bytes& f, const AviMap& a, std::mt19937& rng) {
  std::vector<ByteRange> lost;
  for (uint64_t at = rng() % 5000; at < f.size() && lost.size() < 3; at += 1 + rng() % 9000)
    lost.push_back({at, 1 + rng() % 3000, kCauseMap}), at += lost.back().length;
  Findings found;
  const Playable p = MakePlayable(Walk(f, 0, rng, lost, &found), found.ranges);
  if (!a.isAvi && !p.refusal) return "a file that is no AVI file made playable";
  Bytes copy = f;
  for (size_t k = 0; k < p.edits.size(); ++k) {
    const AviEdit& e = p.edits[k];
    if (p.refusal || e.offset + e.bytes.size() > f.size() ||
        (k && p.edits[k - 1].offset + p.edits[k - 1].bytes.size() > e.offset))
      return "the edits overlap, pass the end or come with a refusal";
    std::copy(e.bytes.begin(), e.bytes.end(), copy.begin() + e.offset);
  }
  const AviMap edited = Walk(copy, 0, rng);
  const auto chunks = [](const AviMap& m) {  // but JUNK, which a dropped frame leaves
    return std::count_if(m.chunks.begin(), m.chunks.end(),
                         [](const AviChunk& c) { return c.id != Fourcc("JUNK"); });
  };
  const bool same = edited.isAvi == a.isAvi && edited.packets.size() == a.packets.size();
  return same && chunks(edited) >= chunks(a) ? "" : "the playable copy walks as another file";
}

// Walks f whole and in pieces the seed picks, and makes it playable; what disagrees or is
// unsound, or "".
static std::string CheckWalk(const Bytes& f, uint32_t seed) {
  std::mt19937 rng(seed);
  const AviMap a = Walk(f, 0, rng), b = Walk(f, seed % 2 ? 16 : 5000, rng);
  if (a.packets.size() + a.chunks.size() + a.gaps.size() > f.size() / 4 + 3)
    return "more records than the file has room for";
  const std::string playable = CheckPlayable(f, a, rng);
  if (!playable.empty()) return playable;
  const std::string digest = Digest(a, f.size(), seed);
  if (digest != Digest(b, f.size(), seed)) return "walked in pieces, the file maps otherwise";
  return digest.find("unsound") == std::string::npos ? "" : "a hit contradicts itself";
}

#ifdef ORVALINTEX_LIBFUZZER
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string fault = CheckWalk(Bytes(data, data + size), uint32_t(size));
  if (!fault.empty()) std::fprintf(stderr, "%s\n", fault.c_str()), std::abort();
  return 0;
}
#else
#include <gtest/gtest.h>

#include <cinttypes>
#include <tuple>

#include "tests/support/temp_files.h"

static void SetLe(Bytes* f, size_t at, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) (*f)[at + i] = uint8_t(value >> 8 * i);
}

static size_t Find(const Bytes& f, const char* id) {
  return std::search(f.begin(), f.end(), id, id + 4) - f.begin();
}

struct Packet {  // dts (file order) and ticks in the stream's time base; pos: of the payload
  uint32_t stream; int64_t dts, ticks; double time, duration; uint64_t size, pos; char flags[8];
};

static std::vector<Packet> Probe(const std::string& path) {
  std::vector<Packet> table;
  const std::string command = "ffprobe -v error -show_packets -show_entries packet=stream_index,"
                              "dts,duration,dts_time,duration_time,pos,size,flags -of csv=p=0 ";
  FILE* out = popen((command + path).c_str(), "r");
  for (Packet p; std::fscanf(out, "%u,%" SCNd64 ",%lf,%" SCNd64 ",%lf,%" SCNu64 ",%" SCNu64 ",%7s",
                             &p.stream, &p.dts, &p.time, &p.ticks, &p.duration, &p.size, &p.pos,
                             p.flags) == 8;)
    table.push_back(p);
  pclose(out);
  return table;
}

const uint32_t kNumbers = kAviKnowsFirst | kAviKnowsLast;
const uint32_t kWalked = kNumbers | kAviKnowsStart | kAviKnowsEnd;
const uint32_t kAll = kWalked | kAviKnowsKeys | kAviKnowsRecovery;

// The hits against the table's packets in r, as far as `known` says (without times, the stream
// headers are lost, and the codecs with them), then the others.
static void ExpectHits(const std::vector<AviHit>& got, const std::vector<Packet>& table,
                       ByteRange r, uint32_t known, const char* const codecs[2],
                       const std::vector<AviKind>& others, const std::string& row) {
  std::vector<AviHit> want;
  for (uint32_t s = 0; s < 2; ++s) {
    AviHit h = {s ? kAviAudio : kAviVideo, s, {}, known & ~(s ? kAviKnowsRecovery : 0), 0, 0, 0,
                0, 0, 0};
    std::strcpy(h.codec, known & kAviKnowsStart ? codecs[s] : "");
    int64_t ticks = 0, hit = 0;
    for (const Packet& p : table) {
      if (p.stream != s) continue;
      ticks = ticks ? ticks : p.ticks;  // numbers count empty video chunks, as times do
      if (p.pos - 8 < r.offset + r.length && r.offset < p.pos + p.size + p.size % 2) {
        if (!hit) h.first = p.dts / ticks, h.start = p.time * !!(known & kAviKnowsStart);
        hit = 1, h.last = p.dts / ticks, h.end = (p.time + p.duration) * !!(known & kAviKnowsEnd);
        h.keyframes += (known & kAviKnowsKeys) && p.flags[0] == 'K';
      } else if (hit && p.flags[0] == 'K' && (h.known & kAviKnowsRecovery)) {
        h.known |= kAviRecovers, h.recovers = p.time;
        break;
      }
    }
    if (hit) want.push_back(h);
  }
  for (AviKind kind : others) want.push_back({kind, 0, {}, 0, 0, 0, 0, 0, 0, 0});
  ASSERT_EQ(got.size(), want.size()) << row;
  for (size_t k = 0; k < got.size(); ++k) {
    const AviHit &g = got[k], &w = want[k];
    EXPECT_EQ(std::tie(g.kind, g.stream, g.known, g.first, g.last, g.keyframes),
              std::tie(w.kind, w.stream, w.known, w.first, w.last, w.keyframes)) << row;
    EXPECT_STREQ(g.codec, w.codec) << row;
    for (double d : {g.start - w.start, g.end - w.end, g.recovers - w.recovers})
      EXPECT_LT(std::abs(d), 1e-3) << row;
  }
}

// "S:K": packet K of stream S (from the end when negative); "AVIX": the first
// packet past 1 GiB; else the first place the four characters stand.
static uint64_t At(const std::vector<Packet>& table, const Bytes& f, const char* anchor) {
  int s = -1, k = 0;
  std::vector<uint64_t> chunks;
  std::sscanf(anchor, "%d:%d", &s, &k);
  for (const Packet& p : table)
    if (p.stream == uint32_t(s) || (s < 0 && p.pos >> 30)) chunks.push_back(p.pos - 8);
  if (s < 0) return std::strcmp(anchor, "AVIX") ? Find(f, anchor) : chunks[0];
  return chunks[k < 0 ? chunks.size() + k : k];
}

// A blow: a range zeroed, a byte changed, the size of a chunk made hostile, the end cut off.
static void Damage(Bytes* f, const AviChunks& chunks, std::mt19937& rng) {
  const uint64_t hostile[] = {0, 1, 4, 0x7FFFFFFF, 0xFFFFFFFF, f->size(), f->size() / 2};
  const size_t at = rng() % (f->size() + 1), size = chunks[rng() % chunks.size()].offset + 4;
  const uint32_t how = rng() % 4, what = rng();
  if (how == 0) std::fill(f->begin() + at, f->begin() + std::min(f->size(), at + what % 9000), 0);
  if (how == 1 && at < f->size()) (*f)[at] = uint8_t(what);
  if (how == 2 && size + 4 <= f->size()) SetLe(f, size, hostile[what % 7] + what / 7 % 3 - 1, 4);
  if (how == 3) f->resize(at);
}

TEST(AviWalk, DamagedRangesHitWhatTheOriginalsPacketTableSaysAndWalksInPiecesAgree) {
  const std::string dir = MakeTempDir();
  const struct { const char *name, *make, *codecs[2]; } files[] = {
      {"mjpeg.avi", "-f lavfi -i testsrc=s=160x120:r=25 -f lavfi -i sine=r=22050 -t 2 -c:v mjpeg"
       " -c:a pcm_s16le", {"MJPG", "PCM"}},
      {"mpeg4.avi", "-f lavfi -i testsrc=s=160x120:r=25 -f lavfi -i sine=r=44100 -t 3 -c:v mpeg4"
       " -g 12 -bf 2 -c:a libmp3lame", {"FMP4", "MP3"}},  // with an empty audio chunk
      {"past1gib.avi", "-f lavfi -i color=c=blue:s=1280x720:r=25 -f lavfi -i sine=r=8000 -t 32"
       " -c:v rawvideo -pix_fmt yuv420p -c:a pcm_s16le", {"I420", "PCM"}}};
  std::vector<Packet> tables[3];
  Bytes bytes[3];
  std::mt19937 rng(5);
  for (int f = 0; f < 3; ++f) {
    const std::string path = JoinPath(dir, files[f].name);
    ASSERT_EQ(std::system(("ffmpeg -v error " + std::string(files[f].make) + " " + path).c_str()),
              0);
    FILE* file = std::fopen(path.c_str(), "rb");  // whole, fast: one is past 1 GiB
    std::fseek(file, 0, SEEK_END), bytes[f].resize(std::ftell(file)), std::rewind(file);
    bytes[f].resize(std::fread(bytes[f].data(), 1, bytes[f].size(), file)), std::fclose(file);
    tables[f] = Probe(path);
    const AviMap map = Walk(bytes[f], f == 2 ? 1 << 20 : 1 + 4000 * f, rng);
    for (const Packet& p : tables[f])  // each packet alone: its number, time, key and next key
      ExpectHits(HitsOf(map, {p.pos, 1}), tables[f], {p.pos, 1}, kAll, files[f].codecs, {},
                 files[f].name + std::to_string(p.pos));
  }
  RemoveTree(dir);
  const struct {  // the range: [from + d1, to + d2), zeroed besides [wipe + dw, + length)
    int file; const char* from; int64_t d1; const char* to; int64_t d2; const char* wipe;
    int64_t dw, length; std::vector<AviKind> others; uint32_t known; AviSummary summary;
  } rows[] = {
      {0, "0:10", 108, "0:10", 1008, "", 0, 0, {}, kAll, kAviNothingToAdd},  // inside a frame
      {0, "0:10", 108, "0:11", 4, "", 0, 0, {}, kAll, kAviNothingToAdd},  // over chunk headers
      {0, "1:5", 108, "1:5", 1008, "", 0, 0, {}, kAll, kAviOnlyPcmAudio},
      {0, "idx1", 40, "idx1", 200, "", 0, 0, {kAviIndex}, 0, kAviOnlyIndex},
      {0, "idx1", 0, "idx1", 16, "idx1", 0, -1, {kAviHeader}, 0, kAviNoFrameHit},  // idx1 gone
      {0, "0:10", 108, "0:10", 1008, "idx1", 0, -1, {}, kAll, kAviNothingToAdd},  // MJPEG: keys
      {0, "JUNK", 100, "JUNK", 2000, "", 0, 0, {kAviJunk}, 0, kAviNoFrameHit},
      {0, "JUNK", 6, "JUNK", 2000, "", 0, 0, {kAviJunk}, 0, kAviNoFrameHit},  // its size's zeros
      {0, "RIFF", 0, "RIFF", 12, "", 0, 0, {kAviHeader}, 0, kAviNoFrameHit},
      {0, "0:3", 0, "0:5", 8, "RIFF", 0, 4096, {}, kNumbers | kAviKnowsKeys,
       kAviNothingToAdd},  // the stream headers gone
      {1, "0:10", 8, "0:12", 20, "", 0, 0, {}, kAll, kAviNothingToAdd},  // across a key frame
      {1, "0:58", 8, "0:61", 20, "idx1", 8, 2048, {}, kAll, kAviNothingToAdd},  // 128 entries
      {1, "0:20", 4, "0:23", 4, "", 0, 0, {}, kAll, kAviNothingToAdd},  // indexed headers gone
      {1, "1:20", 8, "1:20", 100, "", 0, 0, {}, kAll, kAviNothingToAdd},  // MP3: no silence
      {2, "indx", 100, "indx", 3000, "", 0, 0, {kAviIndex}, 0, kAviOnlyIndex},  // reserved entries
      {2, "AVIX", -130, "AVIX", 100, "ix00", 600, 3000, {kAviIndex, kAviHeader}, kAll,
       kAviNothingToAdd},  // and entries of the first part's video index lost
  };
  for (const auto& row : rows) {
    const std::vector<Packet>& table = tables[row.file];
    Bytes f = bytes[row.file];
    const uint64_t from = At(table, f, row.from) + row.d1, end = At(table, f, row.to) + row.d2;
    const ByteRange range = {from, end - from};
    const size_t wipe = *row.wipe ? Find(f, row.wipe) + row.dw : 0;
    uint32_t size = 0;  // little-endian, as on the machines the tests run on; -1: the whole chunk
    if (*row.wipe) std::memcpy(&size, &f[wipe + 4], 4);
    if (*row.wipe) std::fill_n(&f[wipe], row.length < 0 ? 8 + size : row.length, 0);
    std::fill(f.begin() + from, f.begin() + end, 0);
    const std::string name = files[row.file].name + (" at " + std::to_string(from));
    Findings found;
    Walk(f, row.file == 2 ? 1 << 20 : 1 + rng() % 20000, rng, {range}, &found);
    ASSERT_EQ(found.ranges.size(), 1u) << name;
    ExpectHits(found.ranges[0].hits, table, range, row.known, files[row.file].codecs, row.others,
               name);
    EXPECT_EQ(found.summary, row.summary) << name;
    EXPECT_EQ(found.ranges[0].padding, row.others == std::vector<AviKind>{kAviJunk}) << name;
  }
  // A file cut short: the tail its header claims, hitting the frame cut and what is unknown.
  const Bytes cut(bytes[0].begin(), bytes[0].begin() + bytes[0].size() / 3);
  Findings found;
  Walk(cut, 999, rng, {}, &found);
  ASSERT_EQ(found.ranges.size(), 1u);
  EXPECT_EQ(found.ranges[0].range, (ByteRange{cut.size(), bytes[0].size() - cut.size(),
                                              kCauseTruncated}));
  ExpectHits(found.ranges[0].hits, tables[0], {cut.size(), 1}, kWalked, files[0].codecs,
             {kAviHeader, kAviUnknown}, "cut");
  // Where the walk and the index both lost a stretch, no packet after it has a known number.
  Bytes lost = bytes[1];
  std::fill_n(&lost[Find(lost, "idx1") + 8], 2048, 0);
  const uint64_t gap = At(tables[1], lost, "0:10") + 8;
  std::fill(&lost[gap], &lost[At(tables[1], lost, "0:12") + 20], 0);
  const AviMap both = Walk(lost, 0, rng);
  EXPECT_TRUE(std::none_of(both.packets.begin(), both.packets.end(), [&](const AviPacket& p) {
    return p.offset > gap && (p.flags & kAviNumberKnown);
  }));
  // A chunk of 4 GiB after the RIFF list is passed over, not walked as headers.
  Bytes huge = bytes[0];
  SetLe(&huge, 4, 4, 4), std::memcpy(&huge[12], "JUNK\xFF\xFF\xFF\xFF", 8);
  EXPECT_EQ(Walk(huge, 0, rng).chunks.size(), 2u);
  // Zeros alone are no AVI file; a codec's name is its four characters, if all are printable.
  EXPECT_FALSE(Walk(Bytes(20000, 0), 0, rng).isAvi);
  for (const char* handler : {"M JP", "M\1JP"}) {
    Bytes named = bytes[0];
    std::memcpy(&named[Find(named, "strh") + 12], handler, 4);
    EXPECT_STREQ(Walk(named, 0, rng).streams[0].codec, handler[1] == ' ' ? handler : "");
  }
  // A frame made playable by dropping it: its chunk and its idx1 entry both say size 0.
  Bytes drop = bytes[0];
  const uint64_t frame = At(tables[0], drop, "0:10") + 100;
  std::fill_n(&drop[frame], 500, 0);
  const AviMap dropped = Walk(drop, 0, rng, {{frame, 500, kCauseMap}}, &found);
  for (const AviEdit& e : MakePlayable(dropped, found.ranges).edits)
    std::copy(e.bytes.begin(), e.bytes.end(), drop.begin() + e.offset);
  const size_t idx1 = Find(drop, "idx1"), movi = Find(drop, "movi");
  uint32_t zero = 0;
  for (size_t at = idx1 + 8; at < idx1 + 8 + Le32(&drop[idx1 + 4]); at += 16) {
    const uint32_t size = Le32(&drop[at + 12]);  // the entry's, against its chunk's
    EXPECT_EQ(size, Le32(&drop[movi + Le32(&drop[at + 8]) + 4])) << at;
    zero += size == 0;
  }
  EXPECT_EQ(zero, 1u);
  // The loop, on the MJPEG file.
  const AviMap mjpeg = Walk(bytes[0], 0, rng);
  if (const char* seeds = std::getenv("AVI_FUZZ_SEEDS"))
    WriteBytes(JoinPath(seeds, "0.avi"), bytes[0]);
  for (uint32_t trial = 0; trial < 3000; ++trial) {
    Bytes f = bytes[0];
    for (uint32_t blows = 1 + rng() % 6; blows > 0; --blows) Damage(&f, mjpeg.chunks, rng);
    ASSERT_EQ(CheckWalk(f, trial), "") << trial;
  }
}

TEST(AviSniff, FirstBytesTellTheFrameAndAnMpegAudioHeaderItsSize) {
  const struct { const char* bytes; uint32_t n, kind, vol; } frames[] = {
      {"\0\0\1\xB6\x40", 5, kAviSawVop | 1, 0}, {"\0\0\0\1\x65", 5, kAviSawIdr, 0},
      {"\0\0\1\x20\0\0\1\xB6\x80", 9, kAviSawVop | 2, 1},  // a B-VOP after the layer
      {"\0\0\1\x41", 4, kAviSawSlice, 0}, {"\0\5\1\xB6\x40", 5, 0, 0},  // no start code
      {"\0\0\1\xB6", 4, 0, 0}};  // the VOP's type cut off
  for (const auto& f : frames) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(f.bytes);
    const uint8_t* vol = p + 1;
    EXPECT_EQ(SniffFrame(p, f.n, &vol), f.kind) << f.n;
    EXPECT_EQ(vol, f.vol ? p : nullptr) << f.n;
  }
  const struct { uint8_t h[4]; uint32_t size; } audio[] = {
      {{0xFF, 0xFB, 0x90, 0x64}, 417}, {{0xFF, 0xFB, 0x92, 0x64}, 418},  // MP3, padded
      {{0xFF, 0xF3, 0x84, 0x64}, 192}, {{0xFF, 0xFD, 0xC4, 0}, 768},     // MPEG-2, MP2
      {{0xFF, 0xFF, 0x90, 0}, 312}, {{0xFF, 0xFB, 0xF0, 0x64}, 0},      // layer I, no rate
      {{0xFF, 0xFB, 0x9C, 0x64}, 0}, {{0xFF, 0xEB, 0x90, 0x64}, 0}, {{0x7F, 0xFB, 0x90, 0x64}, 0}};
  uint8_t out[4];
  for (const auto& a : audio) {
    EXPECT_EQ(MpegAudioFrameSize(a.h), a.size) << int(a.h[2]);
    EXPECT_TRUE(!a.size || (MpegAudioHeaderOfSize(a.h, a.size, out) &&
                            MpegAudioFrameSize(out) == a.size));
  }
  const uint8_t crc[4] = {0xFF, 0xFA, 0x90, 0x64};
  ASSERT_TRUE(MpegAudioHeaderOfSize(crc, 418, out));
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0xFF, 0xFB, 0x92, 0x64}));
  EXPECT_FALSE(MpegAudioHeaderOfSize(crc, 1000, out));
}

#endif
