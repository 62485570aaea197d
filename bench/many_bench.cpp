// Whole-file speed of the damage map and the merge of three copies on
// page-cached files, against loops that only move the same bytes through the
// same file layer in blocks of 65536 bytes with the program's buffers.
// Usage: many_bench [folder] [MiB]; the files are deleted after.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "bench/bench_data.h"
#include "common/block_buffer.h"
#include "common/file_io.h"
#include "repair/merge_copies.h"
#include "scan/damage_map.h"

static const uint32_t kBlock = 65536;
static const int32_t kThreshold = 8192;

// One video-like stream starting with "RIFF", written as three copies, each
// with 100 damaged ranges of 8 to 64 KiB (zeros) at places of its own.
static int MakeCopies(const std::string* names, uint64_t size) {
  FileHandle out[3];
  int ok = 1;
  for (int k = 0; k < 3; ++k)
    ok &= (out[k] = CreateAlways(names[k].c_str(), nullptr, 0)) != kNoFile;
  std::vector<uint8_t> block(kBlock), copy(kBlock);
  const uint64_t blocks = size / kBlock, every = blocks / 100 > 0 ? blocks / 100 : 1;
  uint64_t seed = 7;
  for (uint64_t b = 0; ok && b < blocks; ++b) {
    FillVideoLike(block.data(), kBlock, &seed);
    AddJunkChunks(block.data(), kBlock, &seed);
    if (b == 0) std::copy_n("RIFF", 4, block.begin());
    for (int k = 0; ok && k < 3; ++k) {
      copy = block;
      if (b % every == static_cast<uint64_t>(k) * every / 3 && b / every < 100)
        std::fill_n(copy.begin() + 100,
                    kThreshold + (b * 977 + k * 12345) % (kBlock - kThreshold - 100), 0);
      ok = WriteExact(out[k], copy.data(), kBlock);
    }
  }
  for (FileHandle f : out) CloseFile(f);
  return ok;
}

static int ReadLoop(const char* path, uint8_t* block) {
  FileHandle f = OpenForRead(path);
  uint64_t size = 0;
  int ok = f != kNoFile && GetSize(f, &size);
  for (uint64_t at = 0; ok && at < size; at += kBlock)
    ok = ReadExact(f, block, size - at < kBlock ? static_cast<uint32_t>(size - at) : kBlock);
  CloseFile(f);
  return ok;
}

static int CopyLoop(const char* output, const char* const* inputs, uint8_t* buffer) {
  FileHandle in[3] = {OpenForRead(inputs[0]), OpenForRead(inputs[1]), OpenForRead(inputs[2])};
  FileHandle out = CreateAlways(output, in, 3);
  uint64_t size = 0;
  int ok = in[0] != kNoFile && in[1] != kNoFile && in[2] != kNoFile && out != kNoFile &&
           GetSize(in[0], &size);
  for (uint64_t at = 0; ok && at < size; at += kBlock) {
    const uint32_t n = size - at < kBlock ? static_cast<uint32_t>(size - at) : kBlock;
    for (int k = 0; ok && k < 3; ++k) ok = ReadExact(in[k], buffer + k * kBlock, n);
    ok = ok && WriteExact(out, buffer, n);
  }
  CloseFile(out);
  for (FileHandle f : in) CloseFile(f);
  return ok;
}

struct Timing {
  const char* name;
  double wall, cpu;  // the best of the runs
};

static void Time(Timing* t, const std::function<int()>& run) {
  const std::clock_t cpu = std::clock();
  const auto wall = std::chrono::steady_clock::now();
  if (!run()) std::fprintf(stderr, "%s failed\n", t->name);
  const double w = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
  const double c = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
  t->wall = t->wall > 0 && t->wall < w ? t->wall : w;
  t->cpu = t->cpu > 0 && t->cpu < c ? t->cpu : c;
#ifndef _WIN32
  sync();  // writes still cached would slow the next run
#endif
}

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  const std::string names[3] = {folder + "/orvalintex-many-0.avi",
                                folder + "/orvalintex-many-1.avi",
                                folder + "/orvalintex-many-2.avi"};
  const std::string output = folder + "/orvalintex-many.fixed.avi";
  const char* paths[3] = {names[0].c_str(), names[1].c_str(), names[2].c_str()};
  if (!MakeCopies(names, mib << 20)) {
    std::fprintf(stderr, "cannot write the files in %s\n", folder.c_str());
    return 1;
  }
  uint8_t* buffer = AllocateBlockBuffer(3 * kBlock);
  if (!buffer) return 1;
  for (const char* path : paths) ReadLoop(path, buffer);  // into the page cache

  Timing read = {"read loop", 0, 0}, runs = {"MapDamage, JUNK mode", 0, 0},
         plain = {"MapDamage, plain mode", 0, 0}, copy = {"read three, write one loop", 0, 0},
         merge = {"MergeCopies, three copies", 0, 0};
  std::vector<ByteRange> found;
  uint64_t size = 0;
  MergeReport report;
  const std::function<int()> readRun = [&] { return ReadLoop(paths[0], buffer); };
  const std::function<int()> runsRun = [&] {
    found.clear();
    return MapDamage(paths[0], {kThreshold, 1, nullptr, 0, {}}, &found, &size).kind != kStopped;
  };
  const std::function<int()> plainRun = [&] {
    std::vector<ByteRange> runs;
    return MapDamage(paths[0], {kThreshold, 0, nullptr, 0, {}}, &runs, &size).kind != kStopped;
  };
  for (int round = 0; round < 8; ++round) {  // each first on every other round
    if (round % 2 == 0) Time(&read, readRun);
    Time(&runs, runsRun);
    Time(&plain, plainRun);
    if (round % 2 == 1) Time(&read, readRun);
  }
  for (int round = 0; round < 5; ++round) {
    Time(&copy, [&] { return CopyLoop(output.c_str(), paths, buffer); });
    Time(&merge, [&] {
      const FileHandle in = OpenForRead(paths[0]);
      const FileHandle out = CreateAlways(output.c_str(), &in, 1);
      CloseFile(in);
      MergeJob job = MergeOf(paths, 3, kThreshold);
      job.output = out;
      const int ok = out != kNoFile && MergeCopies(job, &report, nullptr).kind == kMerged;
      CloseFile(out);
      return ok;
    });
  }
  FreeBlockBuffer(buffer);
  RemoveFile(output.c_str());
  for (const char* path : paths) RemoveFile(path);

  const double n = static_cast<double>(mib << 20);
  std::printf("files of %llu MiB in the page cache, best runs; %zu runs found, %zu unsupplied\n",
              static_cast<unsigned long long>(mib), found.size(), report.unsupplied.size());
  std::printf("  %-28s %10s %10s\n", "", "wall MB/s", "cpu MB/s");
  for (const Timing* t : {&read, &runs, &plain, &copy, &merge})
    std::printf("  %-28s %10.0f %10.0f\n", t->name, n / t->wall / 1e6, n / t->cpu / 1e6);
  std::printf("  %-28s %10.2f %10.2f\n", "MapDamage / read loop", read.wall / runs.wall,
              read.cpu / runs.cpu);
  std::printf("  %-28s %10.2f %10.2f\n", "MapDamage plain / read", read.wall / plain.wall,
              read.cpu / plain.cpu);
  std::printf("  %-28s %10.2f %10.2f\n", "MergeCopies / copy loop", copy.wall / merge.wall,
              copy.cpu / merge.cpu);
  return g_benchFailures == 0 ? 0 : 1;
}
