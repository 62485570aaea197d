#include "avi/avi_playable.h"

#include <algorithm>
#include <cstring>

#include "avi/avi_ids.h"
#include "avi/avi_sniff.h"

// What becomes of a packet in the copy.
enum Fate : uint8_t { kKept, kDropped, kSilenced, kLeft };

struct Making {
  explicit Making(const AviMap& of) : map(of) {}
  const AviMap& map;
  std::vector<ByteRange> lacking;  // what no copy holds but padding, in order
  std::vector<uint8_t> lost;       // per packet: lacking bytes hit its payload
  std::vector<Fate> fate;          // per packet
  std::vector<uint32_t> size;      // per packet: its chunk's size in the copy
  std::vector<ByteRange> rebuilt;  // index chunks made anew
  std::vector<ByteRange> covered;  // bytes the edits make good
  Playable out;
};

static void Put32(std::vector<uint8_t>* to, uint32_t v) {
  for (int i = 0; i < 4; ++i) to->push_back(uint8_t(v >> 8 * i));
}

// A chunk header: its id and size.
static std::vector<uint8_t> Header(uint32_t id, uint32_t size) {
  std::vector<uint8_t> bytes;
  Put32(&bytes, id);
  Put32(&bytes, size);
  return bytes;
}

static uint64_t ChunkEnd(const AviPacket& p) { return p.offset + 8 + p.size + (p.size & 1); }

// Whether [from, to) meets one of the ranges (in order, apart).
static bool Meets(const std::vector<ByteRange>& ranges, uint64_t from, uint64_t to) {
  const auto r = std::partition_point(ranges.begin(), ranges.end(),
                                      [&](const ByteRange& x) { return x.end() <= from; });
  return r != ranges.end() && r->offset < to;
}

// A file whose stream headers no copy holds cannot be made playable: the
// streams' kinds, rates and codecs are gone.
static const char* Refusal(const Making& m) {
  const AviMap& map = m.map;
  if (!map.isAvi) return "not an AVI file";
  if (!map.complete) return "too many chunks to make it playable";
  for (const AviChunk& c : map.chunks)
    if ((c.id == Fourcc("avih") || c.id == Fourcc("strh") || c.id == Fourcc("strf")) &&
        Meets(m.lacking, c.offset, AviChunkEnd(c)))
      return "its stream headers are lost";
  for (const AviPacket& p : map.packets)
    if (!map.streams[p.stream].timed) return "its stream headers are lost";
  return nullptr;
}

// Every frame lacking bytes hit is dropped, and every one after it that would
// decode from a wrong picture: up to the next key frame, and the B-frames
// right after that key, which still refer back across it. A B-frame is no
// frame's reference.
static void DropVideo(Making* m, uint32_t stream) {
  const std::vector<AviPacket>& packets = m->map.packets;
  bool broken = false, afterKey = false;
  for (size_t k = 0; k < packets.size(); ++k) {
    const AviPacket& p = packets[k];
    if (p.stream != stream) continue;
    const bool key = p.flags & kAviKey, b = p.flags & kAviBFrame;
    const bool across = afterKey && b;
    afterKey = across;
    if (m->lost[k] || across || (broken && !key)) {
      m->fate[k] = kDropped;
      broken = broken || (m->lost[k] && !b);
    } else if (broken) {
      broken = false;
      afterKey = m->map.streams[stream].bFrames;
    }
  }
}

// A lost audio packet: PCM's silence is zeros, an MP3 or MP2 packet becomes a
// silent frame of its size (a header like the stream's, no data); packets of
// other codecs stay as merged.
static void SilenceAudio(Making* m, size_t k) {
  const AviPacket& p = m->map.packets[k];
  const AviStream& s = m->map.streams[p.stream];
  const AviCodecBytes& codec = m->map.codecBytes[p.stream];
  uint8_t header[4];
  const bool mpeg = !std::strcmp(s.codec, "MP3") || !std::strcmp(s.codec, "MP2");
  if (s.pcm) {
    m->fate[k] = kSilenced;
    for (const ByteRange& r : m->lacking) {  // stale bytes a map said are missing
      const uint64_t from = std::max(r.offset, p.offset + 8), to = std::min(r.end(), ChunkEnd(p));
      if (from < to) m->out.edits.push_back({from, std::vector<uint8_t>(to - from, 0)});
    }
  } else if (mpeg && codec.hasAudio && MpegAudioHeaderOfSize(codec.audio, p.size, header)) {
    m->fate[k] = kSilenced;
    std::vector<uint8_t> bytes = Header(s.chunkId, p.size);
    bytes.insert(bytes.end(), header, header + 4);
    bytes.resize(8 + p.size, 0);
    m->out.edits.push_back({p.offset, bytes});
  } else {
    m->fate[k] = kLeft;
  }
}

