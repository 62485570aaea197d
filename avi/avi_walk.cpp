#include "avi/avi_walk.h"

#include <algorithm>
#include <cstring>

#include "avi/avi_ids.h"

enum WalkState { kAtStart, kInHeaders, kResyncing, kNotAvi };
enum WalkStart { kStartUnknown, kStartRiffAvi, kStartWiped };

static const uint32_t kMaxDepth = 8;  // RIFF, movi, rec and more; deeper lists are passed whole
static const uint64_t kHeaderBytesKept = 64;  // of strh and strf: all the map reads
// A file whose first 12 bytes are zeros may be an AVI file whose first sector
// is gone. It counts as one when its structure shows within this many bytes;
// elsewise it is passed over unread from there, as a file that is no AVI.
static const uint64_t kWipedStartSearch = 4 << 20;

void BeginAviWalk(AviWalk* w) { *w = AviWalk(); }

bool AviWalkSoFar(const AviWalk& w) {
  return w.start == kStartRiffAvi || (w.start == kStartWiped && w.looksAvi);
}

static uint64_t ListEnd(const AviWalk* w) {
  return w->depth > 0 ? w->lists[w->depth - 1].end : ~0ull;
}

static uint32_t ListType(const AviWalk* w) {
  return w->depth > 0 ? w->lists[w->depth - 1].type : 0;
}

static bool IsFourccChar(uint32_t c) { return c >= 0x20 && c < 0x7F; }

static bool IsFourcc(uint32_t id) {
  return IsFourccChar(id & 0xFF) && IsFourccChar(id >> 8 & 0xFF) &&
         IsFourccChar(id >> 16 & 0xFF) && IsFourccChar(id >> 24);
}

static bool IsIdStart(uint8_t c) {
  return IsDigit(c) || (c >= 'A' && c <= 'Z') || IsLower(c);
}

// Whether h[0..have) starts a header that fits in the room its list leaves.
// Loosely: any printable four characters. Strictly, when resyncing through
// bytes that may be payload: only the ids an AVI file is made of.
static bool Readable(const AviWalk* w, const uint8_t* h, uint64_t have, uint64_t room,
                     bool strict) {
  if (have < 8 || room < 8) return false;
  const uint32_t id = Le32(h), size = Le32(h + 4);
  const bool list = id == Fourcc("RIFF") || id == Fourcc("LIST");
  if (size > room - 8 || !IsIdStart(h[0]) || (list && (size < 4 || have < 12))) return false;
  if (!strict) return IsFourcc(id) && (!list || IsFourcc(Le32(h + 8)));
  if (list) {
    const uint32_t type = Le32(h + 8);
    if (id == Fourcc("RIFF")) return type == Fourcc("AVIX") && w->depth == 0;
    return type == Fourcc("movi") || type == Fourcc("rec ") || type == Fourcc("hdrl") ||
           type == Fourcc("strl") || type == Fourcc("INFO") || type == Fourcc("odml");
  }
  const uint32_t stream = StreamOfData(id);
  if (stream != kNoStream) return w->strls == 0 || stream < w->strls;
  return IsIndexId(id) || id == Fourcc("JUNK") || id == Fourcc("strh") || id == Fourcc("strf");
}

// Bytes the walk cannot read as chunks, starting at w->pos. A strl list may
// hide among them when they lie in the hdrl list.
static void AddGap(AviWalk* w, uint64_t length) {
  const uint32_t type = ListType(w);
  const AviWalkList* in = w->depth > 0 ? &w->lists[w->depth - 1] : nullptr;
  const int may = !in || type == Fourcc("movi") || type == Fourcc("rec ") ||
                  (in->isRiff && !in->sawMovi);
  if (type == Fourcc("hdrl")) w->strlsUncertain = 1;
  w->inRow = 0;
  AviGap* last = w->gaps.empty() ? nullptr : &w->gaps.back();
  if (last && last->offset + last->length == w->pos && last->mayHoldStreams == may)
    last->length += length;
  else
    w->gaps.push_back({w->pos, length, may});
}

