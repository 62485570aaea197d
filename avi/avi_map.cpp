#include "avi/avi_walk.h"

#include <algorithm>
#include <cstring>

#include "avi/avi_ids.h"

// The chunk map comes from the best source at hand: the OpenDML indexes, else
// idx1 (for the first RIFF part; later parts as the walk read them), else the
// walk alone. Each index entry is held against the chunk header the walk read
// where it points: an index whose entries point elsewhere, overlap, or leave a
// chunk the walk read unlisted is damaged, and the next source is tried. An
// entry pointing into bytes the walk lost proves nothing either way.

// The first chunk past offset. Index entries come mostly in file order, so the
// search looks at the few chunks after the last answer first.
static size_t ChunkAfter(const AviChunks& c, uint64_t offset, size_t* hint) {
  size_t k = *hint <= c.size() && (*hint == 0 || c[*hint - 1].offset <= offset) ? *hint : 0;
  for (const size_t near = std::min(c.size(), k + 8); k < near && c[k].offset <= offset;) ++k;
  if (k < c.size() && c[k].offset <= offset)
    k = std::upper_bound(c.begin() + k, c.end(), offset,
                         [](uint64_t o, const AviChunk& x) { return o < x.offset; }) - c.begin();
  return *hint = k;
}

uint64_t AviChunkEnd(const AviChunk& c) {
  const bool list = c.id == Fourcc("LIST") || c.id == Fourcc("RIFF");
  return c.offset + (list ? 12 : 8 + uint64_t(c.size) + (c.size & 1));
}

static bool JunkHolds(const AviChunks& chunks, ByteRange range) {
  size_t hint = 0;
  const size_t k = ChunkAfter(chunks, range.offset, &hint);
  if (k == 0) return false;
  const AviChunk& c = chunks[k - 1];
  const uint64_t end = AviChunkEnd(c);
  return c.id == Fourcc("JUNK") && range.offset >= c.offset + 8 && range.offset < end &&
         range.length <= end - range.offset;
}

bool InsideJunk(const AviMap& map, ByteRange range) { return JunkHolds(map.chunks, range); }

// A wiped start: its chunks count once the file shows it is an AVI file.
bool WalkInsideJunk(const AviWalk& w, ByteRange range) {
  return AviWalkSoFar(w) && JunkHolds(w.chunks, range);
}

enum EntryCheck { kEntryFits, kEntryUnread, kEntryWrong };

// An index entry for a chunk at offset with id and size (any size for a list).
static EntryCheck CheckEntry(const AviMap& map, uint64_t offset, uint32_t id, uint32_t size,
                             size_t* hint) {
  const AviChunks& c = map.chunks;
  if (offset >= map.size || map.size - offset < 8) return kEntryWrong;
  const size_t k = ChunkAfter(c, offset, hint);
  if (k > 0 && c[k - 1].offset == offset)
    return c[k - 1].id == id && (id == Fourcc("LIST") || c[k - 1].size == size) ? kEntryFits
                                                                                 : kEntryWrong;
  if (k > 0 && offset < AviChunkEnd(c[k - 1])) return kEntryWrong;  // inside one read
  if (k < c.size() && c[k].offset - offset < 8ull + size) return kEntryWrong;  // into one
  const auto gap = std::upper_bound(map.gaps.begin(), map.gaps.end(), offset,
                                    [](uint64_t o, const AviGap& g) { return o < g.offset; });
  if (gap == map.gaps.begin()) return kEntryWrong;
  const AviGap& g = gap[-1];
  return offset - g.offset < g.length && g.mayHoldStreams ? kEntryUnread : kEntryWrong;
}

// The chunk map under construction: the packets so far and each stream's count.
struct Build {
  std::vector<AviPacket> packets;
  std::vector<uint64_t> count, bytes;
  std::vector<size_t> hint;  // where the stream's last entry stood among the chunks
  uint64_t fits;             // entries that match a chunk the walk read
  uint64_t dataChunks;       // that the walk read
};

