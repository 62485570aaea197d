#include "avi/avi_hits.h"

#include <algorithm>
#include <cstring>

#include "avi/avi_ids.h"

// Where a packet ends: past its pad byte, but never into the next packet.
static uint64_t PacketEnd(const AviMap& map, size_t k) {
  const AviPacket& p = map.packets[k];
  const uint64_t end = p.offset + 8 + p.size + (p.size & 1);
  return k + 1 < map.packets.size() ? std::min(end, map.packets[k + 1].offset) : end;
}

// The first packet that ends past offset.
static size_t PacketFrom(const AviMap& map, uint64_t offset) {
  size_t lo = 0, hi = map.packets.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (PacketEnd(map, mid) <= offset)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

double TimeOf(const AviStream& s, uint64_t number, uint64_t bytesBefore) {
  const double units = s.byBytes ? double(bytesBefore) / s.sampleSize : double(number);
  return (s.start + units) * s.scale / s.rate;
}

double DurationOf(const AviStream& s, const AviPacket& p) {
  return (s.byBytes ? double(p.size) / s.sampleSize : 1.0) * s.scale / s.rate;
}

// The packets of one stream that a range hits: the first and last whose
// numbers are known, and whether all are known.
struct StreamHit {
  const AviPacket* first = nullptr;
  const AviPacket* last = nullptr;
  uint64_t keys = 0;
  bool any = false, allKnown = false;
};

static void AddPacket(StreamHit* h, const AviPacket& p) {
  if (!h->any) {
    *h = StreamHit();
    h->any = h->allKnown = true;
  }
  h->keys += p.flags & kAviKey;
  h->allKnown = h->allKnown && (p.flags & kAviKeyKnown) && (p.flags & kAviNumberKnown);
  if (!(p.flags & kAviNumberKnown)) return;
  if (!h->first || p.number < h->first->number) h->first = &p;
  if (!h->last || p.number > h->last->number) h->last = &p;
}

// What its packets say, short of what lost bytes among them may hide: the
// key frames and what follows.
static AviHit StreamHitOf(const AviMap& map, uint32_t n, const StreamHit& h, bool lost) {
  const AviStream& s = map.streams[n];
  AviHit hit = {};
  hit.kind = s.kind;
  hit.stream = n;
  std::memcpy(hit.codec, s.codec, sizeof hit.codec);
  if (!h.first) return hit;
  hit.known = kAviKnowsFirst | kAviKnowsLast | (s.timed ? kAviKnowsStart | kAviKnowsEnd : 0);
  hit.first = h.first->number;
  hit.last = h.last->number;
  if (s.timed) {
    hit.start = TimeOf(s, hit.first, h.first->bytesBefore);
    hit.end = TimeOf(s, hit.last, h.last->bytesBefore) + DurationOf(s, *h.last);
  }
  if (lost || !h.allKnown) return hit;
  hit.known |= kAviKnowsKeys;
  hit.keyframes = h.keys;
  if (s.kind == kAviVideo && s.timed && h.last->nextKey != kAviKeyUnknown) {
    hit.known |= kAviKnowsRecovery;
    if (h.last->nextKey != kAviNoKey) hit.known |= kAviRecovers;
    if (h.last->nextKey != kAviNoKey) hit.recovers = TimeOf(s, h.last->nextKey, 0);
  }
  return hit;
}

static AviKind KindOfChunk(uint32_t id) {
  if (id == Fourcc("JUNK")) return kAviJunk;
  return IsIndexId(id) ? kAviIndex : kAviHeader;
}

// One sweep over the range: each step passes a packet, a chunk the walk read,
// or the bytes up to the next of them. Bytes neither covers are header bytes,
// unless they are lost where stream chunks may have stood and no index covers.
std::vector<AviHit> HitsOf(const AviMap& map, ByteRange range) {
  std::vector<AviHit> hits;
  if (!map.isAvi || !map.complete || range.offset >= map.claimedEnd) return hits;
  const AviChunks& chunks = map.chunks;
  const std::vector<AviGap>& gaps = map.gaps;
  const uint64_t end = range.offset + std::min(range.length, map.claimedEnd - range.offset);
  std::vector<StreamHit> streams(map.streams.size(), StreamHit{});
  bool other[kAviUnknown + 1] = {};
  size_t p = PacketFrom(map, range.offset);
  size_t c = std::partition_point(chunks.begin(), chunks.end(), [&](const AviChunk& k) {
               return AviChunkEnd(k) <= range.offset;
             }) - chunks.begin();
  size_t g = std::partition_point(gaps.begin(), gaps.end(), [&](const AviGap& k) {
               return k.offset + k.length <= range.offset;
             }) - gaps.begin();
  for (uint64_t x = range.offset; x < end;) {
    for (; p < map.packets.size() && PacketEnd(map, p) <= x; ++p) {}
    for (; c < chunks.size() && AviChunkEnd(chunks[c]) <= x; ++c) {}
    for (; g < gaps.size() && gaps[g].offset + gaps[g].length <= x; ++g) {}
    if (p < map.packets.size() && map.packets[p].offset <= x) {
      AddPacket(&streams[map.packets[p].stream], map.packets[p]);
      x = PacketEnd(map, p);
      continue;
    }
    if (c < chunks.size() && chunks[c].offset <= x) {
      other[KindOfChunk(chunks[c].id)] = true;
      x = AviChunkEnd(chunks[c]);
      continue;
    }
    uint64_t stop = end;
    if (p < map.packets.size()) stop = std::min(stop, map.packets[p].offset);
    if (c < chunks.size()) stop = std::min(stop, chunks[c].offset);
    const bool inGap = g < gaps.size() && gaps[g].offset <= x;
    if (g < gaps.size()) stop = std::min(stop, inGap ? gaps[g].offset + gaps[g].length
                                                     : gaps[g].offset);
    other[inGap && gaps[g].mayHoldStreams && !gaps[g].covered ? kAviUnknown : kAviHeader] = true;
    x = stop;
  }
  for (uint32_t n = 0; n < streams.size(); ++n)
    if (streams[n].any) hits.push_back(StreamHitOf(map, n, streams[n], other[kAviUnknown]));
  for (AviKind kind : {kAviIndex, kAviJunk, kAviHeader, kAviUnknown}) {
    if (!other[kind]) continue;
    AviHit hit = {};
    hit.kind = kind;
    hits.push_back(hit);
  }
  return hits;
}

// Whether r lies inside one PCM audio packet's payload: silence, perhaps.
static bool InsidePcm(const AviMap& map, const ByteRange& r) {
  const size_t k = PacketFrom(map, r.offset);
  const AviPacket* p = k < map.packets.size() ? &map.packets[k] : nullptr;
  if (!p || !map.streams[p->stream].pcm || r.offset < p->offset + 8) return false;
  const uint64_t into = r.offset - p->offset - 8;
  return into <= p->size && r.length <= p->size - into;
}

static AviSummary SummaryOf(const AviMap& map, const std::vector<RangeFinding>& found) {
  if (!map.isAvi || found.empty()) return kAviNothingToAdd;
  if (!map.complete) return kAviTooLarge;
  bool frames = false, onlyIndex = true, inPcm = true;
  for (const RangeFinding& f : found) {
    for (const AviHit& h : f.hits) {
      frames = frames || h.kind <= kAviOther || h.kind == kAviUnknown;
      onlyIndex = onlyIndex && h.kind == kAviIndex;
    }
    inPcm = inPcm && InsidePcm(map, f.range);
  }
  if (!frames) return onlyIndex ? kAviOnlyIndex : kAviNoFrameHit;
  return inPcm ? kAviOnlyPcmAudio : kAviNothingToAdd;
}

// A JUNK chunk's size field holds zeros where its size is small, next to a
// payload of zeros: bytes no copy holds run on into the payload from there.
// They are no loss where the size they give is confirmed: the walk read the
// next chunk right where it says the JUNK chunk ends.
bool IsPadding(const AviMap& map, ByteRange range) {
  const AviChunks& chunks = map.chunks;
  const auto next = std::upper_bound(chunks.begin(), chunks.end(), range.offset,
                                     [](uint64_t o, const AviChunk& c) { return o < c.offset; });
  if (!map.complete || next == chunks.begin()) return false;
  const AviChunk& c = next[-1];
  const uint64_t end = AviChunkEnd(c);
  const bool confirmed = next != chunks.end() && next->offset == end;
  return c.id == Fourcc("JUNK") && c.offset + 8 + c.size <= map.size &&
         range.offset >= c.offset + (confirmed ? 4 : 8) && range.offset < end &&
         range.length <= end - range.offset;
}

Findings FindingsOf(AviWalk* walk, AviMap* map, const std::vector<ByteRange>& ranges,
                    int mapAnyway) {
  Findings found;
  std::vector<ByteRange> all = ranges;
  *map = AviMap();
  const ByteRange tail = AviMissingTail(*walk);
  if (tail.length > 0) all.push_back(tail);
  if ((!all.empty() || mapAnyway) && AviWalkSoFar(*walk)) EndAviWalk(walk, map);
  for (const ByteRange& r : all) {
    RangeFinding f = {r, IsPadding(*map, r), HitsOf(*map, r)};
    found.lacking += !f.padding;
    found.ranges.push_back(f);
  }
  found.isAvi = map->isAvi;
  found.summary = SummaryOf(*map, found.ranges);
  return found;
}

std::vector<ByteRange> RangesOf(const Findings& found) {
  std::vector<ByteRange> ranges;
  for (const RangeFinding& f : found.ranges) ranges.push_back(f.range);
  return ranges;
}

static void SeeAvi(void* walk, const uint8_t* bytes, uint32_t n) {
  WalkAviBytes(static_cast<AviWalk*>(walk), bytes, n);
}

ByteWatch AviWatch(AviWalk* walk) {
  BeginAviWalk(walk);
  return {SeeAvi, walk};
}