// Resyncing: how many bytes of h[0..have) to pass before the next plausible
// header, searching no further than the room of the current list. Zeros (the
// damage itself) go eight at a time.
static uint64_t Resync(const AviWalk* w, const uint8_t* h, uint64_t have, uint64_t room) {
  uint64_t reach = room;  // the search for a wiped start's structure ends where it gives up
  if (w->start == kStartWiped && !w->looksAvi) reach = std::min(room, kWipedStartSearch - w->pos);
  if (have < 12) return std::min(have, reach);
  const uint64_t last = std::min(have - 11, reach);
  uint64_t k = 0;
  while (k < last) {
    uint64_t word;
    if (last - k >= 8 && (std::memcpy(&word, h + k, 8), word == 0)) {
      k += 8;
    } else if (IsIdStart(h[k]) && Readable(w, h + k, have - k, room - k, true)) {
      return k;
    } else {
      ++k;
    }
  }
  return k;
}

// Takes the header at w->pos, which Readable passed.
static uint64_t Accept(AviWalk* w, const uint8_t* h, uint64_t room) {
  const uint32_t id = Le32(h), size = Le32(h + 4);
  AviWalkList* in = w->depth > 0 ? &w->lists[w->depth - 1] : nullptr;
  if ((id == Fourcc("RIFF") || id == Fourcc("LIST")) && w->depth < kMaxDepth) {
    const uint32_t type = Le32(h + 8);
    AviWalkList list = {w->pos + 8 + size, type, kNoStream, id == Fourcc("RIFF"), 0};
    w->chunks.push_back({w->pos, id, size});
    if (list.isRiff && w->firstRiffEnd == 0) w->firstRiffEnd = w->pos ? w->pos : list.end;
    if (type == Fourcc("movi") || type == Fourcc("hdrl")) w->looksAvi = 1;
    if (type == Fourcc("movi")) {
      if (w->moviFourcc == 0) w->moviFourcc = w->pos + 8;
      for (uint32_t d = w->depth; d > 0; --d) w->lists[d - 1].sawMovi = 1;
    }
    if (type == Fourcc("strl")) {
      if (!in || in->type != Fourcc("hdrl")) w->strlsUncertain = 1;  // its hdrl header is lost
      if (!w->strlsUncertain && w->strls < kMaxStreams) list.stream = w->strls++;
    }
    w->lists[w->depth++] = list;
    return 12;
  }
  w->payload = std::min<uint64_t>(size + (size & 1), room - 8);
  w->chunks.push_back({w->pos, id, size});
  w->keep = 0;
  if (StreamOfData(id) != kNoStream && ++w->inRow >= 3) w->looksAvi = 1;
  const uint32_t stream = in && in->type == Fourcc("strl") ? in->stream : kNoStream;
  const bool streamHeader = id == Fourcc("strh") || id == Fourcc("strf");
  if ((IsIndexId(id) && id != Fourcc("indx")) ||
      (stream != kNoStream && (streamHeader || id == Fourcc("indx")))) {
    w->keep = streamHeader ? std::min<uint64_t>(size, kHeaderBytesKept) : size;
    // The index of what came before it is at most 2 bytes for each byte walked.
    w->kept.reserve(w->kept.size() + std::min(w->keep, 2 * w->pos));
    w->keptChunks.push_back({uint32_t(w->chunks.size() - 1), stream, w->kept.size(), 0});
  }
  return 8;
}

// Handles the bytes at w->pos, h[0..have), with have >= 12 until the file's
// end. Returns how many it took (at least one): a header, bytes too few for one
// before their list ends, or bytes a resync passed.
static uint64_t Step(AviWalk* w, const uint8_t* h, uint64_t have) {
  while (w->depth > 0 && w->lists[w->depth - 1].end <= w->pos) --w->depth;
  const uint64_t room = ListEnd(w) - w->pos;
  if (w->state == kAtStart) {
    const uint64_t zeros = std::min<uint64_t>(have, 12);
    if (have >= 12 && Le32(h) == Fourcc("RIFF") && Le32(h + 8) == Fourcc("AVI ")) {
      w->start = kStartRiffAvi;
      w->state = kInHeaders;
    } else if (std::count(h, h + zeros, 0) == int64_t(zeros)) {
      w->start = kStartWiped;  // an AVI file, perhaps, whose first sector is gone
      w->state = kResyncing;
    } else {
      w->state = kNotAvi;
      return have;
    }
  }
  if (w->start == kStartWiped && !w->looksAvi && w->pos >= kWipedStartSearch) {
    w->state = kNotAvi;
    return have;
  }
  if (room < 8) {  // too few for a header before the list ends
    if (w->state == kResyncing) AddGap(w, std::min(room, have));
    return std::min(room, have);
  }
  if (w->state == kInHeaders && !Readable(w, h, have, room, false)) w->state = kResyncing;
  if (w->state == kResyncing) {
    const uint64_t passed = Resync(w, h, have, room);
    if (passed > 0) {
      AddGap(w, passed);
      return passed;
    }
    w->state = kInHeaders;
  }
  return Accept(w, h, room);
}

