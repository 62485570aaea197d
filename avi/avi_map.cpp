#include <algorithm>
#include <cstring>

#include "avi/avi_ids.h"
#include "avi/avi_walk.h"

// The packets are every index entry that stands up and every data chunk the
// walk read. An entry is held against the chunk header the walk read where it
// points, and counts on its own: damage loses the entries it hit, not the
// index. One that points into bytes the walk lost is believed where the
// entries around it fit. Where an index holds its entries in a row, it says
// that no other packet of its streams stood between them: so numbers stay
// known across lost bytes that an index covers.

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

enum EntryCheck { kEntryFits, kEntryUnread, kEntryWrong };

// The gap that may have held stream chunks around offset, or null.
static const AviGap* GapAt(const AviMap& map, uint64_t offset) {
  const auto gap = std::upper_bound(map.gaps.begin(), map.gaps.end(), offset,
                                    [](uint64_t o, const AviGap& g) { return o < g.offset; });
  if (gap == map.gaps.begin()) return nullptr;
  const AviGap& g = gap[-1];
  return offset - g.offset < g.length && g.mayHoldStreams ? &g : nullptr;
}

// An index entry for a chunk at offset with id and size: it fits the chunk
// the walk read there, lies where the walk lost the headers, or is wrong. A
// chunk read there with its id but a size cut short, lost bytes following
// it, is a header the damage began in: the entry knows it better.
static EntryCheck CheckEntry(const AviMap& map, uint64_t offset, uint32_t id, uint32_t size,
                             size_t* hint) {
  const AviChunks& c = map.chunks;
  const uint64_t end = offset + 8 + size;
  if (offset >= map.claimedEnd || map.claimedEnd - offset < 8ull + size) return kEntryWrong;
  const size_t k = ChunkAfter(c, offset, hint);
  if (k < c.size() && c[k].offset < end) return kEntryWrong;  // into one read
  if (k > 0 && c[k - 1].offset == offset) {
    if (c[k - 1].id != id) return kEntryWrong;
    if (c[k - 1].size == size) return kEntryFits;
    const AviGap* g = GapAt(map, AviChunkEnd(c[k - 1]));
    return c[k - 1].size < size && g && g->offset + g->length >= end ? kEntryUnread : kEntryWrong;
  }
  if (k > 0 && offset < AviChunkEnd(c[k - 1])) return kEntryWrong;  // inside one read
  return GapAt(map, offset) ? kEntryUnread : kEntryWrong;
}

enum Judgement { kFits, kUnread, kWrong, kGone };  // kGone: entries wiped there

// An entry as judged: where its chunk stands, and whether it is believed.
struct Judged {
  uint64_t offset;
  uint32_t size, stream;
  int key;
  Judgement judgement;
  bool believed;
};

// Where an index says every packet of its streams is known.
struct Covered {
  uint64_t from, to;
};

// The entries of the index at w.entries[from], to the next index's.
static size_t EntriesEnd(const AviWalk& w, size_t from) {
  size_t to = from;
  while (to < w.entries.size() && w.entries[to].index == w.entries[from].index) ++to;
  return to;
}

// idx1's offsets count from the movi list's type or from the file's start, as
// the first entry that meets a chunk the walk read shows; ~0 when none does.
static uint64_t Idx1Base(const AviWalk& w, const AviMap& map, size_t from, size_t to) {
  size_t hint = 0;
  for (size_t k = from; k < to; ++k) {
    const AviEntry& e = w.entries[k];
    if (e.id == 0) continue;
    if (w.moviFourcc && CheckEntry(map, w.moviFourcc + e.offset, e.id, e.size, &hint) == kEntryFits)
      return w.moviFourcc;
    if (CheckEntry(map, e.offset, e.id, e.size, &hint) == kEntryFits) return 0;
  }
  return ~0ull;
}