static bool AddEntry(const AviMap& map, Build* b, uint32_t stream, uint64_t offset, uint32_t id,
                     uint32_t size, bool key) {
  if (StreamOfData(id) != stream) return false;
  const EntryCheck check = CheckEntry(map, offset, id, size, &b->hint[stream]);
  if (check == kEntryWrong) return false;
  b->fits += check == kEntryFits;
  const uint16_t flags = kAviKeyKnown | kAviNumberKnown | (key ? kAviKey : 0);
  b->packets.push_back({offset, b->count[stream]++, b->bytes[stream], 0, size, uint16_t(stream),
                        flags});
  b->bytes[stream] += size;
  return true;
}

// The bytes the walk kept of the chunk at offset, when it kept them all.
static const uint8_t* KeptAt(const AviWalk& w, const AviMap& map, uint64_t offset,
                             uint32_t* id, uint32_t* size) {
  size_t k = 0;
  if (ChunkAfter(map.chunks, offset, &k) == 0 || map.chunks[k - 1].offset != offset) return nullptr;
  const auto kept = std::lower_bound(
      w.keptChunks.begin(), w.keptChunks.end(), uint32_t(k - 1),
      [](const AviKept& a, uint32_t chunk) { return a.chunk < chunk; });
  if (kept == w.keptChunks.end() || kept->chunk != k - 1) return nullptr;
  *id = map.chunks[k - 1].id, *size = map.chunks[k - 1].size;
  return kept->length == *size ? w.kept.data() + kept->at : nullptr;
}

// A standard index (ix##): entries of data offsets from qwBaseOffset, and
// sizes whose bit 31 marks a delta frame.
static bool FromStandardIndex(const AviMap& map, Build* b, uint32_t stream, const uint8_t* p,
                              uint32_t size) {
  if (size < 24) return false;
  const uint32_t stride = Le16(p) * 4, used = Le32(p + 4), id = Le32(p + 8);
  const uint64_t base = Le64(p + 12);
  if (p[3] != 1 || stride < 8 || used > (size - 24) / stride) return false;
  for (uint32_t e = 0; e < used; ++e) {
    const uint8_t* entry = p + 24 + uint64_t(e) * stride;
    const uint64_t data = base + Le32(entry);
    const uint32_t length = Le32(entry + 4);
    if (data < base || data < 8 ||
        !AddEntry(map, b, stream, data - 8, id, length & 0x7FFFFFFF, !(length >> 31)))
      return false;
  }
  return true;
}

// Every stream's super index (indx) and the standard indexes it lists.
static bool FromOpenDml(const AviWalk& w, const AviMap& map, Build* b) {
  std::vector<const AviKept*> super(map.streams.size(), nullptr);
  for (const AviKept& k : w.keptChunks)
    if (map.chunks[k.chunk].id == Fourcc("indx") && k.stream < super.size()) super[k.stream] = &k;
  for (uint32_t s = 0; s < super.size(); ++s) {
    if (!super[s] || super[s]->length < 24) return false;
    const uint8_t* p = w.kept.data() + super[s]->at;
    const uint32_t used = Le32(p + 4);
    if (Le16(p) != 4 || p[3] != 0 || used > (super[s]->length - 24) / 16) return false;
    for (uint32_t e = 0; e < used; ++e) {
      const uint8_t* entry = p + 24 + 16 * e;
      uint32_t id = 0, size = 0;
      const uint8_t* ix = KeptAt(w, map, Le64(entry), &id, &size);
      const uint32_t declared = Le32(entry + 8);
      if (!ix || StreamOfIndex(id) != s ||
          (declared != size && declared != size + 8ull) ||
          !FromStandardIndex(map, b, s, ix, size))
        return false;
    }
  }
  return !super.empty();
}

