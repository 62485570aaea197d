// The merge of any number of copies, block by block in both forms and of real files, against a
// position-by-position model.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/simd.h"
#include "repair/merge_copies.h"
#include "scan/mapfile.h"
#include "tests/support/host_recorder.h"
#include "tests/support/temp_files.h"

using Bytes = std::vector<uint8_t>;
using Ranges = std::vector<ByteRange>;

static Ranges Stretches(const std::vector<bool>& at, uint64_t min) {  // where at[] holds, >= min
  Ranges ranges;
  for (uint64_t a = 0, b = 0; a < at.size(); a = ++b) {
    b = std::find(at.begin() + a, at.end(), false) - at.begin();
    if (b - a >= min) ranges.push_back({a, b - a});
  }
  return ranges;
}

struct Merged {  // question: where it names; stop: where no majority stops the merge; -1: none
  Bytes out;
  MergeReport r;
  int64_t question, stop;
};

// How each copy holds each byte: by its non-zero bytes, all of them, or none (a map says so, or
// a dead sector).
enum Hold : uint8_t { kRule, kAll, kNoneByMap, kNoneByMarker };
typedef std::vector<std::vector<Hold>> Holds;

// Position by position among the copies that hold a byte: the counter, the vote, the sources
// taken from. What no copy holds is unsupplied in a long stretch, and where every copy lacks it
// by a map or marker, the damaged copy's own byte staying; elsewhere an unmapped copy's zero
// there is data.
static Merged Model(const std::vector<Bytes>& c, const Holds& h, int32_t t) {
  Merged m = {c[0], {std::vector<uint64_t>(c.size() - 1), 0, {}, {}, c[0].size()}, -1, -1};
  std::vector<bool> voted, none;
  std::vector<int> cause(c[0].size(), -1);  // of what is unsupplied
  const auto holds = [&](size_t k, size_t i) { return h[k][i] == kAll || (!h[k][i] && c[k][i]); };
  for (int32_t i = 0, counter = 0; i < int32_t(c[0].size()); ++i) {
    int holders = 0, most = 0, best = 0;
    for (size_t k = 0; k < c.size(); ++k) {
      if (!holds(k, i)) continue;
      ++holders;
      int same = 0;
      for (size_t j = 0; j < c.size(); ++j) same += holds(j, i) && c[j][i] == c[k][i];
      if (same > most) most = same, best = c[k][i];
    }
    if (holders && 2 * most <= holders) {
      m.stop = i;
      break;
    }
    none.push_back(!holders);
    voted.push_back(holders && most < holders);
    m.r.voted += voted.back();
    counter = most == int(c.size()) ? 0 : std::min(t, counter + !holders);
    if (counter == t && m.question < 0) m.question = i + 1 - t;
    const auto lacks = [&](size_t k) { return h[k][i] == kNoneByMap || h[k][i] == kNoneByMarker; };
    for (size_t k = 1; !holds(0, i) && (holders || lacks(0)) && k < c.size(); ++k)
      if (holders ? holds(k, i) && c[k][i] == best : !lacks(k)) {
        ++m.r.taken[k - 1];
        break;
      }
    bool byMap = false, allLack = true;
    for (size_t k = 0; k < c.size(); ++k) byMap |= h[k][i] == kNoneByMap, allLack &= lacks(k);
    if (!holders && allLack) cause[i] = byMap ? kCauseMap : kCauseMarker;
    if (holders || !allLack) m.out[i] = uint8_t(best);
  }
  for (const ByteRange& r : Stretches(none, t))
    for (uint64_t i = r.offset; i < r.end(); ++i) cause[i] = std::max(cause[i], int(kCauseZeros));
  for (size_t i = 0; i < none.size(); ++i) {
    if (cause[i] < 0) continue;
    if (i > 0 && cause[i - 1] == cause[i])
      ++m.r.unsupplied.back().length;
    else
      m.r.unsupplied.push_back({i, 1, Cause(cause[i])});
  }
  m.r.votedRanges = Stretches(voted, 1);
  return m;
}

