// Helpers shared by the domain and event-container stream code (domain_stream*.cpp) and by
// nobody else: little-endian block building with a running CRC-32, exact reads that keep
// the CRC, and the domains of the headers that dbv_read_domain handed out.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "outside/domain_store_internal.h"
#include "outside/domain_stream.h"
#include "outside/stream_bytes.h"

namespace domain_stream {

using stream_bytes::crc32_of;

// A block built in memory and written with one call, so that a failed write is seen once.
class BlockWriter {
  public:
    void bytes(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + size);
    }
    void u32(uint32_t value) {
        uint8_t p[4];
        domain_store::put_le32(p, value);
        bytes(p, 4);
    }
    // Appends the CRC-32 of everything so far.
    void crc() { u32(crc32_of(0, buffer_.data(), buffer_.size())); }
    bool write_to(FILE* stream) const {
        return std::fwrite(buffer_.data(), 1, buffer_.size(), stream) == buffer_.size();
    }

  private:
    std::vector<uint8_t> buffer_;
};

// Exact reads that fold every byte into the block's CRC-32.
class BlockReader {
  public:
    explicit BlockReader(FILE* stream) : stream_(stream) {}
    bool bytes(void* data, size_t size) {
        if (size == 0) return true;
        if (std::fread(data, 1, size, stream_) != size) return false;
        crc_ = crc32_of(crc_, static_cast<const uint8_t*>(data), size);
        return true;
    }
    bool u32(uint32_t* value) {
        uint8_t p[4];
        if (!bytes(p, 4)) return false;
        *value = domain_store::get_le32(p);
        return true;
    }
    // Reads a stored CRC-32 and compares it with the bytes read before it.
    bool check_crc() {
        const uint32_t expected = crc_;
        uint32_t stored = 0;
        return u32(&stored) && stored == expected;
    }
    // Reads `size` bytes into `out`, growing it only as the stream delivers them, so that a
    // huge length in a short stream costs no more memory than the stream holds.
    bool grow_bytes(std::vector<uint8_t>& out, size_t size) {
        constexpr size_t kChunk = 64 * 1024;
        out.clear();
        while (out.size() < size) {
            const size_t part = size - out.size() < kChunk ? size - out.size() : kChunk;
            const size_t at = out.size();
            out.resize(at + part);
            if (!bytes(out.data() + at, part)) return false;
        }
        return true;
    }

  private:
    FILE* stream_;
    uint32_t crc_ = 0;
};

// The domain a header of dbv_read_domain stands for. Headers are opaque to this side, so
// the read remembers the domain of each header it hands out (the latest few are enough:
// dbv_read_domainevents follows the read that made its header).
void remember_header(dbv_domainheader_s* header, dbv_domain_s* domain);
// Null for a header dbv_read_domain did not hand out recently.
dbv_domain_s* header_domain(dbv_domainheader_s* header);

}  // namespace domain_stream
