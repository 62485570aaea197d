#include "common/block_pass.h"

#include <new>
#include <vector>

#include "common/block_buffer.h"
#include "common/block_size.h"

static void CloseAll(const std::vector<FileHandle>& files) {
  for (size_t k = files.size(); k > 0; --k) CloseFile(files[k - 1]);
}

// Messages of the opening steps come only after every file already open is
// closed: the one that failed is named by the outcome.
static Outcome OpenInputs(const BlockPass& p, std::vector<FileHandle>* inputs, uint64_t* size) {
  for (int k = 0; k < p.count; ++k) {
    const FileHandle file = OpenForRead(p.paths[k]);
    if (file == kNoFile) {
      const OutcomeKind kind = p.work == kChecking ? kCannotOpen
                               : k == 0            ? kCannotOpenDamaged
                                                   : kCannotOpenSource;
      return FailureOf(kind, k);
    }
    inputs->push_back(file);
  }
  for (int k = 0; k < p.count; ++k) {
    uint64_t own = 0;
    if (!GetSize((*inputs)[k], &own)) return FailureOf(kCannotRead, k);
    if (k == 0) *size = own;
    if (own == *size) continue;
    Outcome mismatch = MakeOutcome(kSizeMismatch);
    mismatch.file = k;
    mismatch.sizes[0] = *size;
    mismatch.sizes[1] = own;
    return mismatch;
  }
  return MakeOutcome(p.whole);
}

// A block function whose records outgrow the memory (a damaged file's ranges,
// what an AVI walk keeps) ends the pass as a buffer that cannot be had does.
static int HandleBlock(const BlockPass& p, uint8_t* const* blocks, uint32_t n, uint64_t at,
                       uint64_t left, Outcome* ending) {
  try {
    return p.handle(p.context, blocks, n, at, left, ending);
  } catch (const std::bad_alloc&) {
    *ending = MakeOutcome(kNoMemory);
    return 0;
  }
}

// Reads, hands over and writes each block: the outcome that ends the loop
// early, or p.whole. A stop is told by the caller, after the release.
static Outcome EveryBlock(const BlockPass& p, const std::vector<FileHandle>& inputs,
                          FileHandle output, uint8_t* buffer, uint32_t blockSize, uint64_t size) {
  std::vector<uint8_t*> blocks(inputs.size());
  for (size_t k = 0; k < inputs.size(); ++k) blocks[k] = buffer + k * blockSize;
  Outcome ending = MakeOutcome(p.whole);
  for (uint64_t at = 0; at < size;) {
    const uint32_t n = size - at < blockSize ? static_cast<uint32_t>(size - at) : blockSize;
    for (size_t k = 0; k < inputs.size(); ++k)
      if (!ReadExact(inputs[k], blocks[k], n)) return FailureOf(kCannotRead, static_cast<int>(k));
    if (!HandleBlock(p, blocks.data(), n, at, size - at, &ending)) return ending;
    if (output != kNoFile && !WriteExact(output, blocks[0], n))
      return FailureOf(kCannotWrite, kOutputFile);
    at += n;
    if (!KeepGoing(p.work, at, size) && at < size) return MakeOutcome(kStopped);
  }
  return ending;
}

Outcome RunBlockPass(const BlockPass& p, uint64_t* sizeOut, int* outputMade) {
  if (outputMade) *outputMade = 0;
  std::vector<FileHandle> inputs;
  uint64_t size = 0;
  Outcome outcome = OpenInputs(p, &inputs, &size);
  FileHandle output = p.output;
  if (outcome.kind == p.whole && p.makeOutput) {
    // Handing over the inputs keeps an output path that names one of them
    // from truncating it.
    output = CreateAlways(p.makeOutput, inputs.data(), p.count);
    if (output == kNoFile) outcome = FailureOf(kCannotMakeOutput, kOutputFile);
    if (outputMade) *outputMade = output != kNoFile;
  }
  if (outcome.kind != p.whole) {
    CloseAll(inputs);
    TellOutcome(outcome);
    return outcome;
  }
  if (sizeOut) *sizeOut = size;
  const uint32_t blockSize = BlockSizeFor(size);
  uint8_t* buffer =
      size > 0 ? AllocateBlockBuffer(static_cast<size_t>(p.count) * blockSize) : nullptr;
  if (buffer) {
    outcome = EveryBlock(p, inputs, output, buffer, blockSize, size);
    // Every failure inside the loop is told while all is still held.
    if (outcome.kind != p.whole && outcome.kind != kStopped) TellOutcome(outcome);
    FreeBlockBuffer(buffer);
  }
  if (p.makeOutput) CloseFile(output);
  CloseAll(inputs);
  const bool noBuffer = size > 0 && !buffer;
  if (noBuffer) outcome = MakeOutcome(kNoMemory);
  if (outcome.kind == kStopped || noBuffer) TellOutcome(outcome);
  return outcome;
}