// A dropped frame's chunk: of size 0, the rest of its bytes a JUNK chunk, or
// in a stream with B-frames a VOP that codes nothing (for an anchor one that
// repeats the picture before it), so that the decoder's delay and so every
// kept frame's time stay.
// A chunk with no room for the JUNK header keeps its bytes; only the indexes
// drop it.
static void EditDropped(Making* m, size_t k) {
  const AviPacket& p = m->map.packets[k];
  const AviStream& s = m->map.streams[p.stream];
  const AviCodecBytes& codec = m->map.codecBytes[p.stream];
  const uint32_t padded = p.size + (p.size & 1);
  std::vector<uint8_t> vop(16 + 8160 / 8 + 1);
  uint32_t size = 0;
  if (s.bFrames) {
    const AviVol vol = ReadVol(codec.vol, codec.volLength);
    size = vol.ok ? RepeatVop(vol, p.flags & kAviBFrame, vop.data()) : 0;
    size = size <= p.size ? size : 0;
  }
  uint32_t used = size + (size & 1);
  if (size > 0 && padded - used < 8) size = p.size, used = padded;  // the VOP, then zeros
  m->size[k] = size;
  if (size == 0 && padded < 8) {
    if (!(p.flags & kAviHeaderRead)) m->out.edits.push_back({p.offset, Header(s.chunkId, p.size)});
    return;
  }
  std::vector<uint8_t> bytes = Header(s.chunkId, size);
  bytes.insert(bytes.end(), vop.begin(), vop.begin() + size);
  bytes.resize(8 + used, 0);
  if (padded > used) {
    const std::vector<uint8_t> junk = Header(Fourcc("JUNK"), padded - used - 8);
    bytes.insert(bytes.end(), junk.begin(), junk.end());
  }
  m->out.edits.push_back({p.offset, bytes});
}

// The fate of every packet, and the chunk edits it needs; a chunk header an
// index placed, where the walk read none, is written back.
static void DecideFates(Making* m) {
  const AviMap& map = m->map;
  for (uint32_t s = 0; s < map.streams.size(); ++s)
    if (map.streams[s].kind == kAviVideo) DropVideo(m, s);
  for (size_t k = 0; k < map.packets.size(); ++k) {
    const AviPacket& p = map.packets[k];
    const AviKind kind = map.streams[p.stream].kind;
    const size_t edits = m->out.edits.size();
    if (m->fate[k] == kDropped) EditDropped(m, k);
    if (m->lost[k] && kind == kAviAudio) SilenceAudio(m, k);
    if (m->lost[k] && kind == kAviOther) m->fate[k] = kLeft;
    const bool edited = m->out.edits.size() > edits && m->out.edits.back().offset == p.offset;
    if (!(p.flags & kAviHeaderRead) && !edited)
      m->out.edits.push_back({p.offset, Header(map.streams[p.stream].chunkId, m->size[k])});
    if (m->fate[k] != kKept) m->covered.push_back({p.offset, ChunkEnd(p) - p.offset});
    if (!(p.flags & kAviHeaderRead)) m->covered.push_back({p.offset, 8});
  }
}

// The RIFF part around offset: between the starts and ends of the RIFF
// lists the walk read, or the file's ends.
static ByteRange PartAround(const AviMap& map, uint64_t offset) {
  uint64_t from = 0, to = map.claimedEnd;
  for (const AviChunk& c : map.chunks) {
    if (c.id != Fourcc("RIFF")) continue;
    for (const uint64_t bound : {c.offset, c.offset + 8 + c.size}) {
      if (bound <= offset) from = std::max(from, bound);
      if (bound > offset) to = std::min(to, bound);
    }
  }
  return {from, to - from};
}

