// The block scanners and the merge on data held in memory, in blocks of 65536
// bytes as the file-level scan and merge hand them over, against
// byte-at-a-time loops.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "repair/merge_copies.h"
#include "common/simd.h"
#include "scan/block_scan.h"

static const uint32_t kBlock = 65536;
static const int32_t kThreshold = 8192;
static const size_t kDataSize = 16 * kBlock;  // stays in the cache like a block just read

typedef uint32_t (*JunkFn)(ZeroRunState*, const uint8_t*, uint32_t, int32_t, uint64_t);
typedef uint32_t (*PlainFn)(ZeroRunState*, const uint8_t*, uint32_t, int32_t);

static void RunPlain(benchmark::State& state, const std::vector<uint8_t>* data, PlainFn scan) {
  for (auto _ : state) {
    ZeroRunState s = {0, 0, 0};
    for (size_t at = 0; at < data->size(); at += kBlock)
      benchmark::DoNotOptimize(scan(&s, data->data() + at, kBlock, kThreshold));
    if (s.runLength == kThreshold) state.SkipWithError("damage found");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data->size()));
}

static void RunJunk(benchmark::State& state, const std::vector<uint8_t>* data, JunkFn scan) {
  for (auto _ : state) {
    ZeroRunState s = {0, 0, 0};
    for (size_t at = 0; at < data->size(); at += kBlock)
      benchmark::DoNotOptimize(scan(&s, data->data() + at, kBlock, kThreshold, 1ull << 40));
    if (s.runLength == kThreshold) state.SkipWithError("damage found");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data->size()));
}

// Each pass merges a fresh damaged copy; the copying is not timed. The
// merge's own kernel runs in the form sse2 asks for.
static void RunMerge(benchmark::State& state, const std::vector<uint8_t>* damaged,
                     const std::vector<uint8_t>* source, int sse2) {
  std::vector<uint8_t> work(damaged->size());
  const int kept = g_useSse2;
  g_useSse2 = sse2 && kept;
  for (auto _ : state) {
    state.PauseTiming();
    work = *damaged;
    state.ResumeTiming();
    MergeState s = {0, 1, 0, 0, 0};
    MergeReport report = {{0}, 0, {}, {}, 0};
    for (size_t at = 0; at < work.size(); at += kBlock) {
      uint8_t* const copies[2] = {work.data() + at, const_cast<uint8_t*>(source->data()) + at};
      if (MergeBlock(&s, copies, 2, kBlock, kThreshold, nullptr, &report) < kBlock)
        state.SkipWithError("copies differ");
    }
  }
  g_useSse2 = kept;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * work.size()));
}

static void RunMergeByteLoop(benchmark::State& state, const std::vector<uint8_t>* damaged,
                             const std::vector<uint8_t>* source) {
  std::vector<uint8_t> work(damaged->size());
  for (auto _ : state) {
    state.PauseTiming();
    work = *damaged;
    state.ResumeTiming();
    int32_t run = 0;
    for (size_t at = 0; at < work.size(); at += kBlock)
      if (MergeByteLoop(work.data() + at, source->data() + at, kBlock, &run, kThreshold) < kBlock)
        state.SkipWithError("copies differ");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * work.size()));
}

// Keeps every rate by name, so the ratios can be printed after the table.
class RateKeeper : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto rate = run.counters.find("bytes_per_second");
      if (rate != run.counters.end()) rates[run.benchmark_name()] = rate->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