// idx1: offsets from the movi list's type or from the file's start, as the
// first entry that meets a chunk the walk read shows.
static bool FromIdx1(const AviWalk& w, const AviMap& map, Build* b, uint64_t end) {
  const AviKept* idx1 = nullptr;
  for (const AviKept& k : w.keptChunks)
    if (!idx1 && map.chunks[k.chunk].id == Fourcc("idx1")) idx1 = &k;
  if (!idx1) return false;
  const uint8_t* p = w.kept.data() + idx1->at;
  const uint64_t count = idx1->length / 16;
  uint64_t base = ~0ull;
  size_t hint = 0;
  for (uint64_t e = 0; e < count && base == ~0ull; ++e) {
    const uint8_t* entry = p + 16 * e;
    const uint32_t id = Le32(entry), offset = Le32(entry + 8), size = Le32(entry + 12);
    if (StreamOfData(id) == kNoStream) continue;
    if (w.moviFourcc && CheckEntry(map, w.moviFourcc + offset, id, size, &hint) == kEntryFits)
      base = w.moviFourcc;
    else if (CheckEntry(map, offset, id, size, &hint) == kEntryFits)
      base = 0;
  }
  for (uint64_t e = 0; e < count && base != ~0ull; ++e) {
    const uint8_t* entry = p + 16 * e;
    const uint32_t id = Le32(entry), size = Le32(entry + 12), stream = StreamOfData(id);
    const uint64_t at = base + Le32(entry + 8);
    const bool list = id == Fourcc("rec ") || id == Fourcc("LIST");
    if (at >= end || (list ? CheckEntry(map, at, Fourcc("LIST"), size, &hint) == kEntryWrong
                           : stream >= b->count.size() ||
                                 !AddEntry(map, b, stream, at, id, size, Le32(entry + 4) & 0x10)))
      return false;
  }
  return base != ~0ull;
}

// The data chunks the walk read from `from` on, numbered on from the counts so
// far. A gap that may have held stream chunks leaves every number after it
// unknown.
static void AddWalked(const AviMap& map, Build* b, uint64_t from) {
  size_t g = 0;
  uint16_t flags = kAviNumberKnown;
  for (const AviChunk& c : map.chunks) {
    for (; g < map.gaps.size() && map.gaps[g].offset < c.offset; ++g)
      if (map.gaps[g].mayHoldStreams && map.gaps[g].offset + map.gaps[g].length > from) flags = 0;
    const uint32_t s = StreamOfData(c.id);
    if (c.offset < from || s >= b->count.size()) continue;
    b->packets.push_back({c.offset, b->count[s]++, b->bytes[s], 0, c.size, uint16_t(s), flags});
    b->bytes[s] += c.size;
  }
}

static uint64_t DataChunksBefore(const AviMap& map, uint64_t end) {
  uint64_t n = 0;
  for (const AviChunk& c : map.chunks) n += c.offset < end && StreamOfData(c.id) != kNoStream;
  return n;
}

// Packets from one source, linked to the next key packet of their stream and
// put in file order; false when the source is missing or damaged.
static bool BuildFrom(const AviWalk& w, AviMap* map, AviSource source, Build* build) {
  Build& b = *build;
  b.packets.clear(), b.fits = 0;
  b.count.assign(map->streams.size(), 0), b.bytes = b.count, b.hint.assign(b.count.size(), 0);
  uint64_t from = 0;
  if (source == kAviOpenDml) {
    from = ~0ull;
    if (!FromOpenDml(w, *map, &b)) return false;
  } else if (source == kAviIdx1) {
    from = w.firstRiffEnd ? w.firstRiffEnd : ~0ull;
    if (!FromIdx1(w, *map, &b, from)) return false;
  }
  if (source != kAviWalked &&
      b.fits != (from == ~0ull ? b.dataChunks : DataChunksBefore(*map, from)))
    return false;
  AddWalked(*map, &b, from);
  std::vector<uint64_t> next(map->streams.size(), kAviNoKey);
  for (size_t k = b.packets.size(); k-- > 0;) {
    AviPacket& p = b.packets[k];
    p.nextKey = next[p.stream];
    if (!(p.flags & kAviKeyKnown)) next[p.stream] = kAviKeyUnknown;
    if (p.flags & kAviKey) next[p.stream] = p.number;
  }
  const auto byOffset = [](const AviPacket& x, const AviPacket& y) { return x.offset < y.offset; };
  if (!std::is_sorted(b.packets.begin(), b.packets.end(), byOffset))
    std::sort(b.packets.begin(), b.packets.end(), byOffset);
  for (size_t k = 1; k < b.packets.size(); ++k)
    if (b.packets[k].offset - b.packets[k - 1].offset < 8ull + b.packets[k - 1].size) return false;
  map->packets.swap(b.packets);
  map->source = source;
  map->indexedEnd = from;
  return true;
}

