// Checks one file for damage.
#pragma once
#include <cstdint>

#include "common/file_io.h"

// Scans the file at path for a zero run of g_settings.ErrorLength bytes
// (passing over JUNK payloads of RIFF files when g_settings.SkipJunk is on),
// calling PumpMessages() after every block without damage. Returns 1 when the
// file is clean (or the stop came after its last block), 0 when it is damaged,
// cannot be read, or a stop came earlier. Tells the user about every problem
// itself; a stop is not reported.
int ScanFile(const char* path);

// The opening steps of a scan of path: the file, its size, and a buffer for its
// blocks of *blockSize bytes. Returns 1 with all three in hand (the caller
// frees the buffer, then closes the file), or for an empty file with *size 0
// and nothing held; 0 after releasing what it took and telling the user why.
int OpenScan(const char* path, FileHandle* file, uint64_t* size, uint8_t** buffer,
             uint32_t* blockSize);

// Tells the user that the file may be damaged at offset, as a check does.
void ReportDamage(uint64_t offset);
