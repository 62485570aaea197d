#include "report/report.h"

#include "report/words.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "platform/console.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "common/offset_text.h"

static std::string Bytes(uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

std::string FileErrorText(FileError error) {
  switch (error.failure) {
    case kFailedIsFolder:
      return "is a folder";
    case kFailedNotRegular:
      return "not a regular file";
    case kFailedEndedEarly:
      return "ended before its size";
    case kFailedIsInput:
      return "is one of the copies read";
    case kFailedTooLarge:
      return "larger than 256 MiB";
    default:
      return SystemErrorText(error.system);
  }
}

std::string ReasonFor(const Outcome& o, const char* const* copies, const char* output) {
  const char* file = o.file == kOutputFile ? output : copies[o.file];
  const std::string named = o.file == 0 ? std::string() : Quoted(file) + ": ";
  if (o.kind == kSizeMismatch)
    return Quoted(copies[0]) + ": " + Bytes(o.sizes[0]) + ", " + named + Bytes(o.sizes[1]);
  return o.error.failure != kNoFailure ? named + FileErrorText(o.error) : std::string();
}

static std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

// The length of the well-formed UTF-8 character at p, or 0 when the bytes
// there are not one. The text ends in a NUL, which is no continuation byte, so
// a character cut short by the end is refused.
static size_t Utf8Length(const unsigned char* p) {
  const unsigned lead = p[0];
  if (lead < 0x80) return 1;
  size_t n = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (n == 0) return 0;
  // The second byte's range rules out overlong forms, surrogates and code
  // points past U+10FFFF.
  const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < n; ++i)
    if ((p[i] & 0xC0) != 0x80) return 0;
  return n;
}

static int IsUtf8(const std::string& text) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  for (size_t n; p < end; p += n)
    if ((n = Utf8Length(p)) == 0) return 0;
  return 1;
}

// C0 and C1 controls, DEL, and a byte that starts no character (length 0).
static bool IsControl(const unsigned char* p, size_t length) {
  return length == 0 || (length == 1 && (*p < 0x20 || *p == 0x7F)) ||
         (length == 2 && p[0] == 0xC2 && p[1] < 0xA0);
}

// Each character of text through keep, each control's bytes as \ooo (\n, \t);
// *controls counts them.
static std::string Escaped(const std::string& text, std::string (*keep)(const char*, size_t),
                           int* controls) {
  std::string escaped;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = p + text.size();
  for (size_t n; p < end; p += n) {
    const size_t length = Utf8Length(p);
    n = length ? length : 1;
    if (!IsControl(p, length)) {
      escaped += keep(reinterpret_cast<const char*>(p), n);
      continue;
    }
    ++*controls;
    for (size_t i = 0; i < n; ++i) {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", p[i]);
      escaped += p[i] == '\n' ? "\\n" : p[i] == '\t' ? "\\t" : octal;
    }
  }
  return escaped;
}

static std::string AsIs(const char* p, size_t n) { return std::string(p, n); }

static std::string InQuotes(const char* p, size_t n) {
  return (*p == '\\' || *p == '\'' ? "\\" : "") + std::string(p, n);
}

// As GNU ls quotes for a terminal, so that a name stays on one line, sends no
// escape sequence to the terminal, and a shell reads back its bytes.
std::string QuotedName(const std::string& name) {
  int controls = 0;
  const std::string quoted = Escaped(name, InQuotes, &controls);
  return controls == 0 ? name : "$'" + quoted + "'";
}

std::string Printable(const std::string& text) {
  int controls = 0;
  return Escaped(text, AsIs, &controls);
}

static std::string Hex(const char* bytes) {
  std::string hex;
  char digits[3];
  for (const char* p = bytes; *p; ++p) {
    std::snprintf(digits, sizeof digits, "%02x", static_cast<unsigned char>(*p));
    hex += digits;
  }
  return hex;
}

static const char* const kCauseNames[] = {"zeros", "map", "marker", "truncated"};
static const char* const kCauseWords[] = {"zeros", "not rescued (mapfile)",
                                          "dead sector (dvdisaster)",
                                          "truncated (the header claims more)"};
static const char* const kKindNames[] = {"video", "audio", "other", "index",
                                         "junk",  "header", "unknown"};

// Seconds to the microsecond, so that JSON reads 4.8 rather than 4.800000000000001.
static double Seconds(double s) { return std::round(s * 1e6) / 1e6; }

