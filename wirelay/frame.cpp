// Explicit little-endian encoding of the frame header; nothing here depends on the
// compiler's layout of a struct.
#include "wirelay/frame.h"

#include <cstring>

namespace wrl {
namespace {

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutName(uint8_t* p, const char* name) {
    const size_t n = strnlen(name, kNameMax);
    std::memcpy(p, name, n);
    std::memset(p + n, 0, kNameMax - n);
}

void GetName(const uint8_t* p, char* out) {
    const size_t n = strnlen(reinterpret_cast<const char*>(p), kNameMax);
    std::memcpy(out, p, n);
    out[n] = '\0';
}

}  // namespace

bool IsShortStatus(uint32_t status) {
    return status == 12 || status == 13;
}

size_t FrameSize(uint32_t status, uint32_t length) {
    return IsShortStatus(status) ? kPrefixSize : kHeaderSize + static_cast<size_t>(length);
}

size_t EncodeHeader(const FrameHeader& h, uint8_t* out) {
    const bool is_short = IsShortStatus(h.status);
    out[kOffMagic] = static_cast<uint8_t>(h.magic);
    out[kOffMagic + 1] = static_cast<uint8_t>(h.magic >> 8);
    out[kOffVersion] = static_cast<uint8_t>(h.version);
    out[kOffKind] = static_cast<uint8_t>(h.kind);
    Put32(out + kOffStatus, h.status);
    Put32(out + kOffLength, is_short ? 0 : h.length);
    Put32(out + kOffPriority, static_cast<uint32_t>(h.priority));
    std::memset(out + kOffReserved, 0, 8);
    if (is_short) return kPrefixSize;
    PutName(out + kOffTo, h.to);
    PutName(out + kOffFrom, h.from);
    return kHeaderSize;
}

void DecodePrefix(const uint8_t* in, FrameHeader* h) {
    h->magic = static_cast<uint32_t>(in[kOffMagic]) | static_cast<uint32_t>(in[kOffMagic + 1]) << 8;
    h->version = in[kOffVersion];
    h->kind = in[kOffKind];
    h->status = Get32(in + kOffStatus);
    h->length = Get32(in + kOffLength);
    h->priority = static_cast<int32_t>(Get32(in + kOffPriority));
}

void DecodeNames(const uint8_t* in, FrameHeader* h) {
    GetName(in, h->to);
    GetName(in + kNameMax, h->from);
}

void CopyName(char* out, const char* name) {
    const size_t n = name == nullptr ? 0 : strnlen(name, kNameMax);
    if (n > 0) std::memmove(out, name, n);  // a caller may pass a message's own name back
    out[n] = '\0';
}

const char* KindName(uint32_t kind) {
    switch (kind) {
        case kKindNormal:
            return "normal";
        case kKindAcknowledge:
            return "acknowledge";
        case kKindIdentify:
            return "identify";
        case kKindDisconnect:
            return "disconnect";
        case kKindBackupInfo:
            return "backupinfo";
        case kKindAddClient:
            return "addclient";
        case kKindRemoveClient:
            return "removeclient";
        case kKindStatus:
            return "status";
        default:
            return "unknown";
    }
}

}  // namespace wrl