// Copies of one file: zero runs near t, shared data, then each zeroed or altered in places,
// *lost the places in each copy.
static std::vector<Bytes> Copies(std::mt19937& rng, size_t count, uint32_t size, uint32_t t,
                                 std::vector<Ranges>* lost = nullptr) {
  Bytes d;
  while (d.size() < size) {
    const uint32_t r = rng();
    d.resize(d.size() + (r % 3 == 0 ? t - 1 + (r >> 8) % 3 : 0));
    d.insert(d.end(), 1 + (r >> 8) % 300, uint8_t(1 + (r >> 16) % 255));
    if (r % 5 == 0) d.push_back(0);
  }
  d.resize(size);
  std::vector<Bytes> c(count, d);
  if (lost) lost->assign(count, {});
  for (size_t k = 0, n = rng() % 6 * count; size > 0 && k < n; ++k) {
    const size_t at = rng() % size, length = std::min<size_t>(size - at, rng() % (3 * t));
    std::fill_n(c[k % count].begin() + at, length, rng() % 5 ? 0 : uint8_t(rng()));
    if (lost && length) (*lost)[k % count].push_back({at, length});
  }
  return c;
}

class MergeFiles : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTree(dir); }
  // Merges into out (over a longer earlier file); every outcome told or question asked must
  // find all files held while the merge is under way, none before it.
  Outcome Run(const std::vector<std::string>& copies, const std::string& output,
              const CopyMap* maps = nullptr) {
    std::vector<const char*> paths;
    for (const std::string& c : copies) paths.push_back(c.c_str());
    ResetHost();
    g_host.answerYes = yes;
    g_host.onTell = [&] {
      const bool opening = g_host.asked.empty() && !g_host.told.empty() && Opening();
      for (const std::string& file : copies) held += HeldOpen(file) == !opening ? "" : "!";
      held += HeldOpen(out) == !opening ? "" : "o";
    };
    MergeJob job = MergeOf(paths.data(), int(paths.size()), t);
    job.makeOutput = output.c_str();
    job.maps = maps;
    job.markers = 1;
    const Outcome o = MergeCopies(job, &report, &made);
    EXPECT_EQ(held, "");
    for (const std::string& file : copies) EXPECT_FALSE(HeldOpen(file)) << file;
    return o;
  }
  bool Opening() {
    const OutcomeKind kind = g_host.told.back().kind;
    return kind != kMismatch && kind != kDeclined && kind != kCannotRead && kind != kCannotWrite;
  }
  std::string dir = MakeTempDir(), out = JoinPath(dir, "out"), held;
  int32_t t = 8192;
  int yes = 0;
  MergeReport report;
  int made = -1;
};

static const char kDeadLead[] = "dvdisaster dead sector marker\nThis sector could not be read "
                                "from the image.\nIts contents have been substituted by the "
                                "dvdisaster read routine.\n";

// A dead sector: the lead text, a filler, the end text at 2012.
static void WriteDeadSector(Bytes* copy, size_t at) {
  const size_t n = std::min<size_t>(2048, copy->size() - at);
  std::fill_n(copy->begin() + at, n, '.');
  std::copy_n(kDeadLead, std::min<size_t>(n, 143), copy->begin() + at);
  if (n == 2048) std::copy_n("dvdisaster dead sector end marker\n", 34, copy->begin() + at + 2012);
}

// A mapfile whose finished blocks leave out what the copy lost and some more; it may end early.
static std::string MapText(std::mt19937& rng, Ranges lost, uint32_t size) {
  for (int extra = rng() % 3; extra > 0 && size > 0; --extra)
    lost.push_back({rng() % size, 1 + rng() % 5000});
  std::sort(lost.begin(), lost.end(), [](ByteRange a, ByteRange b) { return a.offset < b.offset; });
  std::string text = "# current_pos  current_status  current_pass\n0x0  ?  1\n";
  const uint64_t end = rng() % 4 ? size : rng() % (size + 1);
  uint64_t at = 0;
  auto block = [&](uint64_t to, std::string status) {
    if (to > at) text += std::to_string(at) + " " + std::to_string(to - at) + " " + status + "\n";
    at = std::max(at, to);
  };
  for (const ByteRange& r : lost) {
    block(std::min(r.offset, end), "+");
    block(std::min(r.end(), end), std::string(1, "-*/?"[rng() % 4]));
  }
  block(end, "+");
  return text;
}

