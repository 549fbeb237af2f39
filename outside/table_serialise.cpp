// Self-checking serialisation of one table's rows. Block layout, little-endian:
//   0  magic "QTBL"      4  format version (1)   8  row length   12  row count
//   16 CRC-32 of bytes 0..15
//   20 the rows in table order, row count x row length bytes
//   .. CRC-32 of everything before it (header, header CRC and rows)
// Reading never seeks, so it works on pipes and compressed streams, and builds the new
// rows in a separate table that replaces the old rows only once the whole block checked out.
// A merging read (mode 2) builds that table from the rows present and the block's rows.
// Skipping reads and checks a block the same way without keeping its rows; the row length
// is then only held to the dictionary's limit.
// The not-a-number callback sees the rows of a verified block before they replace the
// table's, once per float or double value that is not a number.
#include <zlib.h>

#include <cmath>
#include <cstring>

#include "outside/domain_table_state.h"
#include "outside/stream_bytes.h"

namespace {

constexpr unsigned char kMagic[4] = {'Q', 'T', 'B', 'L'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 20;
constexpr size_t kReadChunkBytes = 64 * 1024;

using stream_bytes::crc32_of;
using stream_bytes::get_le32;
using stream_bytes::put_le32;

bool read_exact(FILE* stream, unsigned char* buffer, size_t size) {
    return std::fread(buffer, 1, size, stream) == size;
}

// Bytes left in `stream` after its position when it is a file that can tell (-1 when it
// cannot, as with pipes). Only standard calls, so that the stream is left where it was.
long long bytes_left(FILE* stream) {
    const long here = std::ftell(stream);
    if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
    const long end = std::ftell(stream);
    if (std::fseek(stream, here, SEEK_SET) != 0) return -1;
    return end < here ? -1 : static_cast<long long>(end) - here;
}

// Reads the rows into `staging` (null: reads and drops them), a chunk at a time, so that
// memory grows only with the bytes the stream really delivers, whatever the header claims.
// When the stream is a file holding all the rows claimed, `staging` is sized for them at
// once instead of growing as they come.
bool read_rows(FILE* stream, size_t row_length, uint32_t row_count, table_store::RowTable* staging,
               uLong& crc) {
    if (staging != nullptr) {
        const long long left = bytes_left(stream);
        if (left >= 0 && uint64_t{row_count} * row_length <= static_cast<uint64_t>(left)) {
            staging->reserve(row_count);
        }
    }
    const size_t rows_per_chunk = row_length >= kReadChunkBytes ? 1 : kReadChunkBytes / row_length;
    std::vector<unsigned char> buffer;
    uint32_t remaining = row_count;
    while (remaining > 0) {
        const size_t rows = remaining < rows_per_chunk ? remaining : rows_per_chunk;
        if (!table_store::read_growing(stream, buffer, rows * row_length)) return false;
        crc = crc32_of(crc, buffer.data(), rows * row_length);
        if (staging != nullptr && !staging->append_unindexed(buffer.data(), rows)) return false;
        remaining -= static_cast<uint32_t>(rows);
    }
    // The index is built once all rows are in; a repeated key fails the read.
    return staging == nullptr || staging->index_appended();
}

// Reads one block. `table` null: the block is only checked (any row length up to the
// dictionary's limit). Otherwise the block's row length must be the table's and `staging`
// receives the rows.
bool read_block(FILE* stream, const dbv_tablestruct* table, table_store::RowTable* staging) {
    unsigned char header[kHeaderBytes];
    if (!read_exact(stream, header, kHeaderBytes)) return false;
    if (std::memcmp(header, kMagic, 4) != 0) return false;
    const uLong header_crc = crc32_of(crc32(0, nullptr, 0), header, 16);
    if (get_le32(header + 16) != static_cast<uint32_t>(header_crc)) return false;
    if (get_le32(header + 4) != kVersion) return false;
    const uint32_t row_length = get_le32(header + 8);
    const uint32_t row_count = get_le32(header + 12);
    if (table != nullptr && row_length != static_cast<uint32_t>(table->rows.row_length())) {
        return false;
    }
    if (row_length == 0 || row_length > static_cast<uint32_t>(table_store::kMaxRowLength)) {
        return false;
    }
    if (row_count > static_cast<uint32_t>(INT32_MAX)) return false;
    uLong crc = crc32_of(crc32(0, nullptr, 0), header, kHeaderBytes);
    if (!read_rows(stream, row_length, row_count, staging, crc)) return false;
    unsigned char trailer[4];
    if (!read_exact(stream, trailer, 4)) return false;
    return get_le32(trailer) == static_cast<uint32_t>(crc);
}

// Replaces the table's rows with the block's (mode 1) or adds them to those present (2).
int read_table(FILE* stream, dbv_tablestruct* table, int32_t mode) {
    if (stream == nullptr || table == nullptr || (mode != 1 && mode != 2)) return 1;
    if (table_store::domain_of(table) != nullptr) return 1;  // its rows carry time ids
    try {
        table_store::RowTable staging(table->layout, table->rows.next_seq());
        size_t present = 0;
        if (mode == 2) {
            const table_store::RowTable& rows = table->rows;
            for (uint32_t slot = rows.first(); slot != table_store::kNoSlot;
                 slot = rows.next(slot)) {
                if (rows.is_deleted(slot)) continue;
                if (!staging.insert(rows.row(slot))) return 1;
                ++present;
            }
        }
        if (!read_block(stream, table, &staging)) return 1;
        // The rows present are first in table order; the callback sees only the block's.
        uint32_t slot = staging.first();
        for (size_t i = 0; i < present; ++i) slot = staging.next(slot);
        for (; slot != table_store::kNoSlot; slot = staging.next(slot)) {
            table_store::report_not_a_numbers(table, staging.row(slot));
        }
        table->exhaust_cursors();
        std::swap(table->rows, staging);
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

}  // namespace

namespace table_store {

bool read_growing(FILE* stream, std::vector<unsigned char>& buffer, size_t size) {
    // A buffer that already holds `size` bytes is reused as it is: filling it anew before
    // every read would cost as much as the read.
    for (size_t have = 0; have < size;) {
        const size_t piece = size - have < kReadChunkBytes ? size - have : kReadChunkBytes;
        if (buffer.size() < have + piece) buffer.resize(have + piece);
        if (!read_exact(stream, buffer.data() + have, piece)) return false;
        have += piece;
    }
    return true;
}

void report_not_a_numbers(dbv_tablestruct* table, const unsigned char* row) {
    const TableExtras* x = table->extras.get();
    if (x == nullptr || x->nan_callback == nullptr) return;
    const auto& columns = table->layout->columns;
    for (size_t c = 0; c < columns.size(); ++c) {
        const ColumnLayout& column = columns[c];
        bool not_a_number = false;
        if (column.type == DBD_FLOAT) {
            float value;
            std::memcpy(&value, row + column.offset, sizeof value);
            not_a_number = std::isnan(value);
        } else if (column.type == DBD_DOUBLE) {
            double value;
            std::memcpy(&value, row + column.offset, sizeof value);
            not_a_number = std::isnan(value);
        }
        if (not_a_number) x->nan_callback(table, x->nan_context, static_cast<int32_t>(c));
    }
}

}  // namespace table_store

int dbv_readtable(FILE* stream, dbv_tablestruct* table) {
    return read_table(stream, table, 1);
}

int dbv_readtableinmode(FILE* stream, dbv_tablestruct* table, int32_t mode) {
    return read_table(stream, table, mode);
}

int dbv_skiptable(FILE* stream) {
    if (stream == nullptr) return 1;
    try {
        return read_block(stream, nullptr, nullptr) ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_writetable(FILE* stream, dbv_tablestruct* table) {
    if (stream == nullptr || table == nullptr) return 1;
    const table_store::RowTable& rows = table->rows;
    const auto row_length = static_cast<size_t>(rows.row_length());
    unsigned char header[kHeaderBytes];
    std::memcpy(header, kMagic, 4);
    put_le32(header + 4, kVersion);
    put_le32(header + 8, static_cast<uint32_t>(row_length));
    put_le32(header + 12, static_cast<uint32_t>(rows.row_count()));
    put_le32(header + 16, static_cast<uint32_t>(crc32_of(crc32(0, nullptr, 0), header, 16)));
    uLong crc = crc32_of(crc32(0, nullptr, 0), header, kHeaderBytes);
    if (std::fwrite(header, 1, kHeaderBytes, stream) != kHeaderBytes) return 1;
    for (uint32_t slot = rows.first(); slot != table_store::kNoSlot; slot = rows.next(slot)) {
        if (rows.is_deleted(slot)) continue;
        crc = crc32_of(crc, rows.row(slot), row_length);
        if (std::fwrite(rows.row(slot), 1, row_length, stream) != row_length) return 1;
    }
    unsigned char trailer[4];
    put_le32(trailer, static_cast<uint32_t>(crc));
    if (std::fwrite(trailer, 1, 4, stream) != 4) return 1;
    return 0;
}
