// Whole-file speed on page-cached files: ScanFile and MergeCopies against loops
// that only move the same bytes through the same file layer in blocks of
// 65536 bytes. Usage: file_bench [folder] [MiB]; the files are deleted after.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
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
#include "scan/scan_file.h"

static const uint32_t kBlock = 65536;

// One stream of video-like blocks starting with "RIFF", written as the clean
// file and as two copies damaged by 4096 zero bytes at different places.
static int MakeFiles(const std::string& clean, const std::string& damaged,
                     const std::string& source, uint64_t size) {
  const FileHandle out[3] = {CreateAlways(clean.c_str(), nullptr, 0),
                             CreateAlways(damaged.c_str(), nullptr, 0),
                             CreateAlways(source.c_str(), nullptr, 0)};
  int ok = out[0] != kNoFile && out[1] != kNoFile && out[2] != kNoFile;
  std::vector<uint8_t> block(kBlock), copy(kBlock);
  uint64_t seed = 7;
  for (uint64_t at = 0; ok && at < size; at += kBlock) {
    FillVideoLike(block.data(), kBlock, &seed);
    AddJunkChunks(block.data(), kBlock, &seed);
    if (at == 0) std::copy_n("RIFF", 4, block.begin());
    ok = WriteExact(out[0], block.data(), kBlock);
    for (int k = 1; ok && k <= 2; ++k) {
      copy = block;
      if ((at >> 20) % 16 == static_cast<uint64_t>(k == 1 ? 1 : 9) && (at >> 16) % 16 == 0)
        std::fill_n(copy.begin() + 1000, 4096, 0);
      ok = WriteExact(out[k], copy.data(), kBlock);
    }
  }
  for (FileHandle f : out) CloseFile(f);
  return ok;
}

// The loops read into (and write from) the buffers they are given: the
// program's own, which start on a cache line, or a vector's, as a plain loop
// would have them.
static int ReadLoop(const char* path, uint8_t* block) {
  FileHandle f = OpenForRead(path);
  uint64_t size = 0;
  int ok = f != kNoFile && GetSize(f, &size);
  for (uint64_t at = 0; ok && at < size; at += kBlock)
    ok = ReadExact(f, block, size - at < kBlock ? static_cast<uint32_t>(size - at) : kBlock);
  CloseFile(f);
  return ok;
}

static int CopyLoop(const char* output, const char* a, const char* b, uint8_t* one,
                    uint8_t* two) {
  FileHandle in[2] = {OpenForRead(a), OpenForRead(b)};
  FileHandle out = CreateAlways(output, in, 2);
  uint64_t size = 0;
  int ok = in[0] != kNoFile && in[1] != kNoFile && out != kNoFile && GetSize(in[0], &size);
  for (uint64_t at = 0; ok && at < size; at += kBlock) {
    uint32_t n = size - at < kBlock ? static_cast<uint32_t>(size - at) : kBlock;
    ok = ReadExact(in[0], one, n) && ReadExact(in[1], two, n) && WriteExact(out, one, n);
  }
  CloseFile(out);
  CloseFile(in[1]);
  CloseFile(in[0]);
  return ok;
}

// Wall-clock and processor time (user and system, so the copying inside the
// reads counts) of each run; the processor time is the steadier figure on a
// machine busy with other work.
struct Timing {
  const char* name;
  std::vector<double> wall, cpu;
};

template <typename Run>
static void Time(Timing* t, Run run) {
  const std::clock_t cpu = std::clock();
  const auto wall = std::chrono::steady_clock::now();
  if (!run()) std::fprintf(stderr, "%s failed\n", t->name);
  t->wall.push_back(
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count());
  t->cpu.push_back(static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC);
}

// Writes still held in the page cache would be written back during the next
// run and slow it down.
static void SettleWrites() {
#ifndef _WIN32
  sync();
#endif
}

struct Step {
  Timing* timing;
  std::function<int()> run;
};

static void RunRounds(const std::vector<Step>& steps, size_t rounds, bool settle) {
  for (size_t round = 0; round < rounds; ++round) {
    for (size_t k = 0; k < steps.size(); ++k) {
      const Step& step = steps[(round + k) % steps.size()];
      Time(step.timing, step.run);
      if (settle) SettleWrites();
    }
  }
}

