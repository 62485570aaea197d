// The walk of a RIFF AVI file. It is handed the file's bytes in order, in
// pieces of any size, and never seeks: it reads chunk headers, keeps the first
// bytes of each stream's headers and the entries of its indexes, and passes
// other payloads over by their sizes, unread. A header that cannot be one
// (wiped to zeros, or too big for its list) makes it resync at the next
// plausible header. At the end it builds the map: the streams, and every
// packet that an index entry or the walk itself places.
// Its records grow with the chunks and index entries the file holds, one
// record each, never with a size field, and stop at kAviMaxRecords.
#pragma once
#include <cstdint>
#include <vector>

#include "avi/avi_ids.h"
#include "avi/avi_sniff.h"
#include "common/byte_range.h"

enum AviKind { kAviVideo, kAviAudio, kAviOther, kAviIndex, kAviJunk, kAviHeader, kAviUnknown };

// Beyond this many records (chunks, gaps and index entries together) a file
// is not mapped: they would take more memory than a check should, a few dozen
// bytes each, and building the map with them more time.
constexpr uint64_t kAviMaxRecords = 1u << 22;

// A chunk header the walk read. A list covers its 12 header bytes; the chunks
// inside it cover the rest.
struct AviChunk {
  uint64_t offset;
  uint32_t id;    // the four characters, little-endian
  uint32_t size;  // as its header says
};

// Past its payload and pad byte, or a list's header.
uint64_t AviChunkEnd(const AviChunk& c);
typedef std::vector<AviChunk> AviChunks;

// Bytes the walk could not read as chunks: wiped headers, what it passed to
// find the next, and a tail the file lacks. mayHoldStreams: where stream
// chunks can stand (in a movi list, or in a part whose movi list was not
// seen). covered: the indexes say which packets stood there, for every stream.
struct AviGap {
  uint64_t offset, length;
  int mayHoldStreams;
  int covered = 0;
};

// An index entry as read, in the index's order: the chunk it places, or a
// mark (id 0) that entries were lost there. idx1 gives offsets from a base
// the map settles; ix## gives them whole.
struct AviEntry {
  uint64_t offset;  // of the chunk's header
  uint64_t at;      // of the entry itself in the file
  uint32_t id, size;
  uint32_t index;   // in AviWalk::indexes
  int key;
};

struct AviIndex {
  uint64_t offset;                // of its chunk
  int isIdx1;
  uint32_t stream = kNoStream;    // ix##: the one whose chunks it lists
  int complete = 0;               // its entries all arrived: none cut off at its end
};

struct AviStream {
  AviKind kind;    // video, audio or other: from its stream header, else its chunk ids
  char codec[8];   // "MJPG", "PCM", ...; empty when unknown
  int timed;       // its header gave a scale and a rate
  int byBytes;     // not video, dwSampleSize > 0: times follow the stream's bytes
  int pcm;         // uncompressed audio, whose silence is zeros
  int intraOnly;   // video whose every frame is a key frame (MJPEG, uncompressed, DV)
  int bFrames;     // video with B-VOPs among its packets
  uint32_t chunkId;  // the id of its data chunks
  uint32_t scale, rate, start, sampleSize;
};

enum AviPacketFlags {
  kAviKey = 1,
  kAviKeyKnown = 2,
  kAviNumberKnown = 4,
  kAviHeaderRead = 8,  // the walk read its chunk header; else an index placed it
  kAviBFrame = 16,     // an MPEG-4 B-VOP, which no frame decodes from
};
constexpr uint64_t kAviNoKey = ~0ull;           // no key packet follows
constexpr uint64_t kAviKeyUnknown = ~0ull - 1;  // one without a known key flag or number follows

struct AviPacket {
  uint64_t offset;       // of its chunk header
  uint64_t number;       // in its stream, from 0, empty video chunks included
  uint64_t bytesBefore;  // of its stream
  uint64_t nextKey;      // the number of its stream's next key packet, or one of the above
  uint32_t size;         // of its payload
  uint16_t stream, flags;
};

// An index entry the map believed: where it is in the file, for the packet at offset.
struct AviIndexed {
  uint64_t offset;  // of the packet's chunk
  uint64_t at;      // of the entry
  int isIdx1;
};

// What the first packets of a stream showed of its codec: a video object
// layer header, an audio frame header.
struct AviCodecBytes {
  uint8_t vol[64];
  uint32_t volLength;
  uint8_t audio[4];
  int hasAudio;
};

