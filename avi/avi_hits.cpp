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

static double TimeOf(const AviStream& s, uint64_t number, uint64_t bytesBefore) {
  const double units = s.byBytes ? double(bytesBefore) / s.sampleSize : double(number);
  return (s.start + units) * s.scale / s.rate;
}

static double DurationOf(const AviStream& s, const AviPacket& p) {
  return (s.byBytes ? double(p.size) / s.sampleSize : 1.0) * s.scale / s.rate;
}

// The packets of one stream that a range hits.
struct StreamHit {
  const AviPacket* first;
  const AviPacket* last;
  uint64_t keys;
  bool keysKnown;
};

static void AddPacket(StreamHit* h, const AviPacket& p) {
  if (!h->first) *h = {&p, &p, 0, true};
  if (p.number < h->first->number) h->first = &p;
  if (p.number > h->last->number) h->last = &p;
  h->keysKnown = h->keysKnown && (p.flags & kAviKeyKnown);
  h->keys += p.flags & kAviKey;
}

// What its packets say, short of what lost bytes among them may hide: the
// last packet, and so the key frames and what follows.
static AviHit StreamHitOf(const AviMap& map, uint32_t n, const StreamHit& h, bool lost) {
  const AviStream& s = map.streams[n];
  AviHit hit = {s.kind, n, {}, 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(hit.codec, s.codec, sizeof hit.codec);
  if (h.first->flags & kAviNumberKnown) {
    hit.known |= kAviKnowsFirst | (s.timed ? kAviKnowsStart : 0);
    hit.first = h.first->number;
    hit.start = s.timed ? TimeOf(s, hit.first, h.first->bytesBefore) : 0;
  }
  if (lost || !(h.last->flags & kAviNumberKnown)) return hit;
  hit.known |= kAviKnowsLast | (s.timed ? kAviKnowsEnd : 0);
  hit.last = h.last->number;
  hit.end = s.timed ? TimeOf(s, hit.last, h.last->bytesBefore) + DurationOf(s, *h.last) : 0;
  if (!h.keysKnown) return hit;
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
  if (!map.isAvi || range.offset >= map.size) return hits;
  const AviChunks& chunks = map.chunks;
  const std::vector<AviGap>& gaps = map.gaps;
  const uint64_t end = range.offset + std::min(range.length, map.size - range.offset);
  std::vector<StreamHit> streams(map.streams.size());
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
    uint64_t stop = std::min(end, x < map.indexedEnd ? map.indexedEnd : end);
    if (p < map.packets.size()) stop = std::min(stop, map.packets[p].offset);
    if (c < chunks.size()) stop = std::min(stop, chunks[c].offset);
    const bool inGap = g < gaps.size() && gaps[g].offset <= x;
    if (g < gaps.size()) stop = std::min(stop, inGap ? gaps[g].offset + gaps[g].length
                                                     : gaps[g].offset);
    other[inGap && gaps[g].mayHoldStreams && x >= map.indexedEnd ? kAviUnknown : kAviHeader] =
        true;
    x = stop;
  }
  for (uint32_t n = 0; n < streams.size(); ++n)
    if (streams[n].first) hits.push_back(StreamHitOf(map, n, streams[n], other[kAviUnknown]));
  for (AviKind kind : {kAviIndex, kAviJunk, kAviHeader, kAviUnknown})
    if (other[kind]) hits.push_back({kind, 0, {}, 0, 0, 0, 0, 0, 0, 0});
  return hits;
}

AviSummary SummaryOf(const AviMap& map, const std::vector<ByteRange>& ranges) {
  if (!map.isAvi || ranges.empty()) return kAviNothingToAdd;
  bool frames = false, onlyIndex = true, inPcm = true;
  for (const ByteRange& r : ranges) {
    for (const AviHit& h : HitsOf(map, r)) {
      frames = frames || h.kind <= kAviOther || h.kind == kAviUnknown;
      onlyIndex = onlyIndex && h.kind == kAviIndex;
    }
    const size_t k = PacketFrom(map, r.offset);
    const AviPacket* p = k < map.packets.size() ? &map.packets[k] : nullptr;
    const uint64_t into = p ? r.offset - p->offset - 8 : 0;
    inPcm = inPcm && p && map.streams[p->stream].pcm && r.offset >= p->offset + 8 &&
            into <= p->size && r.length <= p->size - into;
  }
  if (!frames) return onlyIndex ? kAviOnlyIndex : kAviNoFrameHit;
  return inPcm ? kAviOnlyPcmAudio : kAviNothingToAdd;
}
