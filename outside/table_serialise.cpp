// Self-checking serialisation of one table's rows. Block layout, little-endian:
//   0  magic "QTBL"      4  format version (1)   8  row length   12  row count
//   16 CRC-32 of bytes 0..15
//   20 the rows in table order, row count x row length bytes
//   .. CRC-32 of everything before it (header, header CRC and rows)
// Reading never seeks, so it works on pipes and compressed streams, and builds the new
// rows in a separate table that replaces the old rows only once the whole block checked out.
#include <zlib.h>

#include <cstring>

#include "outside/table_store_internal.h"

namespace {

constexpr unsigned char kMagic[4] = {'Q', 'T', 'B', 'L'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 20;
constexpr size_t kReadChunkBytes = 64 * 1024;

void put_u32(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

uint32_t get_u32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uLong crc_update(uLong crc, const unsigned char* data, size_t size) {
    while (size > 0) {  // zlib takes uInt lengths
        const uInt part = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = crc32(crc, data, part);
        data += part;
        size -= part;
    }
    return crc;
}

bool read_exact(FILE* stream, unsigned char* buffer, size_t size) {
    return std::fread(buffer, 1, size, stream) == size;
}

// Reads the rows into `staging`, a chunk at a time, so that memory grows only with the
// bytes the stream really delivers, whatever the header claims.
bool read_rows(FILE* stream, size_t row_length, uint32_t row_count, table_store::RowTable& staging,
               uLong& crc) {
    const size_t rows_per_chunk = row_length >= kReadChunkBytes ? 1 : kReadChunkBytes / row_length;
    std::vector<unsigned char> buffer(rows_per_chunk * row_length);
    uint32_t remaining = row_count;
    while (remaining > 0) {
        const size_t rows = remaining < rows_per_chunk ? remaining : rows_per_chunk;
        if (!read_exact(stream, buffer.data(), rows * row_length)) return false;
        crc = crc_update(crc, buffer.data(), rows * row_length);
        for (size_t i = 0; i < rows; ++i) {
            if (!staging.insert(buffer.data() + i * row_length)) return false;  // duplicate key
        }
        remaining -= static_cast<uint32_t>(rows);
    }
    return true;
}

}  // namespace

int dbv_writetable(FILE* stream, dbv_tablestruct* table) {
    if (stream == nullptr || table == nullptr) return 1;
    const table_store::RowTable& rows = table->rows;
    const auto row_length = static_cast<size_t>(rows.row_length());
    unsigned char header[kHeaderBytes];
    std::memcpy(header, kMagic, 4);
    put_u32(header + 4, kVersion);
    put_u32(header + 8, static_cast<uint32_t>(row_length));
    put_u32(header + 12, static_cast<uint32_t>(rows.row_count()));
    put_u32(header + 16, static_cast<uint32_t>(crc_update(crc32(0, nullptr, 0), header, 16)));
    uLong crc = crc_update(crc32(0, nullptr, 0), header, kHeaderBytes);
    if (std::fwrite(header, 1, kHeaderBytes, stream) != kHeaderBytes) return 1;
    for (uint32_t slot = rows.first(); slot != table_store::kNoSlot; slot = rows.next(slot)) {
        if (rows.is_deleted(slot)) continue;
        crc = crc_update(crc, rows.row(slot), row_length);
        if (std::fwrite(rows.row(slot), 1, row_length, stream) != row_length) return 1;
    }
    unsigned char trailer[4];
    put_u32(trailer, static_cast<uint32_t>(crc));
    if (std::fwrite(trailer, 1, 4, stream) != 4) return 1;
    return 0;
}

int dbv_readtable(FILE* stream, dbv_tablestruct* table) {
    if (stream == nullptr || table == nullptr) return 1;
    try {
        unsigned char header[kHeaderBytes];
        if (!read_exact(stream, header, kHeaderBytes)) return 1;
        if (std::memcmp(header, kMagic, 4) != 0) return 1;
        const uLong header_crc = crc_update(crc32(0, nullptr, 0), header, 16);
        if (get_u32(header + 16) != static_cast<uint32_t>(header_crc)) return 1;
        if (get_u32(header + 4) != kVersion) return 1;
        const uint32_t row_length = get_u32(header + 8);
        const uint32_t row_count = get_u32(header + 12);
        if (row_length != static_cast<uint32_t>(table->rows.row_length())) return 1;
        if (row_count > static_cast<uint32_t>(INT32_MAX)) return 1;

        table_store::RowTable staging(table->layout, table->rows.next_seq());
        uLong crc = crc_update(crc32(0, nullptr, 0), header, kHeaderBytes);
        if (!read_rows(stream, row_length, row_count, staging, crc)) return 1;
        unsigned char trailer[4];
        if (!read_exact(stream, trailer, 4)) return 1;
        if (get_u32(trailer) != static_cast<uint32_t>(crc)) return 1;

        table->exhaust_cursors();
        std::swap(table->rows, staging);
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}