// Each entry of one index checked against the walk's chunks.
static std::vector<Judged> JudgeEntries(const AviWalk& w, AviMap* map, size_t from, size_t to) {
  const bool idx1 = w.indexes[w.entries[from].index].isIdx1;
  const uint64_t base = idx1 ? Idx1Base(w, *map, from, to) : 0;
  if (idx1 && base != ~0ull) map->idx1Base = base;
  static const Judgement kJudgement[] = {kFits, kUnread, kWrong};
  std::vector<Judged> judged;
  size_t hint = 0;
  for (size_t k = from; k < to; ++k) {
    const AviEntry& e = w.entries[k];
    Judged j;
    j.offset = base + e.offset;
    j.size = e.size;
    j.stream = StreamOfData(e.id);
    j.key = e.key;
    j.judgement = e.id ? kWrong : kGone;
    if (e.id != 0 && base != ~0ull && j.stream < map->streams.size())
      j.judgement = kJudgement[CheckEntry(*map, j.offset, e.id, e.size, &hint)];
    j.believed = j.judgement == kFits;  // an unread one may be believed below
    judged.push_back(j);
  }
  return judged;
}

// The nearest entry from k on in the direction step that is not wiped, or null.
static const Judged* Neighbour(const std::vector<Judged>& j, size_t k, int step) {
  for (; k < j.size(); k += step)
    if (j[k].judgement != kGone) return &j[k];
  return nullptr;
}

// A run of entries where the walk lost the headers is believed where the
// entries that stand around it, before and after, fit chunks the walk read,
// and all lie in file order.
static void BelieveUnread(std::vector<Judged>* judged) {
  std::vector<Judged>& j = *judged;
  for (size_t k = 0, end = 0; k < j.size(); k = std::max(end, k + 1)) {
    for (end = k; end < j.size() && j[end].judgement == kUnread;) ++end;
    if (end == k) continue;
    const Judged* before = k > 0 ? Neighbour(j, k - 1, -1) : nullptr;
    const Judged* after = Neighbour(j, end, 1);
    const bool fit = (before || after) && (!before || before->judgement == kFits) &&
                     (!after || after->judgement == kFits);
    std::vector<uint64_t> order;
    if (before) order.push_back(before->offset);
    for (size_t e = k; e < end; ++e) order.push_back(j[e].offset);
    if (after) order.push_back(after->offset);
    const bool inOrder = std::adjacent_find(order.begin(), order.end(),
                                            std::greater_equal<uint64_t>()) == order.end();
    for (size_t e = k; e < end; ++e) j[e].believed = fit && inOrder;
  }
}

// The RIFF part around offset: between the nearest starts and ends of the
// parts the walk read (parts: sorted), or the file's ends.
static Covered PartAround(const std::vector<uint64_t>& parts, uint64_t offset) {
  const auto next = std::upper_bound(parts.begin(), parts.end(), offset);
  return {next == parts.begin() ? 0 : next[-1], next == parts.end() ? ~0ull : *next};
}

// Between entries it holds in a row, an index knows every packet of its
// streams; from its part's start to its first entry too when none was lost
// before it, and from its last to its part's end when it is complete.
static std::vector<Covered> CoveredBy(const std::vector<Judged>& j, int complete,
                                      const std::vector<uint64_t>& parts) {
  std::vector<Covered> covered;
  bool open = false;  // the last entry was believed, and nothing lost since
  for (size_t k = 0; k < j.size(); ++k) {
    if (!j[k].believed) {
      open = false;
      continue;
    }
    if (open && covered.back().to <= j[k].offset)
      covered.back().to = j[k].offset + 8 + j[k].size;
    else if (k == 0)
      covered.push_back({PartAround(parts, j[k].offset).from, j[k].offset + 8 + j[k].size});
    else
      covered.push_back({j[k].offset, j[k].offset + 8 + j[k].size});
    open = true;
  }
  if (open && complete) covered.back().to = std::max(covered.back().to,
                                                     PartAround(parts, j.back().offset).to);
  return covered;
}