static nlohmann::ordered_json HitJson(const AviHit& h) {
  nlohmann::ordered_json hit = {{"kind", kKindNames[h.kind]}};
  if (h.kind > kAviOther) return hit;
  const auto known = [&](uint32_t bit, nlohmann::ordered_json value) {
    return (h.known & bit) ? value : nlohmann::ordered_json(nullptr);
  };
  hit["stream"] = h.stream;
  hit["first"] = known(kAviKnowsFirst, h.first);
  hit["last"] = known(kAviKnowsLast, h.last);
  hit["start"] = known(kAviKnowsStart, Seconds(h.start));
  hit["end"] = known(kAviKnowsEnd, Seconds(h.end));
  hit["keyframes"] = known(kAviKnowsKeys, h.keyframes);
  if (h.kind == kAviVideo) hit["recovers"] = known(kAviRecovers, Seconds(h.recovers));
  return hit;
}

static std::string Clock(double seconds) {
  const uint64_t ms = static_cast<uint64_t>(std::llround(seconds * 1000));
  char text[32];
  std::snprintf(text, sizeof text, "%llu:%02u:%02u.%03u",
                static_cast<unsigned long long>(ms / 3600000), unsigned(ms / 60000 % 60),
                unsigned(ms / 1000 % 60), unsigned(ms % 1000));
  return text;
}

// "video 0 (MJPG)": a stream, with its codec where known.
static std::string StreamText(AviKind kind, uint32_t stream, const char* codec) {
  return std::string(kKindNames[kind]) + " " + std::to_string(stream) +
         (codec[0] ? " (" + std::string(codec) + ")" : "");
}

// "frame 7", "frames 120-122", "packets 3-9".
static std::string PacketsText(AviKind kind, uint64_t first, uint64_t last) {
  const std::string unit = kind == kAviVideo ? "frame" : "packet";
  return first == last ? unit + " " + std::to_string(first)
                       : unit + "s " + std::to_string(first) + "-" + std::to_string(last);
}

// "video 0 (MJPG): frames 120-122, 0:00:04.800-0:00:04.920, 1 keyframe, recovers at ...".
static std::string HitText(const AviHit& h) {
  if (h.kind == kAviUnknown) return "unknown: bytes where chunk headers were lost";
  if (h.kind > kAviOther) return kKindNames[h.kind];
  std::string text = StreamText(h.kind, h.stream, h.codec);
  const uint32_t both = kAviKnowsFirst | kAviKnowsLast, times = kAviKnowsStart | kAviKnowsEnd;
  if ((h.known & both) == both) text += ": " + PacketsText(h.kind, h.first, h.last);
  if ((h.known & times) == times) text += ", " + Clock(h.start) + "-" + Clock(h.end);
  if (h.kind != kAviVideo || !(h.known & kAviKnowsKeys)) return text;
  text += ", " + std::to_string(h.keyframes) + (h.keyframes == 1 ? " keyframe" : " keyframes");
  if (h.known & kAviRecovers) text += ", whole again at " + Clock(h.recovers);
  return text;
}

// "  video 0 (FMP4): dropped frames 5-12, 0:00:00.200-0:00:00.520", a line a run.
static std::string LossLines(const std::vector<AviLoss>& runs, const char* what) {
  std::string lines;
  for (const AviLoss& l : runs)
    lines += "  " + StreamText(l.kind, l.stream, l.codec) + ": " + what + " " +
             PacketsText(l.kind, l.first, l.last) +
             (l.timed ? ", " + Clock(l.start) + "-" + Clock(l.end) : std::string()) + "\n";
  return lines;
}

static nlohmann::ordered_json LossJson(const std::vector<AviLoss>& runs) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const AviLoss& l : runs)
    list.push_back({{"stream", l.stream}, {"first", l.first}, {"last", l.last},
                    {"start", l.timed ? nlohmann::ordered_json(Seconds(l.start)) : nullptr},
                    {"end", l.timed ? nlohmann::ordered_json(Seconds(l.end)) : nullptr}});
  return list;
}

// Bare, for the positions voted on.
static nlohmann::ordered_json RangesJson(const std::vector<ByteRange>& ranges) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const ByteRange& r : ranges) list.push_back({{"offset", r.offset}, {"length", r.length}});
  return list;
}