struct AviMap {
  int isAvi;       // "RIFF....AVI ", or zeros there and AVI chunks soon after
  int complete;    // 0: the file holds more chunks than the map takes, and has no hits
  uint64_t size;   // bytes walked
  uint64_t claimedEnd;  // where the RIFF parts say the file ends
  std::vector<AviStream> streams;  // by stream number
  std::vector<AviPacket> packets;  // by offset, none overlapping the next
  AviChunks chunks;                // by offset
  std::vector<uint8_t> frameKinds;  // per chunk: what its first bytes show (AviFrameKind)
  std::vector<AviGap> gaps;        // by offset
  std::vector<AviIndexed> indexed;  // by the order of the indexes
  std::vector<AviIndex> indexes;
  std::vector<AviCodecBytes> codecBytes;  // by stream number
  uint64_t idx1Base;               // what idx1's offsets count from
  uint64_t moviFourcc;             // the first movi list's type
  uint64_t firstRiffEnd;           // where idx1 stops counting
};

struct AviWalkList {
  uint64_t end;
  uint32_t type, stream = kNoStream;   // stream: a strl list's number, when known
  int isRiff, sawMovi = 0;             // sawMovi: a RIFF part whose movi list has begun
};

// The first bytes of a stream's strh and strf, all the map reads of them.
constexpr uint32_t kAviHeaderBytes = 64;
struct AviStreamBytes {
  uint8_t header[kAviHeaderBytes], format[kAviHeaderBytes];
  uint32_t headerLength, formatLength;
  int sawHeader, sawFormat;
};

// Where the walk stands in the entries of an index chunk.
struct AviIndexRead {
  uint8_t bytes[24];  // an entry (or ix##'s header) that a piece's end cut
  uint32_t have;
  uint32_t stride;    // bytes per entry: 16 in idx1
  uint64_t left;      // ix##: entries still to come that its header counts
  uint64_t base;      // ix##: what its offsets count from
  uint32_t id;        // ix##: its chunks' id
  uint64_t entryAt;   // where the entry being read starts in the file
  int open;           // the payload is an index chunk's
  int active;         // its entries go on
  int headerRead;
};

// All state of one walk.
struct AviWalk {
  uint64_t pos;      // of the next byte not yet handled (hold[0] while held)
  int state, start;  // start: what the first 12 bytes were
  uint8_t hold[12];  // the start of a header that a piece's end cut off
  uint32_t held;
  uint64_t payload;  // bytes of the current chunk still to come, pad byte included
  uint64_t readable;  // of them, the chunk's own
  uint32_t keepStream, keepWhat;  // the stream header the payload goes to
  uint64_t keepAt;
  AviWalkList lists[8];
  uint32_t depth;
  uint32_t strls;         // strl lists numbered so far
  int strlsUncertain;     // a strl list may be lost: later ones get no number
  int looksAvi;           // after a wiped start: AVI lists, or data chunks in a row
  uint32_t inRow;         // data chunks read since the last gap
  uint64_t moviFourcc;    // the first movi list's type, where idx1 offsets may count from
  uint64_t firstRiffEnd;  // where idx1 stops counting, 0 for not known
  uint64_t claimedEnd;    // the furthest end a RIFF part claims
  int overflow;           // kAviMaxRecords reached: nothing more recorded
  AviIndexRead index;
  uint8_t sniff[kAviSniffBytes];  // the first bytes of the data chunk being read
  uint32_t sniffed;
  int sniffing;
  AviChunks chunks;
  std::vector<uint8_t> frameKinds;
  std::vector<AviCodecBytes> codecBytes;
  std::vector<AviGap> gaps;
  std::vector<AviEntry> entries;
  std::vector<AviIndex> indexes;
  std::vector<AviStreamBytes> streamBytes;  // by strl number
};

void BeginAviWalk(AviWalk* w);

// Whether the bytes walked so far are those of an AVI file.
bool AviWalkSoFar(const AviWalk& w);

// The file's next n bytes.
void WalkAviBytes(AviWalk* w, const uint8_t* bytes, uint32_t n);

// After the file's last byte: fills *map anew, moving the walk's records into
// it. It checks every index entry and builds every packet, up to 0.1 us for
// each on these machines (a dense 1 GiB file has a million): call it for a
// file that has ranges to report.
void EndAviWalk(AviWalk* w, AviMap* map);

// The bytes the file's RIFF parts claim beyond its end, as a range at the
// end; empty when it holds them all or is no AVI file. Mid-walk: of the bytes
// walked so far.
ByteRange AviMissingTail(const AviWalk& w);

// EndAviWalk's second half, in avi_map.cpp: the streams and the packets, once
// map->chunks and map->gaps hold the walk's records.
void BuildAviMap(AviWalk* w, AviMap* map);
