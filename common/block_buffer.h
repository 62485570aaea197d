// Buffers that files are read into and written from. They start on a 64-byte
// boundary: the system's copy between its file cache and a buffer runs up to a
// third faster when the buffer starts on a cache line.
#pragma once
#include <cstddef>
#include <cstdint>

// nullptr when the memory cannot be had.
uint8_t* AllocateBlockBuffer(size_t size);

// Takes what AllocateBlockBuffer gave, or nullptr.
void FreeBlockBuffer(uint8_t* buffer);