// With causes and, in an AVI file, hits; unsupplied ones say whether they are padding.
static nlohmann::ordered_json FindingsJson(const Findings& found, bool unsupplied) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const RangeFinding& f : found.ranges) {
    nlohmann::ordered_json range = {{"offset", f.range.offset}, {"length", f.range.length},
                                    {"cause", kCauseNames[f.range.cause]}};
    if (unsupplied) range["padding"] = bool(f.padding);
    if (found.isAvi) range["hits"] = nlohmann::ordered_json::array();
    for (const AviHit& hit : f.hits) range["hits"].push_back(HitJson(hit));
    list.push_back(range);
  }
  return list;
}

static uint64_t Total(const Findings& found) {
  uint64_t bytes = 0;
  for (const RangeFinding& f : found.ranges) bytes += f.range.length;
  return bytes;
}

static std::string OffsetText(uint64_t offset) {
  char text[kOffsetTextSize];
  FormatOffset(offset, text);
  return text;
}

// One indented "offset length" line per range, under a heading.
static std::string RangeLines(const char* heading, const std::vector<ByteRange>& ranges) {
  if (ranges.empty()) return std::string();
  std::string lines = std::string("  ") + heading + ":\n";
  for (const ByteRange& r : ranges)
    lines += "    " + OffsetText(r.offset) + " " + std::to_string(r.length) + "\n";
  return lines;
}

// One indented "offset length cause" line per range, under a heading if any,
// and one line deeper per hit in an AVI file.
static std::string FindingLines(const char* heading, const Findings& found) {
  if (found.ranges.empty()) return std::string();
  std::string lines = heading ? std::string("  ") + heading + ":\n" : std::string();
  const std::string indent = heading ? "    " : "  ";
  for (const RangeFinding& f : found.ranges) {
    lines += indent + OffsetText(f.range.offset) + " " + std::to_string(f.range.length) + " " +
             kCauseWords[f.range.cause] + (heading && f.padding ? ", padding" : "") + "\n";
    for (const AviHit& hit : f.hits) lines += indent + "  " + HitText(hit) + "\n";
  }
  return lines;
}

static const char* SummaryText(const Findings* found) {
  switch (found ? found->summary : kAviNothingToAdd) {
    case kAviOnlyIndex:
      return "only the index is damaged: the frames are intact";
    case kAviNoFrameHit:
      return "no frame is touched: only the index, padding and headers";
    case kAviOnlyPcmAudio:
      return "all damage lies in PCM audio (perhaps silence)";
    case kAviTooLarge:
      return "too many chunks to tell what the damage hits";
    default:
      return nullptr;
  }
}

static std::string MergeLines(const ItemReport& r) {
  std::string lines;
  for (size_t k = 0; r.merge->taken.size() > 1 && k < r.merge->taken.size(); ++k)
    lines += "  taken from " + Quoted(r.sources[k]) + ": " +
             Bytes(r.merge->taken[k]) + "\n";
  if (r.merge->voted > 0)
    lines += "  voted: " + std::to_string(r.merge->voted) +
             (r.merge->voted == 1 ? " position\n" : " positions\n") +
             RangeLines("voted ranges", r.merge->votedRanges);
  return lines + (r.unsupplied ? FindingLines("unsupplied", *r.unsupplied) : std::string());
}

// The outcome's message, else the note; UTF-8.
static std::string MessageOf(const ItemReport& r) {
  const std::string message =
      r.outcome ? OutcomeMessage(*r.outcome, UserLanguage()) : std::string();
  return message.empty() ? r.note : ProgramTextToUtf8(message.c_str());
}