// idx1 anew: an entry for each packet of the first part, as many as its bytes
// hold; bytes left over become a JUNK chunk.
static std::vector<uint8_t> Idx1Anew(const Making& m, uint32_t room) {
  std::vector<uint8_t> entries;
  for (size_t k = 0; k < m.map.packets.size() && entries.size() + 16 <= room; ++k) {
    const AviPacket& p = m.map.packets[k];
    if (m.map.firstRiffEnd && p.offset >= m.map.firstRiffEnd) break;
    Put32(&entries, m.map.streams[p.stream].chunkId);
    Put32(&entries, p.flags & kAviKey ? 0x10 : 0);
    Put32(&entries, uint32_t(p.offset - m.map.idx1Base));
    Put32(&entries, m.size[k]);
  }
  std::vector<uint8_t> bytes = Header(Fourcc("idx1"), uint32_t(entries.size()));
  bytes.insert(bytes.end(), entries.begin(), entries.end());
  if (room - entries.size() >= 8) {
    const std::vector<uint8_t> junk = Header(Fourcc("JUNK"), room - uint32_t(entries.size()) - 8);
    bytes.insert(bytes.end(), junk.begin(), junk.end());
  }
  return bytes;
}

// A standard index (ix##) anew: its stream's packets of its part, from the
// part's start, as many as its bytes hold; the rest zeros.
static std::vector<uint8_t> StandardIndexAnew(const Making& m, const AviIndex& index,
                                              const AviChunk& chunk) {
  const uint32_t room = chunk.size;
  const ByteRange part = PartAround(m.map, index.offset);
  std::vector<uint8_t> entries;
  for (size_t k = 0; k < m.map.packets.size() && 24 + entries.size() + 8 <= room; ++k) {
    const AviPacket& p = m.map.packets[k];
    if (p.stream != index.stream || p.offset < part.offset || p.offset >= part.end()) continue;
    Put32(&entries, uint32_t(p.offset + 8 - part.offset));
    Put32(&entries, m.size[k] | (p.flags & kAviKey ? 0 : 0x80000000u));
  }
  std::vector<uint8_t> bytes = Header(chunk.id, room);
  Put32(&bytes, 2 | 1u << 24);  // two longs an entry, an index of chunks
  Put32(&bytes, uint32_t(entries.size() / 8));
  Put32(&bytes, m.map.streams[index.stream].chunkId);
  Put32(&bytes, uint32_t(part.offset));
  Put32(&bytes, uint32_t(part.offset >> 32));
  Put32(&bytes, 0);
  bytes.insert(bytes.end(), entries.begin(), entries.end());
  bytes.resize(8 + room, 0);
  return bytes;
}