// "MJPG", or "" unless all four are printable; trailing spaces dropped.
static void SetCodec(AviStream* s, uint32_t fourcc) {
  for (int i = 0; i < 4; ++i) {
    const uint8_t c = fourcc >> 8 * i & 0xFF;
    if (c < 0x20 || c >= 0x7F) return;
  }
  for (int i = 0; i < 4; ++i) s->codec[i] = char(fourcc >> 8 * i & 0xFF);
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

// Video whose every frame stands alone: JPEG kinds, uncompressed formats (a
// compression of 0 is RGB), DV and lossless intra codecs. Case matters.
static bool IsIntraOnly(const char* codec, bool uncompressed) {
  static const char* const kIntra[] = {
      "MJPG", "mjpg", "AVRn", "AVDJ", "dmb1", "mjpa", "mjpb", "LJPG", "JPGL", "jpeg", "JPEG",
      "I420", "IYUV", "YV12", "YUY2", "YUYV", "UYVY", "Y800", "Y8",   "GREY", "RGB",  "DIB",
      "raw",  "RAW",  "v210", "dvsd", "dvhd", "dvsl", "dv25", "dv50", "dvh1", "CDVC", "CDVH",
      "HFYU", "FFVH", "FFV1", "MAGY", "ULRG", "ULY0", "ULY2", "ULH0", "ULH2", "CLLC"};
  if (uncompressed) return true;
  for (const char* name : kIntra)
    if (std::strcmp(codec, name) == 0) return true;
  return false;
}

// From its stream header's type, else from what its chunk ids end with.
static AviKind KindOf(uint32_t type, uint32_t id) {
  const uint32_t suffix = type ? 0 : id >> 16;
  if (type == Fourcc("vids") || suffix == Fourcc("..dc") >> 16 || suffix == Fourcc("..db") >> 16)
    return kAviVideo;
  return type == Fourcc("auds") || suffix == Fourcc("..wb") >> 16 ? kAviAudio : kAviOther;
}

// The number of streams: those the header numbered, and any that chunk ids
// or index entries name beyond them; with the first id seen of each.
static std::vector<uint32_t> FirstIds(const AviWalk& w, const AviMap& map) {
  std::vector<uint32_t> firstId(w.strls);
  const auto see = [&](uint32_t id) {
    const uint32_t s = StreamOfData(id);
    if (s != kNoStream && s >= firstId.size()) firstId.resize(s + 1);
    if (s != kNoStream && firstId[s] == 0) firstId[s] = id;
  };
  for (const AviChunk& c : map.chunks) see(c.id);
  for (const AviEntry& e : w.entries) see(e.id);
  return firstId;
}

// One stream from its strh and strf, or from its chunk ids when they are gone.
static AviStream ReadStream(const AviStreamBytes* b, uint32_t firstId) {
  AviStream s = {};
  uint32_t type = 0, handler = 0;
  if (b && b->headerLength >= 48) {
    const uint8_t* p = b->header;
    type = Le32(p), handler = Le32(p + 4);
    s.scale = Le32(p + 20), s.rate = Le32(p + 24), s.start = Le32(p + 28);
    s.sampleSize = Le32(p + 44);
    s.timed = s.scale > 0 && s.rate > 0;
  }
  s.kind = KindOf(type, firstId);
  const uint8_t* f = b ? b->format : nullptr;
  const uint32_t length = b ? b->formatLength : 0;
  if (s.kind == kAviAudio && length >= 2)  // a wave format's tag, or an extensible one's
    SetAudioCodec(&s, Le16(f) == 0xFFFE && length >= 26 ? Le16(f + 24) : Le16(f));
  const uint32_t compression = length >= 20 ? Le32(f + 16) : ~0u;
  if (s.kind != kAviAudio)  // the handler, else a bitmap header's compression
    SetCodec(&s, handler != 0 ? handler : compression != ~0u ? compression : 0);
  s.intraOnly = s.kind == kAviVideo && IsIntraOnly(s.codec, compression == 0);
  s.byBytes = s.timed && s.kind != kAviVideo && s.sampleSize > 0;
  s.chunkId = firstId;
  return s;
}

static void ReadStreams(const AviWalk& w, AviMap* map) {
  const std::vector<uint32_t> firstId = FirstIds(w, *map);
  for (uint32_t n = 0; n < firstId.size(); ++n)
    map->streams.push_back(ReadStream(n < w.streamBytes.size() ? &w.streamBytes[n] : nullptr,
                                      firstId[n]));
}

// A packet the walk read or an index believed; an empty audio chunk is none,
// as it holds no time (an empty video chunk is a frame dropped).
static void AddCandidate(const AviMap& map, std::vector<AviPacket>* packets, uint64_t offset,
                         uint32_t size, uint32_t stream, uint16_t flags) {
  if (stream >= map.streams.size() || (size == 0 && map.streams[stream].kind == kAviAudio)) return;
  AviPacket p = {};
  p.offset = offset, p.size = size, p.stream = uint16_t(stream), p.flags = flags;
  packets->push_back(p);
}

// In file order, none overlapping the one before: a believed entry and the
// chunk read at its place are one packet, with the index's key flag where it
// gives one and what the walk read.
static void SortPackets(std::vector<AviPacket>* packets) {
  std::stable_sort(packets->begin(), packets->end(),
                   [](const AviPacket& a, const AviPacket& b) { return a.offset < b.offset; });
  size_t kept = 0;
  for (const AviPacket& p : *packets) {
    AviPacket* last = kept > 0 ? &(*packets)[kept - 1] : nullptr;
    if (last && last->offset == p.offset) {
      const uint16_t key = last->flags & kAviKeyKnown ? 0 : p.flags & (kAviKey | kAviKeyKnown);
      last->flags |= key | (p.flags & (kAviHeaderRead | kAviBFrame));
    } else if (!last || p.offset >= last->offset + 8 + last->size) {
      (*packets)[kept++] = p;
    }
  }
  packets->resize(kept);
}

// A frame the walk read: key or not as its codec holds every frame key, or as
// its first bytes show (an I-VOP, an IDR slice); else not known.
static uint16_t KeyOfFrame(const AviStream& s, uint8_t kind) {
  uint16_t flags = kAviHeaderRead;
  if (kind & kAviSawVop) flags |= ((kind & kAviVopType) == 2 ? kAviBFrame : 0);
  if (s.intraOnly || (kind & kAviSawVop) || (kind & (kAviSawIdr | kAviSawSlice)))
    flags |= kAviKeyKnown;
  if (s.intraOnly || ((kind & kAviSawVop) && (kind & kAviVopType) == 0) || (kind & kAviSawIdr))
    flags |= kAviKey;
  return flags;
}

// Numbers in each stream's file order, known up to the first bytes lost where
// no index covers that stream; then each packet's next key.
static void NumberPackets(AviMap* map, const std::vector<uint64_t>& unknownFrom) {
  std::vector<uint64_t> count(map->streams.size()), bytes(count.size());
  for (AviPacket& p : map->packets) {
    p.number = count[p.stream]++;
    p.bytesBefore = bytes[p.stream];
    bytes[p.stream] += p.size;
    if (p.offset < unknownFrom[p.stream]) p.flags |= kAviNumberKnown;
  }
  std::vector<uint64_t> next(count.size(), kAviNoKey);
  for (size_t k = map->packets.size(); k-- > 0;) {
    AviPacket& p = map->packets[k];
    p.nextKey = next[p.stream];
    if (!(p.flags & kAviKeyKnown) || ((p.flags & kAviKey) && !(p.flags & kAviNumberKnown)))
      next[p.stream] = kAviKeyUnknown;
    else if (p.flags & kAviKey)
      next[p.stream] = p.number;
  }
}

// Whether [from, to) lies inside one of the stream's covered stretches
// (sorted and joined).
static bool IsCovered(const std::vector<Covered>& covered, uint64_t from, uint64_t to) {
  const auto c = std::upper_bound(covered.begin(), covered.end(), from,
                                  [](uint64_t o, const Covered& x) { return o < x.from; });
  return c != covered.begin() && c[-1].to >= to;
}

static void Join(std::vector<Covered>* covered) {
  std::sort(covered->begin(), covered->end(),
            [](const Covered& a, const Covered& b) { return a.from < b.from; });
  size_t kept = 0;
  for (const Covered& c : *covered) {
    if (kept > 0 && (*covered)[kept - 1].to >= c.from)
      (*covered)[kept - 1].to = std::max((*covered)[kept - 1].to, c.to);
    else
      (*covered)[kept++] = c;
  }
  covered->resize(kept);
}

// Each gap that may have held stream chunks is covered when every stream's
// indexes cover it; a stream's numbers are unknown from the first it lacks.
static std::vector<uint64_t> CoverGaps(AviMap* map, std::vector<std::vector<Covered>>* covered) {
  std::vector<uint64_t> unknownFrom(map->streams.size(), ~0ull);
  for (std::vector<Covered>& c : *covered) Join(&c);
  for (AviGap& g : map->gaps) {
    g.covered = !covered->empty();
    for (size_t s = 0; g.mayHoldStreams && s < covered->size(); ++s) {
      if (IsCovered((*covered)[s], g.offset, g.offset + g.length)) continue;
      g.covered = 0;
      unknownFrom[s] = std::min(unknownFrom[s], g.offset);
    }
  }
  return unknownFrom;
}

// Where the RIFF parts the walk read begin and end, and the file's claimed end.
static std::vector<uint64_t> Parts(const AviMap& map) {
  std::vector<uint64_t> parts = {map.claimedEnd};
  for (const AviChunk& c : map.chunks)
    if (c.id == Fourcc("RIFF")) parts.insert(parts.end(), {c.offset, c.offset + 8 + c.size});
  std::sort(parts.begin(), parts.end());
  return parts;
}

// Every index's believed entries as packets, and what each covers.
static void AddIndexed(const AviWalk& w, AviMap* map, std::vector<std::vector<Covered>>* covered) {
  const std::vector<uint64_t> parts = Parts(*map);
  for (size_t from = 0, to = 0; from < w.entries.size(); from = to) {
    to = EntriesEnd(w, from);
    std::vector<Judged> judged = JudgeEntries(w, map, from, to);
    BelieveUnread(&judged);
    const AviIndex& index = w.indexes[w.entries[from].index];
    const std::vector<Covered> by = CoveredBy(judged, index.complete, parts);
    for (size_t s = 0; s < covered->size(); ++s)
      if (index.isIdx1 || index.stream == s)
        (*covered)[s].insert((*covered)[s].end(), by.begin(), by.end());
    for (size_t k = 0; k < judged.size(); ++k) {
      const Judged& j = judged[k];
      if (!j.believed) continue;
      AddCandidate(*map, &map->packets, j.offset, j.size, j.stream,
                   uint16_t(kAviKeyKnown | (j.key ? kAviKey : 0)));
      map->indexed.push_back(AviIndexed{j.offset, w.entries[from + k].at, index.isIdx1});
    }
  }
}

void BuildAviMap(AviWalk* w, AviMap* map) {
  ReadStreams(*w, map);
  std::vector<std::vector<Covered>> covered(map->streams.size());
  AddIndexed(*w, map, &covered);
  for (size_t k = 0; k < map->chunks.size(); ++k) {
    const AviChunk& c = map->chunks[k];
    const uint32_t s = StreamOfData(c.id);
    const bool video = s < map->streams.size() && map->streams[s].kind == kAviVideo;
    const uint16_t flags =
        video ? KeyOfFrame(map->streams[s], map->frameKinds[k]) : uint16_t(kAviHeaderRead);
    AddCandidate(*map, &map->packets, c.offset, c.size, s, flags);
  }
  SortPackets(&map->packets);
  for (const AviPacket& p : map->packets)
    map->streams[p.stream].bFrames |= (p.flags & kAviBFrame) != 0;
  NumberPackets(map, CoverGaps(map, &covered));
}