// The question at the byte that brings the counter to the threshold, naming the stretch's
// first zero; a No or no majority ends the merge with the blocks before written. Some copies
// come with mapfiles, some with dead sectors; a marker's text elsewhere is data. The portable
// forms run on every other trial.
TEST_F(MergeFiles, OutcomesAndOutputAgreeWithTheModel) {
  const uint8_t* lead = reinterpret_cast<const uint8_t*>(kDeadLead);
  EXPECT_TRUE(IsDeadSector(lead, 143) && !IsDeadSector(lead, 142));  // the file's end after it
  std::mt19937 rng(11);
  const int sse2 = g_useSse2;
  for (int trial = 0; trial < 160; ++trial) {  // ending on an odd trial: g_useSse2 as it was
    g_useSse2 = sse2 && trial % 2;
    t = trial % 4 ? 8192 : trial % 8 ? 1 + rng() % 100 : 70000;
    const uint32_t size = trial % 10 ? 1 + rng() % 300000 : 65536 * (1 + rng() % 3);
    std::vector<Ranges> lost;
    std::vector<Bytes> c = Copies(rng, 2 + trial % 4, size, uint32_t(t), &lost);
    Holds h(c.size(), std::vector<Hold>(size, kRule));
    std::vector<CopyMap> maps(c.size(), CopyMap{0, {}, 0});
    for (size_t k = 0; trial % 3 && k < c.size(); ++k) {
      if (rng() % 2 == 0) continue;
      ASSERT_EQ(ReadMapfile(MapText(rng, lost[k], size), &maps[k]), "");
      std::fill(h[k].begin(), h[k].end(), kNoneByMap);
      for (const ByteRange& r : maps[k].rescued)
        std::fill_n(h[k].begin() + r.offset, r.length, kAll);
    }
    for (size_t k = 0; size > 143 && trial % 2 && k < c.size(); ++k) {
      // The text again inside the sector, behind its start: data in the copies it is no dead
      // sector of, filler in those it is.
      const size_t at = rng() % size / 2048 * 2048, elsewhere = at + 200 + rng() % 1000;
      WriteDeadSector(&c[k], at);
      std::fill_n(h[k].begin() + at, std::min<size_t>(2048, size - at), kNoneByMarker);
      for (Bytes& copy : c)
        if (elsewhere + 143 <= size) std::copy_n(kDeadLead, 143, copy.begin() + elsewhere);
    }
    std::vector<std::string> copies;
    for (size_t k = 0; k < c.size(); ++k) {
      copies.push_back(JoinPath(dir, "c" + std::to_string(k)));
      WriteBytes(copies.back(), c[k]);
    }
    WriteBytes(out, Bytes(size + 70000, 0xEE));
    const Merged m = Model(c, h, t);
    yes = rng() % 2;
    const Outcome o = Run(copies, out, maps.data());
    EXPECT_EQ(made, 1);
    const bool declined = m.question >= 0 && !yes;
    const int64_t ended = declined ? m.question + t - 1 : m.stop;
    EXPECT_EQ(o.kind, declined ? kDeclined : ended >= 0 ? kMismatch : kMerged) << trial;
    EXPECT_EQ(g_host.asked, m.question < 0 ? std::vector<uint64_t>{}
                                           : std::vector<uint64_t>{uint64_t(m.question)});
    const Bytes written = ReadBytes(out);
    const size_t whole = ended < 0 ? m.out.size() : size_t(ended) / 65536 * 65536;
    EXPECT_EQ(written, Bytes(m.out.begin(), m.out.begin() + whole)) << trial;
    EXPECT_EQ(o.kind == kMismatch ? o.offset : 0, o.kind == kMismatch ? uint64_t(m.stop) : 0);
    if (ended >= 0) continue;  // the counts of a whole merge
    EXPECT_EQ(report.unsupplied, m.r.unsupplied) << trial;
    EXPECT_EQ(std::tie(report.taken, report.voted, report.votedRanges),
              std::tie(m.r.taken, m.r.voted, m.r.votedRanges)) << trial;
  }
}

TEST_F(MergeFiles, FailuresBeforeTheMergeAreToldAfterClosingAndMakeNoOutput) {
  const std::string dmg = JoinPath(dir, "d"), src = JoinPath(dir, "s");
  EXPECT_EQ(Run({dmg, src}, out).kind, kCannotOpenDamaged);
  WriteBytes(dmg, {0, 5, 0});
  WriteBytes(src, {4, 5, 6});
  for (const std::string& output : {dir, dmg, src})
    EXPECT_EQ(Run({dmg, src}, output).kind, kCannotMakeOutput) << output;
  EXPECT_EQ(made + FileExists(out), 0);
  EXPECT_EQ(ReadBytes(dmg).size() + ReadBytes(src).size(), 6u);  // no input cut
}