// The next bytes of a payload, or a header's step; w->pos moves past them.
static uint64_t Handle(AviWalk* w, const uint8_t* p, uint64_t n) {
  if (w->payload == 0) {
    const uint64_t used = Step(w, p, n);
    w->pos += used;
    return used;
  }
  const uint64_t taken = std::min(n, w->payload), kept = std::min(taken, w->keep);
  if (kept > 0) {
    w->kept.insert(w->kept.end(), p, p + kept);
    w->keptChunks.back().length += kept;
    w->keep -= kept;
  }
  w->payload -= taken;
  w->pos += taken;
  return taken;
}

// Bytes held from earlier pieces, completed from this one: one step over them,
// after which what it did not take of this piece is read from the piece again.
static uint32_t FromHold(AviWalk* w, const uint8_t* p, uint32_t n) {
  const uint32_t before = w->held, added = std::min<uint32_t>(12 - before, n);
  std::memcpy(w->hold + before, p, added);
  w->held += added;
  if (w->held < 12) return added;
  const uint64_t used = Handle(w, w->hold, 12);
  if (used >= before) {
    w->held = 0;
    return uint32_t(used - before);
  }
  std::memmove(w->hold, w->hold + used, before - used);
  w->held = uint32_t(before - used);
  return 0;
}

void WalkAviBytes(AviWalk* w, const uint8_t* bytes, uint32_t n) {
  uint32_t i = 0;
  while (i < n) {
    if (w->state == kNotAvi) {
      w->pos += n - i;
      return;
    }
    if (w->held > 0) {
      i += FromHold(w, bytes + i, n - i);
    } else if (w->payload == 0 && n - i < 12) {
      std::memcpy(w->hold, bytes + i, n - i);
      w->held = n - i;
      return;
    } else {
      i += uint32_t(Handle(w, bytes + i, n - i));
    }
  }
}

void EndAviWalk(AviWalk* w, AviMap* map) {
  while (w->held > 0 && w->state != kNotAvi) {  // a piece's end left them held
    const uint64_t used = Handle(w, w->hold, w->held);
    std::memmove(w->hold, w->hold + used, w->held - used);
    w->held -= uint32_t(used);
  }
  w->pos += w->held;
  w->held = 0;
  *map = AviMap();
  map->size = w->pos;
  map->isAvi = AviWalkSoFar(*w);
  if (!map->isAvi) return;
  map->chunks.swap(w->chunks);
  map->gaps.swap(w->gaps);
  BuildAviMap(*w, map);
}

static void SeeAvi(void* walk, const uint8_t* bytes, uint32_t n) {
  WalkAviBytes(static_cast<AviWalk*>(walk), bytes, n);
}

static int IsJunk(void* walk, uint64_t offset, uint64_t length) {
  return WalkInsideJunk(*static_cast<const AviWalk*>(walk), {offset, length});
}

ByteWatch AviWatch(AviWalk* walk) {
  BeginAviWalk(walk);
  return {SeeAvi, IsJunk, walk};
}

const AviMap* AviMapFor(AviWalk* walk, const std::vector<ByteRange>& ranges, AviMap* map) {
  if (ranges.empty() || !AviWalkSoFar(*walk)) return nullptr;
  EndAviWalk(walk, map);
  return map->isAvi ? map : nullptr;
}