// Every index that lacking bytes hit is made anew; in the others each entry of
// a packet whose chunk got another size says so.
static void EditIndexes(Making* m) {
  const AviMap& map = m->map;
  for (const AviIndex& index : map.indexes) {
    const auto c = std::lower_bound(map.chunks.begin(), map.chunks.end(), index.offset,
                                    [](const AviChunk& x, uint64_t o) { return x.offset < o; });
    if (c == map.chunks.end() || c->offset != index.offset) continue;
    const ByteRange span = {c->offset, AviChunkEnd(*c) - c->offset};
    const bool known = index.isIdx1 || index.stream < map.streams.size();
    if (!Meets(m->lacking, span.offset, span.end()) || !known || c->size > map.size) continue;
    m->out.edits.push_back(
        {c->offset, index.isIdx1 ? Idx1Anew(*m, c->size) : StandardIndexAnew(*m, index, *c)});
    m->rebuilt.push_back(span);
    m->covered.push_back(span);
  }
  std::sort(m->rebuilt.begin(), m->rebuilt.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  for (const AviIndexed& e : map.indexed) {
    const auto p = std::lower_bound(map.packets.begin(), map.packets.end(), e.offset,
                                    [](const AviPacket& x, uint64_t o) { return x.offset < o; });
    const size_t k = size_t(p - map.packets.begin());
    if (p == map.packets.end() || p->offset != e.offset || m->size[k] == p->size ||
        Meets(m->rebuilt, e.at, e.at + 16))
      continue;
    std::vector<uint8_t> size;
    Put32(&size, m->size[k] | (e.isIdx1 || (p->flags & kAviKey) ? 0 : 0x80000000u));
    m->out.edits.push_back({e.at + (e.isIdx1 ? 12 : 4), size});
  }
}

// The packets of each fate, in runs of one stream's consecutive packets.
static void AddRuns(const Making& m, Fate fate, std::vector<AviLoss>* runs) {
  std::vector<size_t> last(m.map.streams.size(), ~size_t(0));  // each stream's last run
  for (size_t k = 0; k < m.map.packets.size(); ++k) {
    const AviPacket& p = m.map.packets[k];
    if (m.fate[k] != fate) continue;
    const AviStream& s = m.map.streams[p.stream];
    const double start = s.timed ? TimeOf(s, p.number, p.bytesBefore) : 0;
    const double end = s.timed ? start + DurationOf(s, p) : 0;
    size_t& run = last[p.stream];
    if (run != ~size_t(0) && (*runs)[run].last + 1 == p.number) {
      (*runs)[run].last = p.number;
      (*runs)[run].end = end;
      continue;
    }
    AviLoss loss = {};
    loss.kind = s.kind;
    loss.stream = p.stream;
    std::memcpy(loss.codec, s.codec, sizeof loss.codec);
    loss.first = loss.last = p.number;
    loss.start = start, loss.end = end, loss.timed = s.timed;
    run = runs->size();
    runs->push_back(loss);
  }
}

// Whether lacking bytes are left that no edit makes good: the covered spans,
// in order, each take in what they reach of the lacking range at hand.
static bool Uncovered(Making* m) {
  std::vector<ByteRange>& c = m->covered;
  std::sort(c.begin(), c.end(), [](const ByteRange& a, const ByteRange& b) {
    return a.offset < b.offset;
  });
  size_t s = 0;
  for (const ByteRange& r : m->lacking) {
    uint64_t at = r.offset;
    for (; s < c.size() && c[s].offset <= at; ++s) at = std::max(at, c[s].end());
    if (at < r.end()) return true;
    if (s > 0) --s;  // the last span may reach into the next range
  }
  return false;
}

// A file cut short keeps its size: what the edits would write past its end,
// where its header places chunks and an index, is left out.
static void ClipToFile(std::vector<AviEdit>* edits, uint64_t size) {
  while (!edits->empty() && edits->back().offset >= size) edits->pop_back();
  if (!edits->empty() && edits->back().offset + edits->back().bytes.size() > size)
    edits->back().bytes.resize(size - edits->back().offset);
}

Playable MakePlayable(const AviMap& map, const std::vector<RangeFinding>& unsupplied) {
  Making m(map);
  for (const RangeFinding& f : unsupplied)
    if (!f.padding) m.lacking.push_back(f.range);
  m.out.refusal = Refusal(m);
  if (m.out.refusal) return m.out;
  m.lost.assign(map.packets.size(), 0);
  m.fate.assign(map.packets.size(), kKept);
  for (size_t k = 0; k < map.packets.size(); ++k) {
    const AviPacket& p = map.packets[k];
    m.lost[k] = Meets(m.lacking, p.offset + 8, ChunkEnd(p));
    m.size.push_back(p.size);
  }
  DecideFates(&m);
  EditIndexes(&m);
  std::sort(m.out.edits.begin(), m.out.edits.end(),
            [](const AviEdit& a, const AviEdit& b) { return a.offset < b.offset; });
  ClipToFile(&m.out.edits, map.size);
  AddRuns(m, kDropped, &m.out.dropped);
  AddRuns(m, kSilenced, &m.out.silenced);
  AddRuns(m, kLeft, &m.out.left);
  m.out.whole = m.out.dropped.empty() && m.out.silenced.empty() && m.out.left.empty() &&
                !Uncovered(&m);
  return m.out;
}
