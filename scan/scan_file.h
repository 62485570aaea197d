// Checks one file for damage.
#pragma once

// Scans the file at path for a zero run of g_settings.ErrorLength bytes
// (passing over JUNK payloads of RIFF files when g_settings.SkipJunk is on),
// calling PumpMessages() after every block without damage. Returns 1 when the
// file is clean (or the stop came after its last block), 0 when it is damaged,
// cannot be read, or a stop came earlier. Tells the user about every problem
// itself; a stop is not reported.
int ScanFile(const char* path);