// Keys in a fixed order; the text is plain ASCII (every other character as
// \uXXXX) so it reads the same in any code page, and bytes that are not UTF-8
// (a POSIX name can hold such) become U+FFFD, the name's bytes then following
// in hex as path_hex.
static std::string FormatJson(const ItemReport& r) {
  const OutcomeKind kind = r.outcome ? r.outcome->kind : kClean;
  const bool placed = kind == kDamaged || kind == kMismatch || kind == kDeclined;
  char offset[kOffsetTextSize];
  FormatOffset(placed ? r.outcome->offset : 0, offset);
  const std::string message = MessageOf(r);
  nlohmann::ordered_json line;
  const std::string path = PathToUtf8(r.path);
  line["path"] = path;
  if (!IsUtf8(path)) line["path_hex"] = Hex(r.path);
  line["result"] = r.result;
  line["offset"] = placed ? nlohmann::ordered_json(offset) : nullptr;
  line["message"] = message.empty() ? nullptr : nlohmann::ordered_json(message);
  line["reason"] = r.reason.empty() ? nullptr : nlohmann::ordered_json(r.reason);
  if (r.repair) line["output"] = r.output ? nlohmann::ordered_json(PathToUtf8(r.output)) : nullptr;
  if (r.damage) {
    line["runs"] = FindingsJson(*r.damage, false);
    line["damaged_bytes"] = Total(*r.damage);
  }
  if (r.merge) {
    line["taken"] = r.merge->taken;
    line["voted"] = r.merge->voted;
    line["voted_ranges"] = RangesJson(r.merge->votedRanges);
    if (r.unsupplied) line["unsupplied"] = FindingsJson(*r.unsupplied, true);
  }
  if (r.playable) {
    line["dropped"] = LossJson(r.playable->dropped);
    line["silenced"] = LossJson(r.playable->silenced);
    line["left"] = LossJson(r.playable->left);
  }
  const Findings* found = r.damage ? r.damage : r.unsupplied;
  if (found && found->isAvi)
    line["summary"] = SummaryText(found) ? nlohmann::ordered_json(SummaryText(found)) : nullptr;
  return line.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string FormatReport(const ItemReport& r, int json) {
  if (json) return FormatJson(r);
  std::string line = Quoted(r.path) + ": " + r.result;
  const std::string message = MessageOf(r);
  const size_t runs = r.damage ? r.damage->ranges.size() : 0;
  if (runs > 0)
    line += ": " + std::to_string(runs) + (runs == 1 ? " run, " : " runs, ") +
            std::to_string(Total(*r.damage)) + " damaged bytes";
  else if (!message.empty())
    line += ": " + OneLine(message);
  if (!r.reason.empty()) line += " (" + r.reason + ")";
  if (r.output) line += " -> " + Quoted(r.output);
  line += "\n";
  if (r.damage) line += FindingLines(nullptr, *r.damage);
  if (r.merge) line += MergeLines(r);
  if (r.playable)
    line += LossLines(r.playable->dropped, "dropped") +
            LossLines(r.playable->silenced, "silenced") + LossLines(r.playable->left, "left");
  const char* summary = SummaryText(r.damage ? r.damage : r.unsupplied);
  if (summary) line += std::string("  ") + summary + "\n";
  return line;
}

std::string BriefReport(const char* path, const char* result, int repair, const Outcome* outcome,
                        const std::string& note, int json) {
  ItemReport report = {path, result, repair};
  report.outcome = outcome;
  report.note = note;
  return FormatReport(report, json);
}

int ChangesNothing(const RepairResult& m) {
  return m.outcome.kind == kMerged && m.playable.edits.empty() && !m.playable.refusal &&
         ChangesNothing(m.merge, m.unsupplied.lacking);
}

int Lacking(const RepairResult& m, int playable) {
  return playable ? !m.playable.whole : m.unsupplied.lacking > 0;
}

ItemReport RepairReport(const RepairResult& m, const char* const* copies, const char* output,
                        int placed, int playable, int dryRun) {
  static const Outcome repaired = MakeOutcome(kRepaired);
  const int lacking = Lacking(m, playable);
  const int merged = m.outcome.kind == kMerged;
  ItemReport report = {copies[0], m.playable.refusal ? "error" : RepairWord(m.outcome.kind,
                                  ChangesNothing(m), lacking, dryRun), 1};
  report.outcome = !merged ? &m.outcome : placed && !lacking ? &repaired : nullptr;
  report.reason = m.playable.refusal ? m.playable.refusal : ReasonFor(m.outcome, copies, output);
  if (playable && merged && !m.playable.refusal) report.playable = &m.playable;
  if (placed) report.output = output;
  // A clean copy has nothing more to tell: no byte taken, nothing lacking.
  if ((merged && !ChangesNothing(m)) || m.outcome.kind == kMismatch ||
      m.outcome.kind == kDeclined) {
    report.merge = &m.merge;
    report.unsupplied = &m.unsupplied;
    report.sources = copies + 1;
  }
  return report;
}
