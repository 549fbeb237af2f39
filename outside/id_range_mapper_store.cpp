// Id range mappers: runs of old ids mapped onto runs of a domain's time ids, kept sorted by
// their first old id so that a lookup is one binary search over a dense array. Each run
// carries the domain's guid prefix, so a mapper answers without its domain (and outlives
// it). The body in a stream, little-endian throughout:
//   0   magic "QIRM"     4  format version (1)     8  run count
//   12  CRC-32 of bytes 0..11
//   16  the runs in ascending order of old id, 24 bytes each: old first, count, new first
//       (signed 32-bit each), then the 12-byte guid prefix of the new ids
//   ..  CRC-32 of everything before it
// Reading never seeks (gzip streams work), allocates only as the stream delivers runs, and
// swaps the new runs in only after the whole body checked out.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "outside/domain_store_internal.h"
#include "outside/store_seams.h"

using domain_store::get_le32;
using domain_store::Mapper;
using domain_store::put_le32;
using domain_store::RunTarget;
using domain_store::store;

namespace {

constexpr uint8_t kMagic[4] = {'Q', 'I', 'R', 'M'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderBytes = 16;
constexpr size_t kRunBytes = 24;
constexpr size_t kRunsPerChunk = 1024;  // what a read takes in before it checks the stream

Mapper* find_mapper(dbv_idrangemapper_s* mapper) {
    return store().mappers.get(domain_store::from_handle(mapper));
}

int64_t last_of(int32_t first, int32_t count) {
    return static_cast<int64_t>(first) + count - 1;
}

// A run that keeps every id within 1 ... INT32_MAX on both sides.
bool run_in_range(int32_t old_first, int32_t new_first, int32_t count) {
    return count >= 1 && old_first >= 1 && new_first >= 1 &&
           last_of(old_first, count) <= INT32_MAX && last_of(new_first, count) <= INT32_MAX;
}

void encode_run(uint8_t* out, int32_t old_first, const RunTarget& target) {
    put_le32(out, static_cast<uint32_t>(old_first));
    put_le32(out + 4, static_cast<uint32_t>(target.count));
    put_le32(out + 8, static_cast<uint32_t>(target.new_first));
    std::memcpy(out + 12, target.prefix.data(), target.prefix.size());
}

// Decodes and checks the runs of one chunk against the ranges and the runs before them.
bool decode_runs(const uint8_t* in, size_t runs, Mapper& staging) {
    for (size_t i = 0; i < runs; ++i, in += kRunBytes) {
        const auto old_first = static_cast<int32_t>(get_le32(in));
        RunTarget target;
        target.count = static_cast<int32_t>(get_le32(in + 4));
        target.new_first = static_cast<int32_t>(get_le32(in + 8));
        std::memcpy(target.prefix.data(), in + 12, target.prefix.size());
        if (!run_in_range(old_first, target.new_first, target.count)) return false;
        if (!staging.old_firsts.empty() &&
            last_of(staging.old_firsts.back(), staging.targets.back().count) >= old_first) {
            return false;  // overlapping or out of order
        }
        staging.old_firsts.push_back(old_first);
        staging.targets.push_back(target);
    }
    return true;
}

bool read_body(FILE* stream, Mapper& staging) {
    uint8_t header[kHeaderBytes];
    if (std::fread(header, 1, kHeaderBytes, stream) != kHeaderBytes) return false;
    if (std::memcmp(header, kMagic, 4) != 0) return false;
    if (get_le32(header + 12) != stream_bytes::crc32_of(crc32(0, nullptr, 0), header, 12))
        return false;
    if (get_le32(header + 4) != kVersion) return false;
    const uint32_t run_count = get_le32(header + 8);
    if (run_count > static_cast<uint32_t>(INT32_MAX)) return false;
    uint32_t crc = stream_bytes::crc32_of(crc32(0, nullptr, 0), header, kHeaderBytes);

    std::vector<uint8_t> chunk(std::min<size_t>(run_count, kRunsPerChunk) * kRunBytes);
    for (uint32_t remaining = run_count; remaining > 0;) {
        const size_t runs = std::min<size_t>(remaining, kRunsPerChunk);
        const size_t bytes = runs * kRunBytes;
        if (std::fread(chunk.data(), 1, bytes, stream) != bytes) return false;
        crc = stream_bytes::crc32_of(crc, chunk.data(), bytes);
        if (!decode_runs(chunk.data(), runs, staging)) return false;
        remaining -= static_cast<uint32_t>(runs);
    }
    uint8_t trailer[4];
    if (std::fread(trailer, 1, 4, stream) != 4) return false;
    return get_le32(trailer) == crc;
}

}  // namespace

int dbv_createidrangemapper(dbv_idrangemapper_s** mapper) {
    if (store_seams::ShouldFail("dbv_createidrangemapper") || mapper == nullptr) return 1;
    try {
        const uint64_t handle = store().mappers.add(Mapper{});
        if (handle == 0) return 1;
        *mapper = domain_store::to_handle<dbv_idrangemapper_s>(handle);
        return 0;
    } catch (...) {
        return 1;
    }
}

int dbv_deleteidrangemapper(dbv_idrangemapper_s* mapper) {
    if (store_seams::ShouldFail("dbv_deleteidrangemapper")) return 1;
    return store().mappers.remove(domain_store::from_handle(mapper)) ? 0 : 1;
}

int dbv_idrangemapper_map(dbv_idrangemapper_s* mapper, dbv_domain_s* domain, int32_t old_first,
                          int32_t new_first, int32_t count) {
    if (store_seams::ShouldFail("dbv_idrangemapper_map")) return 1;
    Mapper* m = find_mapper(mapper);
    const domain_store::Domain* d = domain_store::find_domain(domain);
    if (m == nullptr || d == nullptr || !run_in_range(old_first, new_first, count)) return 1;

    // The new run must be own ids the domain handed out: not past its counter and not the
    // local id of an import, whose guid is foreign.
    const int64_t new_last = last_of(new_first, count);
    if (new_last > d->last_id) return 1;
    const auto import = std::lower_bound(
        d->imports.begin(), d->imports.end(), new_first,
        [](const domain_store::ImportRecord& r, int32_t id) { return r.local_id < id; });
    if (import != d->imports.end() && import->local_id <= new_last) return 1;

    const auto next = std::upper_bound(m->old_firsts.begin(), m->old_firsts.end(), old_first);
    const auto position = static_cast<size_t>(next - m->old_firsts.begin());
    if (position > 0 &&
        last_of(m->old_firsts[position - 1], m->targets[position - 1].count) >= old_first) {
        return 1;
    }
    if (position < m->old_firsts.size() && m->old_firsts[position] <= last_of(old_first, count)) {
        return 1;
    }
    try {
        domain_store::reserve_one_more(m->old_firsts);
        domain_store::reserve_one_more(m->targets);
    } catch (...) {
        return 1;
    }
    const auto offset = static_cast<std::ptrdiff_t>(position);
    m->old_firsts.insert(m->old_firsts.begin() + offset, old_first);
    m->targets.insert(m->targets.begin() + offset, RunTarget{count, new_first, d->prefix});
    return 0;
}

int dbv_idrangemapper_idtoguid(dbv_idrangemapper_s* mapper, int32_t old_id, dbv_guid_s* guid) {
    if (store_seams::ShouldFail("dbv_idrangemapper_idtoguid") || guid == nullptr) return 1;
    const Mapper* m = find_mapper(mapper);
    if (m == nullptr) return 1;
    const auto next = std::upper_bound(m->old_firsts.begin(), m->old_firsts.end(), old_id);
    if (next == m->old_firsts.begin()) return 1;
    const auto index = static_cast<size_t>(next - m->old_firsts.begin()) - 1;
    const RunTarget& target = m->targets[index];
    const int64_t offset = static_cast<int64_t>(old_id) - m->old_firsts[index];
    if (offset >= target.count) return 1;
    *guid = domain_store::own_guid(target.prefix, static_cast<uint32_t>(target.new_first + offset));
    return 0;
}

int dbv_idrangemapper_write(FILE* stream, dbv_idrangemapper_s* mapper) {
    if (store_seams::ShouldFail("dbv_idrangemapper_write") || stream == nullptr) return 1;
    const Mapper* m = find_mapper(mapper);
    if (m == nullptr) return 1;
    try {
        uint8_t header[kHeaderBytes];
        std::memcpy(header, kMagic, 4);
        put_le32(header + 4, kVersion);
        put_le32(header + 8, static_cast<uint32_t>(m->old_firsts.size()));
        put_le32(header + 12, stream_bytes::crc32_of(crc32(0, nullptr, 0), header, 12));
        if (std::fwrite(header, 1, kHeaderBytes, stream) != kHeaderBytes) return 1;
        uint32_t crc = stream_bytes::crc32_of(crc32(0, nullptr, 0), header, kHeaderBytes);

        std::vector<uint8_t> chunk(std::min(m->old_firsts.size(), kRunsPerChunk) * kRunBytes);
        for (size_t done = 0; done < m->old_firsts.size();) {
            const size_t runs = std::min(m->old_firsts.size() - done, kRunsPerChunk);
            for (size_t i = 0; i < runs; ++i) {
                encode_run(chunk.data() + i * kRunBytes, m->old_firsts[done + i],
                           m->targets[done + i]);
            }
            const size_t bytes = runs * kRunBytes;
            crc = stream_bytes::crc32_of(crc, chunk.data(), bytes);
            if (std::fwrite(chunk.data(), 1, bytes, stream) != bytes) return 1;
            done += runs;
        }
        uint8_t trailer[4];
        put_le32(trailer, crc);
        return std::fwrite(trailer, 1, 4, stream) == 4 ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

int dbv_idrangemapper_read(FILE* stream, dbv_idrangemapper_s* mapper) {
    if (store_seams::ShouldFail("dbv_idrangemapper_read") || stream == nullptr) return 1;
    Mapper* m = find_mapper(mapper);
    if (m == nullptr) return 1;
    try {
        Mapper staging;
        if (!read_body(stream, staging)) return 1;
        std::swap(*m, staging);
        return 0;
    } catch (...) {
        return 1;
    }
}
