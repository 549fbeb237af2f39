// Collects the frames a detached message server writes to its socketless clients and
// checks that each one is well formed: a known magic and version, a whole header, and a
// payload of exactly the announced length within the written bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "wirelay/frame.h"

namespace qm_fuzz {

struct written_frame {
    wrl::FrameHeader header;
    std::vector<uint8_t> payload;
};

struct frame_collector {
    std::map<uint32_t, std::vector<written_frame>> frames;  // by client id

    // The server's frame sink; `user` is the collector. A write may hold several frames.
    static void sink(uint32_t client, const uint8_t* bytes, size_t size, void* user) {
        auto* self = static_cast<frame_collector*>(user);
        while (size > 0) {
            if (size < wrl::kPrefixSize) fail("server wrote a partial frame header");
            written_frame f;
            wrl::DecodePrefix(bytes, &f.header);
            if (f.header.magic != wrl::kFrameMagic || f.header.version != wrl::kFrameVersion)
                fail("server wrote a frame with a foreign magic or version");
            size_t whole = wrl::kPrefixSize;
            if (!wrl::IsShortStatus(f.header.status)) {
                if (size < wrl::kHeaderSize) fail("server wrote a partial frame header");
                wrl::DecodeNames(bytes + wrl::kPrefixSize, &f.header);
                if (f.header.length > wrl::WRL_MAX_PAYLOAD) fail("server wrote an oversized frame");
                whole = wrl::kHeaderSize + f.header.length;
                if (size < whole) fail("server wrote a frame shorter than its length");
                f.payload.assign(bytes + wrl::kHeaderSize, bytes + whole);
            }
            self->frames[client].push_back(std::move(f));
            bytes += whole;
            size -= whole;
        }
    }
};

// A whole frame with the given fields.
inline std::vector<uint8_t> make_frame(uint32_t kind, const char* to, const char* from,
                                       int32_t priority, const uint8_t* payload, uint32_t length) {
    wrl::FrameHeader h;
    h.kind = kind;
    h.priority = priority;
    h.length = length;
    wrl::CopyName(h.to, to);
    wrl::CopyName(h.from, from);
    std::vector<uint8_t> out(wrl::kHeaderSize + length);
    wrl::EncodeHeader(h, out.data());
    if (length > 0) std::memcpy(out.data() + wrl::kHeaderSize, payload, length);
    return out;
}

}  // namespace qm_fuzz