static double Best(const std::vector<double>& seconds) {
  return *std::min_element(seconds.begin(), seconds.end());
}

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : ".";
  const uint64_t mib = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1024;
  const uint64_t size = mib << 20;
  const std::string clean = folder + "/orvalintex-bench-clean.avi";
  const std::string damaged = folder + "/orvalintex-bench-damaged.avi";
  const std::string source = folder + "/orvalintex-bench-source.avi";
  const std::string output = folder + "/orvalintex-bench-damaged.fixed.avi";

  if (!MakeFiles(clean, damaged, source, size)) {
    std::fprintf(stderr, "cannot write the files in %s\n", folder.c_str());
    return 1;
  }
  uint8_t* const aligned[2] = {AllocateBlockBuffer(kBlock), AllocateBlockBuffer(kBlock)};
  std::vector<uint8_t> plainOne(kBlock), plainTwo(kBlock);
  if (!aligned[0] || !aligned[1]) return 1;
  for (const std::string* file : {&clean, &damaged, &source})
    ReadLoop(file->c_str(), aligned[0]);  // into the page cache

  Timing read = {"read loop", {}, {}}, readPlain = {"read loop, vector", {}, {}},
         plain = {"ScanFile, plain mode", {}, {}}, junk = {"ScanFile, JUNK mode", {}, {}},
         copy = {"read two, write one loop", {}, {}},
         copyPlain = {"read two, write one, vector", {}, {}},
         merge = {"MergeCopies, two copies", {}, {}};
  const char* copies[2] = {damaged.c_str(), source.c_str()};
  int merged = 1;
  // Reading first, with nothing left to write back; then writing, each run
  // flushed before the next. Each round starts one later in its list, so no
  // run always follows the same other.
  const std::vector<Step> reading = {
      {&read, [&] { return ReadLoop(clean.c_str(), aligned[0]); }},
      {&readPlain, [&] { return ReadLoop(clean.c_str(), plainOne.data()); }},
      {&plain, [&] { return ScanFile(clean.c_str(), {8192, 0, nullptr, 0, {}}).kind == kClean; }},
      {&junk, [&] { return ScanFile(clean.c_str(), {8192, 1, nullptr, 0, {}}).kind == kClean; }}};
  const std::vector<Step> writing = {
      {&copy,
       [&] {
         return CopyLoop(output.c_str(), damaged.c_str(), source.c_str(), aligned[0], aligned[1]);
       }},
      {&copyPlain,
       [&] {
         return CopyLoop(output.c_str(), damaged.c_str(), source.c_str(), plainOne.data(),
                         plainTwo.data());
       }},
      {&merge, [&] {
         MergeReport report;
         MergeJob job = MergeOf(copies, 2, 8192);
         job.makeOutput = output.c_str();
         return merged &= MergeCopies(job, &report, nullptr).kind == kMerged;
       }}};
  SettleWrites();
  RunRounds(reading, 8, false);
  RunRounds(writing, 6, true);
  FreeBlockBuffer(aligned[1]);
  FreeBlockBuffer(aligned[0]);

  RemoveFile(output.c_str());
  RemoveFile(source.c_str());
  RemoveFile(damaged.c_str());
  RemoveFile(clean.c_str());

  const double n = static_cast<double>(size);
  std::printf("files of %llu MiB in the page cache, best of %zu runs; the loops use buffers\n"
              "on a cache line like the program's, or a vector's (%u bytes past one):\n",
              static_cast<unsigned long long>(mib), read.wall.size(),
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(plainOne.data()) % 64));
  std::printf("  %-28s %10s %10s\n", "", "wall MB/s", "cpu MB/s");
  const Timing* all[] = {&read, &readPlain, &plain, &junk, &copy, &copyPlain, &merge};
  for (const Timing* t : all)
    std::printf("  %-28s %10.0f %10.0f\n", t->name, n / Best(t->wall) / 1e6,
                n / Best(t->cpu) / 1e6);
  const struct {
    const char* what;
    const Timing *fast, *base;
  } ratios[] = {{"ScanFile plain / read loop", &plain, &read},
                {"ScanFile JUNK / read loop", &junk, &read},
                {"MergeCopies / copy loop", &merge, &copy},
                {"ScanFile plain / vector loop", &plain, &readPlain},
                {"ScanFile JUNK / vector loop", &junk, &readPlain},
                {"MergeCopies / vector loop", &merge, &copyPlain}};
  std::printf("  %-28s %10s %10s\n", "ratios (target >= 0.9)", "wall", "cpu");
  for (const auto& r : ratios)
    std::printf("  %-28s %10.2f %10.2f\n", r.what, Best(r.base->wall) / Best(r.fast->wall),
                Best(r.base->cpu) / Best(r.fast->cpu));
  return g_benchFailures == 0 ? 0 : 1;
}