// "MJPG", or "" unless all four are printable; trailing spaces dropped.
static void SetCodec(AviStream* s, uint32_t fourcc) {
  for (int i = 0; i < 4; ++i) {
    const uint8_t c = fourcc >> 8 * i & 0xFF;
    if (c < 0x20 || c >= 0x7F) return;
    s->codec[i] = char(c);
  }
  for (int i = 3; i >= 0 && s->codec[i] == ' '; --i) s->codec[i] = 0;
}

static void SetAudioCodec(AviStream* s, uint32_t tag) {
  static const struct { uint32_t tag; const char* name; } names[] = {
      {0x0001, "PCM"}, {0x0003, "float"}, {0x0050, "MP2"}, {0x0055, "MP3"},
      {0x00FF, "AAC"}, {0x0161, "WMA"},   {0x2000, "AC3"}, {0x2001, "DTS"}};
  for (const auto& n : names)
    if (n.tag == tag) std::strcpy(s->codec, n.name);
  s->pcm = tag == 0x0001 || tag == 0x0003;
}

// From its stream header's type, else from what its chunk ids end with.
static AviKind KindOf(uint32_t type, uint32_t id) {
  const uint32_t suffix = type ? 0 : id >> 16;
  if (type == Fourcc("vids") || suffix == Fourcc("..dc") >> 16 || suffix == Fourcc("..db") >> 16)
    return kAviVideo;
  return type == Fourcc("auds") || suffix == Fourcc("..wb") >> 16 ? kAviAudio : kAviOther;
}

// Each stream from its strh and strf, or from its chunk ids when they are gone.
static void ReadStreams(const AviWalk& w, AviMap* map) {
  std::vector<uint32_t> firstId(w.strls);
  for (const AviChunk& c : map->chunks) {
    const uint32_t s = StreamOfData(c.id);
    if (s != kNoStream && s >= firstId.size()) firstId.resize(s + 1);
    if (s != kNoStream && firstId[s] == 0) firstId[s] = c.id;
  }
  const size_t count = firstId.size();
  map->streams.assign(count, AviStream());
  std::vector<uint32_t> type(count), handler(count);
  std::vector<const AviKept*> format(count, nullptr);
  for (const AviKept& k : w.keptChunks) {
    const uint8_t* p = w.kept.data() + k.at;
    const uint32_t id = map->chunks[k.chunk].id;
    if (k.stream >= count) continue;
    AviStream& s = map->streams[k.stream];
    if (id == Fourcc("strf")) format[k.stream] = &k;
    if (id != Fourcc("strh") || k.length < 48) continue;
    type[k.stream] = Le32(p), handler[k.stream] = Le32(p + 4);
    s.scale = Le32(p + 20), s.rate = Le32(p + 24), s.start = Le32(p + 28);
    s.sampleSize = Le32(p + 44);
    s.timed = s.scale > 0 && s.rate > 0;
  }
  for (size_t n = 0; n < count; ++n) {
    AviStream& s = map->streams[n];
    s.kind = KindOf(type[n], firstId[n]);
    const uint8_t* f = format[n] ? w.kept.data() + format[n]->at : nullptr;
    const uint64_t length = format[n] ? format[n]->length : 0;
    if (s.kind == kAviAudio && length >= 2)  // a wave format's tag, or an extensible one's
      SetAudioCodec(&s, Le16(f) == 0xFFFE && length >= 26 ? Le16(f + 24) : Le16(f));
    if (s.kind != kAviAudio)  // the handler, else a bitmap header's compression
      SetCodec(&s, handler[n] != 0 ? handler[n] : length >= 20 ? Le32(f + 16) : 0);
    s.byBytes = s.timed && s.kind != kAviVideo && s.sampleSize > 0;
  }
}

void BuildAviMap(const AviWalk& w, AviMap* map) {
  ReadStreams(w, map);
  Build b = {};
  b.dataChunks = DataChunksBefore(*map, ~0ull);
  b.packets.reserve(b.dataChunks);
  if (!BuildFrom(w, map, kAviOpenDml, &b) && !BuildFrom(w, map, kAviIdx1, &b))
    BuildFrom(w, map, kAviWalked, &b);
}