int main(int argc, char** argv) {
  std::vector<uint8_t> video(kDataSize), junk(kDataSize), shortRuns(kDataSize),
      sparse(kDataSize);
  uint64_t seed = 1;
  FillVideoLike(video.data(), video.size(), &seed);
  junk = video;
  AddJunkChunks(junk.data(), junk.size(), &seed);
  FillShortRuns(shortRuns.data(), shortRuns.size(), &seed);
  FillSparseNonZero(sparse.data(), sparse.size(), &seed);
  // Two copies of the video-like bytes, each with 4096 zeros where the other is whole.
  std::vector<uint8_t> damaged = video, source = video;
  std::fill_n(damaged.begin() + 5000, 4096, 0);
  std::fill_n(source.begin() + 300000, 4096, 0);

  const struct {
    const char* name;
    const std::vector<uint8_t>* data;
    PlainFn plain;
    JunkFn junk;
  } runs[] = {
      {"plain/video/fast", &video, ScanPlain, nullptr},
      {"plain/video/portable", &video, ScanPlainPortable, nullptr},
      {"plain/video/byte_loop", &video, PlainByteLoop, nullptr},
      {"junk/video+JUNK/fast", &junk, nullptr, ScanJunk},
      {"junk/video+JUNK/portable", &junk, nullptr, ScanJunkPortable},
      {"junk/video+JUNK/byte_loop", &junk, nullptr, JunkByteLoop},
      {"plain/short_runs/fast", &shortRuns, ScanPlain, nullptr},
      {"plain/short_runs/portable", &shortRuns, ScanPlainPortable, nullptr},
      {"plain/short_runs/byte_loop", &shortRuns, PlainByteLoop, nullptr},
      {"junk/short_runs/fast", &shortRuns, nullptr, ScanJunk},
      {"junk/short_runs/byte_loop", &shortRuns, nullptr, JunkByteLoop},
      {"plain/sparse_non_zero/fast", &sparse, ScanPlain, nullptr},
      {"plain/sparse_non_zero/byte_loop", &sparse, PlainByteLoop, nullptr},
  };
  for (const auto& r : runs) {
    if (r.plain)
      benchmark::RegisterBenchmark(r.name, RunPlain, r.data, r.plain);
    else
      benchmark::RegisterBenchmark(r.name, RunJunk, r.data, r.junk);
  }

  benchmark::RegisterBenchmark("merge/video/fast", RunMerge, &damaged, &source, 1);
  benchmark::RegisterBenchmark("merge/video/portable", RunMerge, &damaged, &source, 0);
  benchmark::RegisterBenchmark("merge/video/byte_loop", RunMergeByteLoop, &damaged, &source);

  benchmark::Initialize(&argc, argv);
  RateKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  benchmark::Shutdown();

  // A figure whose benchmarks were filtered out is left out.
  const std::map<std::string, double>& rates = keeper.rates;
  auto speed = [&](const char* what, const char* name, const char* target) {
    if (rates.count(name))
      std::printf("  %-28s %8.1f GB/s%s\n", what, rates.at(name) / 1e9, target);
  };
  auto times = [&](const char* what, const char* fast, const char* slow, const char* target) {
    if (rates.count(fast) && rates.count(slow))
      std::printf("  %-28s %8.1f x the byte loop%s\n", what, rates.at(fast) / rates.at(slow),
                  target);
  };
  std::printf("\nblock functions, threshold %d, blocks of %u bytes, one core:\n", kThreshold,
              kBlock);
  speed("plain, video-like", "plain/video/fast", " (target >= 8)");
  speed("JUNK, video-like + JUNK", "junk/video+JUNK/fast", " (target >= 4)");
  times("plain, short zero runs", "plain/short_runs/fast", "plain/short_runs/byte_loop",
        " (target >= 3)");
  times("JUNK, short zero runs", "junk/short_runs/fast", "junk/short_runs/byte_loop", "");
  speed("plain, sparse non-zero", "plain/sparse_non_zero/fast", "");
  times("plain, sparse non-zero", "plain/sparse_non_zero/fast", "plain/sparse_non_zero/byte_loop",
        "");
  speed("merge, video-like copies", "merge/video/fast", "");
  times("merge, video-like copies", "merge/video/fast", "merge/video/byte_loop", "");
  speed("portable plain, video-like", "plain/video/portable", "");
  speed("portable JUNK, video + JUNK", "junk/video+JUNK/portable", "");
  speed("portable merge, video-like", "merge/video/portable", "");
  return 0;
}
