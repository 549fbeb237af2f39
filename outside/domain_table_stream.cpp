// Domain tables in a stream: a self-checking block with the rows' time ids and change flags
// and the history rows, tied to its domain by the domain's guid prefix. Block layout,
// little-endian, every number 4 bytes:
//   0  magic "QDTB"        4  format version (1)   8  row length
//   12 live row count      16 history row count    20 the domain's guid prefix (12 bytes)
//   32 CRC-32 of bytes 0..31
//   36 the live rows in table order, each: row bytes, creation id, modification id, flags
//   .. the history rows in order of deletion, each: row bytes, creation id, modification
//      id, deletion id, flags
//   .. CRC-32 of everything before it
// Time ids are the domain's local ids; every one must be known to the domain that reads the
// block, and flags hold only DBV_CHANGE_EXISTENCE and DBV_CHANGE_CONTENTS. In change-control
// mode 2 a write holds only the rows with a flag set (an incremental save) and a read merges
// the block into the table: a live row replaces the row with its primary key or is added, a
// history row is added and removes the live row with its primary key and creation id.
//
// A read never seeks and builds the new rows, times and history apart from the table, a
// chunk at a time as the stream delivers them; only when the whole block has checked out
// (including duplicate primary keys among its live rows) does it replace the table's. A
// skip reads and checks a block the same way and keeps nothing.
#include <zlib.h>

#include <cstring>
#include <unordered_set>

#include "outside/domain_store_internal.h"
#include "outside/domain_table_state.h"
#include "outside/stream_bytes.h"

struct dbv_domainheader_s {
    dbv_domain_s* domain = nullptr;
};

