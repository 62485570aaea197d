// Splits the command-line tail into the names that go into the file list.
#pragma once

// The longest entry the file list takes: every buffer that holds an entry has
// room for this many characters and the terminating NUL (the path limit).
constexpr int kMaxEntryLength = 259;

enum TailPiece {
  kTailEnd,      // nothing is left of the tail
  kTailName,     // a name was copied, possibly an empty one
  kTailTooLong,  // a name longer than kMaxEntryLength was passed over
};

// Takes the name that starts at *pos and moves *pos to where the next one
// starts. Names are separated by one blank each, so every further blank in a
// row gives an empty name; a name that opens with a double quote runs to the
// next double quote (or the end) and may hold blanks; tabs belong to names.
// For kTailName the name is copied, NUL-terminated, into name, which has room
// for kMaxEntryLength + 1 characters; otherwise name is left empty. A name too
// long for the list is skipped rather than cut, since a cut path could name
// another, existing file.
TailPiece TakeTailName(const char** pos, char* name);
