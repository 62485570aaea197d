// The walk of a RIFF AVI file. It is handed the file's bytes in order, in
// pieces of any size, and never seeks: it reads chunk headers and keeps the
// payloads of stream headers and indexes, and passes other payloads over by
// their sizes, unread. A header that cannot be one (wiped to zeros, or too big
// for its list) makes it resync at the next plausible header. At the end it
// builds the map: the streams, and every packet from the best index at hand.
// Memory grows with the chunks read and the bytes kept, never with a size field.
#pragma once
#include <cstdint>
#include <vector>

#include "common/block_pass.h"
#include "common/byte_range.h"

enum AviKind { kAviVideo, kAviAudio, kAviOther, kAviIndex, kAviJunk, kAviHeader, kAviUnknown };

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

// Bytes the walk could not read as chunks: wiped headers, and what it passed
// to find the next. mayHoldStreams: where stream chunks can stand (in a movi
// list, or in a part whose movi list was not seen).
struct AviGap {
  uint64_t offset, length;
  int mayHoldStreams;
};

struct AviStream {
  AviKind kind;   // video, audio or other: from its stream header, else its chunk ids
  char codec[8];  // "MJPG", "PCM", ...; empty when unknown
  int timed;      // its header gave a scale and a rate
  int byBytes;    // not video, dwSampleSize > 0: times follow the stream's bytes
  int pcm;        // uncompressed audio, whose silence is zeros
  uint32_t scale, rate, start, sampleSize;
};

enum AviPacketFlags { kAviKey = 1, kAviKeyKnown = 2, kAviNumberKnown = 4 };
constexpr uint64_t kAviNoKey = ~0ull;           // no key packet follows
constexpr uint64_t kAviKeyUnknown = ~0ull - 1;  // one without a known key flag follows first

struct AviPacket {
  uint64_t offset;       // of its chunk header
  uint64_t number;       // in its stream, from 0, empty chunks included
  uint64_t bytesBefore;  // of its stream
  uint64_t nextKey;      // the number of its stream's next key packet, or one of the above
  uint32_t size;         // of its payload
  uint16_t stream, flags;
};

// Where the packets before indexedEnd come from; those after it the walk read.
enum AviSource { kAviOpenDml, kAviIdx1, kAviWalked };

struct AviMap {
  int isAvi;  // "RIFF....AVI ", or zeros there and AVI chunks soon after
  AviSource source;
  uint64_t indexedEnd;
  uint64_t size;                   // bytes walked
  std::vector<AviStream> streams;  // by stream number
  std::vector<AviPacket> packets;  // by offset, none overlapping the next
  AviChunks chunks;    // by offset
  std::vector<AviGap> gaps;        // by offset
};

// A chunk whose payload the walk keeps, in AviWalk::kept from `at` on.
struct AviKept {
  uint32_t chunk;   // in AviWalk::chunks
  uint32_t stream;  // of the strl list holding it, when that is known
  uint64_t at, length;
};

struct AviWalkList {
  uint64_t end;
  uint32_t type, stream;  // stream: a strl list's number, when known
  int isRiff, sawMovi;    // sawMovi: a RIFF part whose movi list has begun
};

// All state of one walk.
struct AviWalk {
  uint64_t pos;      // of the next byte not yet handled (hold[0] while held)
  int state, start;  // start: what the first 12 bytes were
  uint8_t hold[12];  // the start of a header that a piece's end cut off
  uint32_t held;
  uint64_t payload;  // bytes of the current chunk still to come
  uint64_t keep;     // how many of them go to keptChunks.back()
  AviWalkList lists[8];
  uint32_t depth;
  uint32_t strls;         // strl lists numbered so far
  int strlsUncertain;     // a strl list may be lost: later ones get no number
  int looksAvi;           // after a wiped start: AVI lists, or data chunks in a row
  uint32_t inRow;         // data chunks read since the last gap
  uint64_t moviFourcc;    // the first movi list's type, where idx1 offsets may count from
  uint64_t firstRiffEnd;  // where idx1 stops counting, 0 for not known
  AviChunks chunks;
  std::vector<AviKept> keptChunks;
  std::vector<uint8_t> kept;
  std::vector<AviGap> gaps;
};

void BeginAviWalk(AviWalk* w);

// Whether the bytes walked so far are those of an AVI file.
bool AviWalkSoFar(const AviWalk& w);

// The file's next n bytes.
void WalkAviBytes(AviWalk* w, const uint8_t* bytes, uint32_t n);

// After the file's last byte: fills *map anew, moving the walk's records into it.
// It checks every index entry and builds every packet, up to 0.1 us for each on
// these machines (a dense 1 GiB file has a million): call it for a file that has
// ranges to report.
void EndAviWalk(AviWalk* w, AviMap* map);

// EndAviWalk's second half, in avi_map.cpp: the streams and the packets, once
// map->chunks and map->gaps hold the walk's records.
void BuildAviMap(const AviWalk& w, AviMap* map);

// Whether the range lies wholly inside the payload (and pad byte) of one JUNK
// chunk: mid-walk, of the bytes handled so far (all but up to 11 the last
// piece ended with), and once the map is built.
bool WalkInsideJunk(const AviWalk& w, ByteRange range);
bool InsideJunk(const AviMap& map, ByteRange range);

// A watch for a block pass that walks the bytes it sees as an AVI file's, and
// calls the inside of JUNK chunks padding.
ByteWatch AviWatch(AviWalk* walk);

// Ends the walk into *map when ranges has any and the file is an AVI file.
// Returns map then, else null.
const AviMap* AviMapFor(AviWalk* walk, const std::vector<ByteRange>& ranges, AviMap* map);
