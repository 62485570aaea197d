// The program's own words for each outcome, in one table: the dialog program
// shows them in its message boxes, always in Japanese, the command-line
// program prints them in its user's language. In the Windows build the
// Japanese ones are Shift-JIS, as the program's ANSI strings must be.
#pragma once
#include <string>

#include "common/outcome.h"

enum Language { kJapanese, kEnglish };

// The message of an outcome, with its offset and bytes filled in: one or two
// lines. Empty for the outcomes that show none (kClean, kMerged, kStopped).
// kDeclined's is the continue question, which the answer No ends a merge with.
std::string OutcomeMessage(const Outcome& outcome, Language language = kJapanese);

// The caption of its message box; nullptr for the platform's default caption.
const char* OutcomeCaption(OutcomeKind kind);

// 1 when its box carries the information icon, 0 for the warning icon.
int IsInformation(OutcomeKind kind);
