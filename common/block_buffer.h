// Buffers that files are read into and written from. They start on a 64-byte
// boundary: the system's copy out of its file cache ran a quarter to three
// times slower into buffers 8 to 24 bytes past a cache line, where the C
// library's allocator may well put them.
#pragma once
#include <cstddef>
#include <cstdint>

// nullptr when the memory cannot be had.
uint8_t* AllocateBlockBuffer(size_t size);

// Takes what AllocateBlockBuffer gave, or nullptr.
void FreeBlockBuffer(uint8_t* buffer);
