#include "avi/avi_walk.h"

#include <algorithm>
#include <cstring>

#include "avi/avi_ids.h"

enum WalkState { kAtStart, kInHeaders, kResyncing, kNotAvi };
enum WalkStart { kStartUnknown, kStartRiffAvi, kStartWiped };
enum Keep { kKeepNothing, kKeepHeader, kKeepFormat };

static const uint32_t kMaxDepth = 8;  // RIFF, movi, rec and more; deeper lists are passed whole
// A file whose first 12 bytes are zeros may be an AVI file whose first sector
// is gone. It counts as one when its structure shows within this many bytes;
// elsewise it is passed over unread from there, as a file that is no AVI.
static const uint64_t kWipedStartSearch = 4 << 20;

void BeginAviWalk(AviWalk* w) { *w = AviWalk(); }

bool AviWalkSoFar(const AviWalk& w) {
  return w.start == kStartRiffAvi || (w.start == kStartWiped && w.looksAvi);
}

uint64_t AviChunkEnd(const AviChunk& c) {
  const bool list = c.id == Fourcc("LIST") || c.id == Fourcc("RIFF");
  return c.offset + (list ? 12 : 8 + uint64_t(c.size) + (c.size & 1));
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

// One more record, while the walk may take it.
static bool MayRecord(AviWalk* w) {
  if (w->chunks.size() + w->gaps.size() + w->entries.size() >= kAviMaxRecords) w->overflow = 1;
  return !w->overflow;
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

// Where stream chunks can stand: in a movi or rec list, outside every list, or
// in a RIFF part before its movi list.
static int MayHoldStreams(const AviWalk* w) {
  const uint32_t type = ListType(w);
  const AviWalkList* in = w->depth > 0 ? &w->lists[w->depth - 1] : nullptr;
  return !in || type == Fourcc("movi") || type == Fourcc("rec ") || (in->isRiff && !in->sawMovi);
}

// Bytes the walk cannot read as chunks, from offset on. A strl list may hide
// among them when they lie in the hdrl list.
static void AddGap(AviWalk* w, uint64_t offset, uint64_t length, int may) {
  AviGap* last = w->gaps.empty() ? nullptr : &w->gaps.back();
  if (last && last->offset + last->length == offset && last->mayHoldStreams == may)
    last->length += length;
  else if (MayRecord(w))
    w->gaps.push_back(AviGap{offset, length, may});
}

static void AddGapHere(AviWalk* w, uint64_t length) {
  if (ListType(w) == Fourcc("hdrl")) w->strlsUncertain = 1;
  w->inRow = 0;
  AddGap(w, w->pos, length, MayHoldStreams(w));
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

// An entry of the index being read; consecutive lost ones leave one mark.
static void AddEntry(AviWalk* w, uint64_t offset, uint32_t id, uint32_t size, int key) {
  const uint64_t at = w->index.entryAt;
  const uint32_t index = uint32_t(w->indexes.size() - 1);
  const AviEntry* last = w->entries.empty() ? nullptr : &w->entries.back();
  if (id == 0 && last && last->id == 0 && last->index == index) return;
  if (!MayRecord(w)) return;
  AviEntry entry;
  entry.offset = id ? offset : 0;
  entry.at = at;
  entry.id = id, entry.size = size, entry.index = index, entry.key = key;
  w->entries.push_back(entry);
}

// idx1's entry: id, flags, offset, size. A "rec " list's entry places no packet.
static void ReadIdx1Entry(AviWalk* w, const uint8_t* e) {
  const uint32_t id = Le32(e);
  if (id == Fourcc("rec ") || id == Fourcc("LIST")) return;
  const bool data = StreamOfData(id) != kNoStream;
  AddEntry(w, Le32(e + 8), data ? id : 0, Le32(e + 12), Le32(e + 4) & 0x10);
}

// ix##'s header: entry size, type (1: chunks), entries in use, their chunks'
// id, and the base their offsets count from. Any other index is passed over.
static void ReadStandardHeader(AviWalk* w, const uint8_t* h) {
  AviIndexRead& r = w->index;
  r.headerRead = 1;
  r.stride = Le16(h) * 4;
  r.left = Le32(h + 4);
  r.id = Le32(h + 8);
  r.base = Le64(h + 12);
  r.active = h[3] == 1 && r.stride >= 8 && StreamOfData(r.id) != kNoStream;
  w->indexes.back().stream = StreamOfData(r.id);
}

// ix##'s entry: the offset of a chunk's data from the base, and its size,
// whose bit 31 marks a delta frame. Wiped to zeros it is lost.
static void ReadStandardEntry(AviWalk* w, const uint8_t* e) {
  AviIndexRead& r = w->index;
  const uint64_t data = r.base + Le32(e);
  const uint32_t size = Le32(e + 4);
  const bool lost = (Le32(e) == 0 && size == 0) || data < r.base || data < 8;
  AddEntry(w, data - 8, lost ? 0 : r.id, size & 0x7FFFFFFF, !(size >> 31));
  if (--r.left == 0) r.active = 0;
}

// The payload of an index chunk from file offset at, entry by entry; an entry
// may straddle pieces.
static void ReadIndexBytes(AviWalk* w, const uint8_t* p, uint64_t n, uint64_t at) {
  AviIndexRead& r = w->index;
  const bool idx1 = w->indexes.back().isIdx1;
  while (n > 0 && r.active) {
    if (r.have == 0) r.entryAt = at;
    const uint32_t whole = !r.headerRead ? 24 : r.stride, used = std::min<uint32_t>(whole, 24);
    const uint64_t copied = r.have < used ? std::min<uint64_t>(n, used - r.have) : 0;
    std::memcpy(r.bytes + r.have, p, copied);
    const uint64_t skipped = std::min<uint64_t>(n - copied, whole - r.have - copied);
    r.have += uint32_t(copied + skipped);
    p += copied + skipped, n -= copied + skipped, at += copied + skipped;
    if (r.have < whole) continue;
    r.have = 0;
    if (!r.headerRead)
      ReadStandardHeader(w, r.bytes);
    else if (idx1)
      ReadIdx1Entry(w, r.bytes);
    else
      ReadStandardEntry(w, r.bytes);
  }
}

// What a data chunk's first bytes show: its frame's kind, and the stream's
// video object layer or audio frame header where none was seen yet.
static void Sniff(AviWalk* w) {
  w->sniffing = 0;
  const AviChunk& c = w->chunks.back();
  const uint32_t stream = StreamOfData(c.id);
  if (stream >= w->codecBytes.size()) w->codecBytes.resize(stream + 1, AviCodecBytes());
  AviCodecBytes& codec = w->codecBytes[stream];
  const uint8_t* vol = nullptr;
  if ((c.id >> 16) != (Fourcc("..wb") >> 16)) {
    w->frameKinds.back() = SniffFrame(w->sniff, w->sniffed, &vol);
  } else if (!codec.hasAudio && w->sniffed >= 4 && MpegAudioFrameSize(w->sniff)) {
    std::memcpy(codec.audio, w->sniff, 4);
    codec.hasAudio = 1;
  }
  if (!vol || codec.volLength) return;
  codec.volLength = std::min<uint32_t>(sizeof codec.vol, uint32_t(w->sniff + w->sniffed - vol));
  std::memcpy(codec.vol, vol, codec.volLength);
}

// The payload of the chunk being read, without its pad byte: its stream
// header's first bytes, its index entries, or a data chunk's first bytes.
static void ReadPayload(AviWalk* w, const uint8_t* p, uint64_t n) {
  if (w->index.active) ReadIndexBytes(w, p, n, w->pos);
  if (w->sniffing) {
    const uint64_t copied = std::min<uint64_t>(n, kAviSniffBytes - w->sniffed);
    std::memcpy(w->sniff + w->sniffed, p, copied);
    w->sniffed += uint32_t(copied);
    if (w->sniffed == kAviSniffBytes) Sniff(w);
  }
  if (w->keepWhat == kKeepNothing || w->keepAt >= kAviHeaderBytes) return;
  AviStreamBytes& s = w->streamBytes[w->keepStream];
  const uint64_t copied = std::min<uint64_t>(n, kAviHeaderBytes - w->keepAt);
  uint8_t* to = w->keepWhat == kKeepHeader ? s.header : s.format;
  std::memcpy(to + w->keepAt, p, copied);
  w->keepAt += copied;
  (w->keepWhat == kKeepHeader ? s.headerLength : s.formatLength) = uint32_t(w->keepAt);
}

// An index is complete when its chunk ended with its last entry whole, and an
// ix## with as many entries as its header counts.
static void EndPayload(AviWalk* w) {
  if (w->index.open) {
    const AviIndexRead& r = w->index;
    w->indexes.back().complete =
        w->readable == 0 && r.have == 0 && (w->indexes.back().isIdx1 || r.left == 0);
  }
  if (w->sniffing) Sniff(w);
  w->index = AviIndexRead();
  w->keepWhat = kKeepNothing;
}

// The payload that follows a chunk's header: what of it the walk reads.
static void BeginPayload(AviWalk* w, uint32_t id, uint32_t size) {
  const AviWalkList* in = w->depth > 0 ? &w->lists[w->depth - 1] : nullptr;
  const uint32_t stream = in && in->type == Fourcc("strl") ? in->stream : kNoStream;
  w->readable = size;
  if (stream != kNoStream && (id == Fourcc("strh") || id == Fourcc("strf"))) {
    AviStreamBytes& s = w->streamBytes[stream];
    int& saw = id == Fourcc("strh") ? s.sawHeader : s.sawFormat;
    if (!saw) w->keepWhat = id == Fourcc("strh") ? kKeepHeader : kKeepFormat;
    saw = 1;
    w->keepStream = stream;
    w->keepAt = 0;
  }
  const bool recorded = !w->chunks.empty() && w->chunks.back().offset == w->pos;
  w->sniffing = recorded && StreamOfData(id) != kNoStream;
  w->sniffed = 0;
  if ((id == Fourcc("idx1") || StreamOfIndex(id) != kNoStream) && MayRecord(w)) {
    AviIndex index;
    index.offset = w->pos;
    index.isIdx1 = id == Fourcc("idx1");
    w->indexes.push_back(index);
    w->index.open = w->index.active = 1;
    w->index.headerRead = id == Fourcc("idx1");
    w->index.stride = 16;
  }
  if (w->payload == 0) EndPayload(w);
}

// A list the walk goes into, at w->pos with the header h.
static void EnterList(AviWalk* w, uint32_t id, uint32_t size, uint32_t type) {
  AviWalkList* in = w->depth > 0 ? &w->lists[w->depth - 1] : nullptr;
  AviWalkList list;
  list.end = w->pos + 8 + size;
  list.type = type;
  list.isRiff = id == Fourcc("RIFF");
  if (list.isRiff) {
    if (w->firstRiffEnd == 0) w->firstRiffEnd = w->pos ? w->pos : list.end;
    w->claimedEnd = std::max(w->claimedEnd, list.end);
  }
  if (type == Fourcc("movi") || type == Fourcc("hdrl")) w->looksAvi = 1;
  if (type == Fourcc("movi")) {
    if (w->moviFourcc == 0) w->moviFourcc = w->pos + 8;
    for (uint32_t d = w->depth; d > 0; --d) w->lists[d - 1].sawMovi = 1;
  }
  if (type == Fourcc("strl")) {
    if (!in || in->type != Fourcc("hdrl")) w->strlsUncertain = 1;  // its hdrl header is lost
    if (!w->strlsUncertain && w->strls < kMaxStreams) {
      list.stream = w->strls++;
      w->streamBytes.resize(w->strls);
    }
  }
  w->lists[w->depth++] = list;
}

// Takes the header at w->pos, which Readable passed.
static uint64_t Accept(AviWalk* w, const uint8_t* h, uint64_t room) {
  const uint32_t id = Le32(h), size = Le32(h + 4);
  if (MayRecord(w)) {
    w->chunks.push_back({w->pos, id, size});
    w->frameKinds.push_back(0);
  }
  if ((id == Fourcc("RIFF") || id == Fourcc("LIST")) && w->depth < kMaxDepth) {
    EnterList(w, id, size, Le32(h + 8));
    return 12;
  }
  w->payload = std::min<uint64_t>(uint64_t(size) + (size & 1), room - 8);
  if (StreamOfData(id) != kNoStream && ++w->inRow >= 3) w->looksAvi = 1;
  BeginPayload(w, id, size);
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
    if (w->state == kResyncing) AddGapHere(w, std::min(room, have));
    return std::min(room, have);
  }
  if (w->state == kInHeaders && !Readable(w, h, have, room, false)) w->state = kResyncing;
  if (w->state == kResyncing) {
    const uint64_t passed = Resync(w, h, have, room);
    if (passed > 0) {
      AddGapHere(w, passed);
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
  const uint64_t taken = std::min(n, w->payload), own = std::min(taken, w->readable);
  ReadPayload(w, p, own);
  w->readable -= own;
  w->payload -= taken;
  w->pos += taken;
  if (w->payload == 0) EndPayload(w);
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

ByteRange AviMissingTail(const AviWalk& w) {
  const uint64_t size = w.pos + w.held;
  if (!AviWalkSoFar(w) || w.claimedEnd <= size) return {size, 0};
  return {size, w.claimedEnd - size, kCauseTruncated};
}

// The tail the file lacks, as gaps: in each list still open, where stream
// chunks could stand as that list has it.
static void AddMissingTail(AviWalk* w) {
  const ByteRange tail = AviMissingTail(*w);
  if (tail.length == 0) return;
  while (w->depth > 0 && w->lists[w->depth - 1].end <= tail.offset) --w->depth;
  for (uint64_t from = tail.offset; from < tail.end(); --w->depth) {
    const uint64_t to = w->depth > 0 ? std::min(w->lists[w->depth - 1].end, tail.end())
                                     : tail.end();
    AddGap(w, from, to - from, MayHoldStreams(w));
    from = to;
    if (w->depth == 0) break;
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
  map->claimedEnd = std::max(w->pos, w->claimedEnd);
  map->isAvi = AviWalkSoFar(*w);
  if (!map->isAvi) return;
  AddMissingTail(w);
  map->complete = !w->overflow;
  if (!map->complete) return;
  map->chunks.swap(w->chunks);
  map->frameKinds.swap(w->frameKinds);
  map->gaps.swap(w->gaps);
  map->indexes = w->indexes;
  map->codecBytes.swap(w->codecBytes);
  map->codecBytes.resize(std::max<size_t>(map->codecBytes.size(), kMaxStreams), AviCodecBytes());
  map->firstRiffEnd = w->firstRiffEnd;
  map->moviFourcc = map->idx1Base = w->moviFourcc;
  BuildAviMap(w, map);
}