namespace {

using table_store::HistoryRow;
using table_store::RowTimes;

constexpr unsigned char kMagic[4] = {'Q', 'D', 'T', 'B'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 36;
constexpr size_t kReadChunkBytes = 64 * 1024;
constexpr uint32_t kAllFlags = DBV_CHANGE_EXISTENCE | DBV_CHANGE_CONTENTS;

std::unordered_set<const dbv_domainheader_s*>& headers() {
    static auto& instance = *new std::unordered_set<const dbv_domainheader_s*>;
    return instance;
}

// The domain of a live header whose domain still exists; null otherwise.
const domain_store::Domain* header_domain(const dbv_domainheader_s* header) {
    if (headers().count(header) == 0) return nullptr;
    return domain_store::find_domain(header->domain);
}

void put_u32(std::vector<unsigned char>& out, uint32_t v) {
    unsigned char bytes[4];
    domain_store::put_le32(bytes, v);
    out.insert(out.end(), bytes, bytes + 4);
}

bool write_all(FILE* stream, const std::vector<unsigned char>& bytes, uLong* crc) {
    *crc = stream_bytes::crc32_of(*crc, bytes.data(), bytes.size());
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

// A live or history record as read: the row bytes stay in the chunk buffer.
struct Record {
    const unsigned char* row = nullptr;
    int32_t creation = 0;
    int32_t modification = 0;
    int32_t deletion = 0;
    uint8_t flags = 0;
};

// Reads `count` records of `row_length` row bytes and `ids` trailing numbers (the last of
// them the flags), a chunk at a time, and hands each checked record to `take`. False on a
// short stream, an id the domain does not know, flags out of range or a refusal by `take`.
template <class Take>
bool read_records(FILE* stream, dbv_domain_s* domain, size_t row_length, size_t ids, uint32_t count,
                  uLong* crc, Take take) {
    const size_t record_length = row_length + 4 * ids;
    const size_t per_chunk = record_length >= kReadChunkBytes ? 1 : kReadChunkBytes / record_length;
    std::vector<unsigned char> buffer;
    uint32_t remaining = count;
    while (remaining > 0) {
        const size_t records = remaining < per_chunk ? remaining : per_chunk;
        if (!table_store::read_growing(stream, buffer, records * record_length)) return false;
        *crc = stream_bytes::crc32_of(*crc, buffer.data(), records * record_length);
        for (size_t i = 0; i < records; ++i) {
            const unsigned char* p = buffer.data() + i * record_length;
            Record record;
            record.row = p;
            p += row_length;
            int32_t numbers[3] = {0, 0, 0};
            for (size_t n = 0; n + 1 < ids; ++n) {
                numbers[n] = static_cast<int32_t>(domain_store::get_le32(p + 4 * n));
                if (!table_store::is_known_time_id(domain, numbers[n])) return false;
            }
            const uint32_t flags = domain_store::get_le32(p + 4 * (ids - 1));
            if ((flags & ~kAllFlags) != 0) return false;
            record.creation = numbers[0];
            record.modification = numbers[1];
            record.deletion = numbers[2];
            record.flags = static_cast<uint8_t>(flags);
            if (!take(record)) return false;
        }
        remaining -= static_cast<uint32_t>(records);
    }
    return true;
}

// The header fields of a block whose magic, CRC, version and prefix checked out.
struct BlockHeader {
    uint32_t row_length = 0;
    uint32_t live_count = 0;
    uint32_t history_count = 0;
};

bool read_header(FILE* stream, const domain_store::Domain& domain, BlockHeader* out, uLong* crc) {
    unsigned char header[kHeaderBytes];
    if (std::fread(header, 1, kHeaderBytes, stream) != kHeaderBytes) return false;
    if (std::memcmp(header, kMagic, 4) != 0) return false;
    if (domain_store::get_le32(header + 32) !=
        static_cast<uint32_t>(stream_bytes::crc32_of(crc32(0, nullptr, 0), header, 32))) {
        return false;
    }
    if (domain_store::get_le32(header + 4) != kVersion) return false;
    out->row_length = domain_store::get_le32(header + 8);
    out->live_count = domain_store::get_le32(header + 12);
    out->history_count = domain_store::get_le32(header + 16);
    if (out->row_length == 0 ||
        out->row_length > static_cast<uint32_t>(table_store::kMaxRowLength)) {
        return false;
    }
    if (out->live_count > static_cast<uint32_t>(INT32_MAX)) return false;
    if (out->history_count > static_cast<uint32_t>(INT32_MAX)) return false;
    if (std::memcmp(header + 20, domain.prefix.data(), domain.prefix.size()) != 0) return false;
    *crc = stream_bytes::crc32_of(crc32(0, nullptr, 0), header, kHeaderBytes);
    return true;
}

bool read_trailer(FILE* stream, uLong crc) {
    unsigned char trailer[4];
    if (std::fread(trailer, 1, 4, stream) != 4) return false;
    return domain_store::get_le32(trailer) == static_cast<uint32_t>(crc);
}

// The new state of a table, built apart from it.
struct Staging {
    explicit Staging(const dbv_tablestruct& table) : rows(table.layout, table.rows.next_seq()) {}
    table_store::RowTable rows;
    std::vector<RowTimes> times;  // by slot of `rows`
    std::vector<HistoryRow> history;
    std::vector<unsigned char> history_bytes;

    void set_times(uint32_t slot, const RowTimes& t) {
        if (times.size() <= slot) times.resize(size_t{rows.capacity()});
        times[slot] = t;
    }
    void add_history(const unsigned char* row, size_t row_length, const HistoryRow& h) {
        history.push_back(h);
        history_bytes.insert(history_bytes.end(), row, row + row_length);
    }
};

// Copies the table's live rows and history into `staging` (the start of a merge).
bool copy_table(const dbv_tablestruct& table, Staging* staging) {
    const table_store::RowTable& rows = table.rows;
    for (uint32_t slot = rows.first(); slot != table_store::kNoSlot; slot = rows.next(slot)) {
        if (rows.is_deleted(slot)) continue;
        if (!staging->rows.insert(rows.row(slot))) return false;
        staging->set_times(staging->rows.last_inserted_slot(), table.extras->times[slot]);
    }
    staging->history = table.extras->history;
    staging->history_bytes = table.extras->history_bytes;
    return true;
}

bool read_into(FILE* stream, dbv_tablestruct* table, const domain_store::Domain& domain, bool merge,
               Staging* staging) {
    dbv_domain_s* handle = table->extras->domain;
    BlockHeader header;
    uLong crc = 0;
    if (!read_header(stream, domain, &header, &crc)) return false;
    const auto row_length = static_cast<size_t>(table->rows.row_length());
    if (header.row_length != row_length) return false;
    if (merge && !copy_table(*table, staging)) return false;
    table_store::RowTable& rows = staging->rows;
    std::unordered_set<uint32_t> from_block;  // slots the block filled: a key given twice
    const bool live_ok =
        read_records(stream, handle, row_length, 3, header.live_count, &crc, [&](const Record& r) {
            const RowTimes times{r.creation, r.modification, r.flags};
            uint64_t hash = 0;
            const uint32_t present =
                merge ? rows.find_primary_key(r.row, &hash, false) : table_store::kNoSlot;
            uint32_t slot = present;
            if (present != table_store::kNoSlot) {
                if (from_block.count(present) != 0) return false;
                if (!rows.replace(present, r.row, true)) return false;
            } else {
                if (!rows.insert(r.row)) return false;
                slot = rows.last_inserted_slot();
            }
            staging->set_times(slot, times);
            if (merge) from_block.insert(slot);
            return true;
        });
    if (!live_ok) return false;
    const bool history_ok = read_records(
        stream, handle, row_length, 4, header.history_count, &crc, [&](const Record& r) {
            if (merge) {  // the deleted row leaves the live rows
                uint64_t hash = 0;
                const uint32_t slot = rows.find_primary_key(r.row, &hash, true);
                if (slot != table_store::kNoSlot && staging->times[slot].creation == r.creation) {
                    rows.erase(slot, hash);
                }
            }
            staging->add_history(r.row, row_length,
                                 HistoryRow{r.creation, r.modification, r.deletion, r.flags});
            return true;
        });
    return history_ok && read_trailer(stream, crc);
}

}  // namespace

int dbv_createdomainheader(dbv_domain_s* domain, dbv_domainheader_s** header) {
    if (header == nullptr || domain_store::find_domain(domain) == nullptr) return 1;
    try {
        auto made = std::make_unique<dbv_domainheader_s>();
        made->domain = domain;
        headers().insert(made.get());
        *header = made.release();
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_deletedomainheader(dbv_domainheader_s* header) {
    if (headers().erase(header) == 0) return 1;
    delete header;
    return 0;
}

int dbv_writetable_domain(FILE* stream, dbv_domainheader_s* header, dbv_tablestruct* table) {
    if (stream == nullptr || table == nullptr) return 1;
    const domain_store::Domain* domain = header_domain(header);
    if (domain == nullptr || table_store::domain_of(table) != header->domain) return 1;
    try {
        const table_store::TableExtras& x = *table->extras;
        const table_store::RowTable& rows = table->rows;
        const auto row_length = static_cast<size_t>(rows.row_length());
        const bool changed_only = x.change_mode == 2;
        uint32_t live = 0;
        for (uint32_t slot = rows.first(); slot != table_store::kNoSlot; slot = rows.next(slot)) {
            if (!rows.is_deleted(slot) && (!changed_only || x.times[slot].flags != 0)) ++live;
        }
        uint32_t history = 0;
        for (const HistoryRow& h : x.history) history += (!changed_only || h.flags != 0) ? 1 : 0;

        std::vector<unsigned char> bytes(kMagic, kMagic + 4);
        put_u32(bytes, kVersion);
        put_u32(bytes, static_cast<uint32_t>(row_length));
        put_u32(bytes, live);
        put_u32(bytes, history);
        bytes.insert(bytes.end(), domain->prefix.begin(), domain->prefix.end());
        put_u32(bytes, static_cast<uint32_t>(
                           stream_bytes::crc32_of(crc32(0, nullptr, 0), bytes.data(), 32)));
        uLong crc = crc32(0, nullptr, 0);
        if (!write_all(stream, bytes, &crc)) return 1;
        for (uint32_t slot = rows.first(); slot != table_store::kNoSlot; slot = rows.next(slot)) {
            const RowTimes& t = x.times[slot];
            if (rows.is_deleted(slot) || (changed_only && t.flags == 0)) continue;
            bytes.assign(rows.row(slot), rows.row(slot) + row_length);
            put_u32(bytes, static_cast<uint32_t>(t.creation));
            put_u32(bytes, static_cast<uint32_t>(t.modification));
            put_u32(bytes, t.flags);
            if (!write_all(stream, bytes, &crc)) return 1;
        }
        for (size_t i = 0; i < x.history.size(); ++i) {
            const HistoryRow& h = x.history[i];
            if (changed_only && h.flags == 0) continue;
            bytes.assign(x.history_row(i, row_length), x.history_row(i, row_length) + row_length);
            put_u32(bytes, static_cast<uint32_t>(h.creation));
            put_u32(bytes, static_cast<uint32_t>(h.modification));
            put_u32(bytes, static_cast<uint32_t>(h.deletion));
            put_u32(bytes, h.flags);
            if (!write_all(stream, bytes, &crc)) return 1;
        }
        bytes.clear();
        put_u32(bytes, static_cast<uint32_t>(crc));
        return std::fwrite(bytes.data(), 1, 4, stream) == 4 ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_readtable_domain(FILE* stream, dbv_domainheader_s* header, dbv_tablestruct* table) {
    if (stream == nullptr || table == nullptr) return 1;
    const domain_store::Domain* domain = header_domain(header);
    if (domain == nullptr || table_store::domain_of(table) != header->domain) return 1;
    try {
        table_store::TableExtras& x = *table->extras;
        Staging staging(*table);
        if (!read_into(stream, table, *domain, x.change_mode == 2, &staging)) return 1;
        const auto row_length = static_cast<size_t>(table->rows.row_length());
        for (uint32_t slot = staging.rows.first(); slot != table_store::kNoSlot;
             slot = staging.rows.next(slot)) {
            table_store::report_not_a_numbers(table, staging.rows.row(slot));
        }
        for (size_t i = 0; i < staging.history.size(); ++i) {
            table_store::report_not_a_numbers(table, staging.history_bytes.data() + i * row_length);
        }
        table->exhaust_cursors();
        std::swap(table->rows, staging.rows);
        std::swap(x.times, staging.times);
        std::swap(x.history, staging.history);
        std::swap(x.history_bytes, staging.history_bytes);
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_skiptable_domain(FILE* stream, dbv_domainheader_s* header) {
    if (stream == nullptr) return 1;
    const domain_store::Domain* domain = header_domain(header);
    if (domain == nullptr) return 1;
    try {
        BlockHeader block;
        uLong crc = 0;
        if (!read_header(stream, *domain, &block, &crc)) return 1;
        const auto keep_nothing = [](const Record&) { return true; };
        if (!read_records(stream, header->domain, block.row_length, 3, block.live_count, &crc,
                          keep_nothing)) {
            return 1;
        }
        if (!read_records(stream, header->domain, block.row_length, 4, block.history_count, &crc,
                          keep_nothing)) {
            return 1;
        }
        return read_trailer(stream, crc) ? 0 : 1;
    } catch (const std::exception&) {
        return 1;
    }
}
