// Message frames on the wire: an 88-byte header (magic, version, kind, status, payload
// length, priority, destination and sender names) followed by the payload. Integers are
// little-endian whatever the host's byte order; mismatch replies are 24-byte short frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wrl {

constexpr uint32_t kFrameMagic = 28004;  // bytes 'd', 'm' read as little-endian 16 bits
constexpr uint32_t kFrameVersion = 18;
constexpr size_t kNameMax = 32;             // characters of a client name on the wire
constexpr size_t kNameSize = kNameMax + 1;  // in memory, with the terminating zero

// Byte offsets of the header fields.
constexpr size_t kOffMagic = 0;      // 2 bytes
constexpr size_t kOffVersion = 2;    // 1 byte
constexpr size_t kOffKind = 3;       // 1 byte
constexpr size_t kOffStatus = 4;     // 4 bytes, unsigned
constexpr size_t kOffLength = 8;     // 4 bytes, unsigned
constexpr size_t kOffPriority = 12;  // 4 bytes, signed
constexpr size_t kOffReserved = 16;  // 8 bytes of zeros
constexpr size_t kOffTo = 24;        // destination name, zero-padded
constexpr size_t kOffFrom = 56;      // sender name, zero-padded
constexpr size_t kPrefixSize = 24;   // what is read first; all a short frame has
constexpr size_t kNamesSize = 2 * kNameMax;
constexpr size_t kHeaderSize = 88;

static_assert(kOffVersion == kOffMagic + 2 && kOffKind == kOffVersion + 1);
static_assert(kOffStatus == kOffKind + 1 && kOffLength == kOffStatus + 4);
static_assert(kOffPriority == kOffLength + 4 && kOffReserved == kOffPriority + 4);
static_assert(kPrefixSize == kOffReserved + 8 && kOffTo == kPrefixSize);
static_assert(kOffFrom == kOffTo + kNameMax && kHeaderSize == kOffFrom + kNameMax);
static_assert(kNamesSize == kHeaderSize - kPrefixSize);

// Largest payload a frame may announce. A frame above it is refused before anything is
// allocated for it, so one hostile length cannot exhaust the server's memory.
constexpr uint32_t WRL_MAX_PAYLOAD = 4u << 20;

enum MessageKind : uint32_t {
    kKindNormal = 0,
    kKindAcknowledge = 1,
    kKindIdentify = 2,
    kKindDisconnect = 3,
    kKindBackupInfo = 4,
    kKindAddClient = 5,
    kKindRemoveClient = 6,
    kKindStatus = 8,
};

// The decoded header. Names are always zero-terminated.
struct FrameHeader {
    uint32_t magic = kFrameMagic;
    uint32_t version = kFrameVersion;
    uint32_t kind = kKindNormal;
    uint32_t status = 0;
    uint32_t length = 0;
    int32_t priority = 0;
    char to[kNameSize] = {};
    char from[kNameSize] = {};
};

// True for the statuses whose frames are short (no names, no payload).
bool IsShortStatus(uint32_t status);

// Bytes of the frame: 24 for a short status, else 88 plus the payload length.
size_t FrameSize(uint32_t status, uint32_t length);

// Writes the header (24 bytes for a short status, else 88; length 0 in a short frame).
// REQUIRES: `out` holds at least that many bytes. Returns the bytes written.
// The magic and version are written as given (low 16 and 8 bits).
size_t EncodeHeader(const FrameHeader& header, uint8_t* out);

// Decodes the 24-byte prefix (magic, version, kind, status, length, priority); names
// are left alone. REQUIRES: `in` holds 24 bytes.
void DecodePrefix(const uint8_t* in, FrameHeader* header);

// Decodes the 64 name bytes (destination, then sender); each name ends after at most
// 32 characters or at its first zero. REQUIRES: `in` holds 64 bytes.
void DecodeNames(const uint8_t* in, FrameHeader* header);

// Copies at most 32 characters of `name` (null counts as empty) into `out` and
// terminates it. REQUIRES: `out` holds 33 bytes.
void CopyName(char* out, const char* name);

// Name text of a message kind; "unknown" for numbers not in the kind table.
const char* KindName(uint32_t kind);

}  // namespace wrl
