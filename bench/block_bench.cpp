// The block scanners on data held in memory, in blocks of 65536 bytes as the
// file-level scan hands them over, against byte-at-a-time loops.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "scan/zero_run.h"

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
  std::vector<uint8_t> video(kDataSize), junk(kDataSize), shortRuns(kDataSize);
  uint64_t seed = 1;
  FillVideoLike(video.data(), video.size(), &seed);
  junk = video;
  AddJunkChunks(junk.data(), junk.size(), &seed);
  FillShortRuns(shortRuns.data(), shortRuns.size(), &seed);

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
  };
  for (const auto& r : runs) {
    if (r.plain)
      benchmark::RegisterBenchmark(r.name, RunPlain, r.data, r.plain);
    else
      benchmark::RegisterBenchmark(r.name, RunJunk, r.data, r.junk);
  }

  benchmark::Initialize(&argc, argv);
  RateKeeper keeper;
  benchmark::RunSpecifiedBenchmarks(&keeper);
  benchmark::Shutdown();

  auto gb = [&](const char* name) { return keeper.rates[name] / 1e9; };
  auto ratio = [&](const char* fast, const char* slow) {
    return keeper.rates[slow] > 0 ? keeper.rates[fast] / keeper.rates[slow] : 0.0;
  };
  std::printf("\nblock scanner, threshold %d, blocks of %u bytes, one core:\n", kThreshold, kBlock);
  std::printf("  plain, video-like:          %8.1f GB/s (target >= 8)\n", gb("plain/video/fast"));
  std::printf("  JUNK, video-like + JUNK:    %8.1f GB/s (target >= 4)\n",
              gb("junk/video+JUNK/fast"));
  std::printf("  plain, short zero runs:     %8.1f x the byte loop (target >= 3)\n",
              ratio("plain/short_runs/fast", "plain/short_runs/byte_loop"));
  std::printf("  JUNK, short zero runs:      %8.1f x the byte loop\n",
              ratio("junk/short_runs/fast", "junk/short_runs/byte_loop"));
  std::printf("  portable plain, video-like: %8.1f GB/s\n", gb("plain/video/portable"));
  std::printf("  portable JUNK, video+JUNK:  %8.1f GB/s\n", gb("junk/video+JUNK/portable"));
  return 0;
}
