// A domain's state in a stream. Block layout, little-endian:
//   0  magic "QDOM"   4  format version (1)   8  guid prefix (12 bytes)   20  id counter
//   24 import count   28 CRC-32 of bytes 0..27
//   32 the imports in order of their local ids, 24 bytes each: local id, flags (bit 0:
//      forgotten by dbv_cleardomain; no other bit), the foreign guid (16 bytes)
//   .. CRC-32 of everything before it
// The read builds the new state aside and checks it against the domain and its events
// before it swaps it in; the header and the baseline event are made after the swap, and a
// failure of either swaps the old state back, so a refused read leaves no trace.
#include <cstring>
#include <utility>

#include "outside/domain_stream_internal.h"
#include "outside/store_seams.h"

using domain_store::Domain;
using domain_store::ImportRecord;
using domain_store::store;

namespace {

constexpr uint8_t kMagic[4] = {'Q', 'D', 'O', 'M'};
constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kForgotten = 1;
constexpr size_t kImportsPerChunk = 4096;

// The state a block carries.
struct DomainState {
    domain_store::GuidPrefix prefix{};
    int32_t last_id = 0;
    std::vector<ImportRecord> imports;
    std::unordered_map<domain_store::GuidKey, int32_t, domain_store::GuidKeyHash> import_by_guid;
};

bool read_import(domain_stream::BlockReader& reader, ImportRecord* record) {
    uint32_t local_id = 0;
    uint32_t flags = 0;
    if (!reader.u32(&local_id) || !reader.u32(&flags)) return false;
    if (!reader.bytes(record->guid.bytes, sizeof record->guid.bytes)) return false;
    if ((flags & ~kForgotten) != 0 || local_id == 0 || local_id > INT32_MAX) return false;
    record->local_id = static_cast<int32_t>(local_id);
    record->forgotten = (flags & kForgotten) != 0;
    return true;
}

// Reads and verifies a whole block. Imports are taken a chunk at a time, so memory follows
// what the stream delivers, not what the count claims.
bool read_state(FILE* stream, DomainState* state) {
    domain_stream::BlockReader reader(stream);
    uint8_t magic[4];
    uint32_t version = 0;
    uint32_t last_id = 0;
    uint32_t count = 0;
    if (!reader.bytes(magic, 4) || std::memcmp(magic, kMagic, 4) != 0) return false;
    if (!reader.u32(&version) || !reader.bytes(state->prefix.data(), state->prefix.size())) {
        return false;
    }
    if (!reader.u32(&last_id) || !reader.u32(&count) || !reader.check_crc()) return false;
    if (version != kFormatVersion || last_id > INT32_MAX || count > last_id) return false;
    state->last_id = static_cast<int32_t>(last_id);
    int32_t previous = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (state->imports.size() == state->imports.capacity()) {
            state->imports.reserve(state->imports.size() + kImportsPerChunk);
        }
        ImportRecord record;
        if (!read_import(reader, &record)) return false;
        // Local ids only grow and stay within the counter; a foreign guid never carries the
        // domain's own prefix, and a known guid has one local id.
        if (record.local_id <= previous || record.local_id > state->last_id) return false;
        if (std::memcmp(record.guid.bytes, state->prefix.data(), state->prefix.size()) == 0) {
            return false;
        }
        if (!record.forgotten &&
            !state->import_by_guid.emplace(domain_store::guid_key(record.guid), record.local_id)
                 .second) {
            return false;
        }
        previous = record.local_id;
        state->imports.push_back(record);
    }
    return reader.check_crc();
}

// A container handle of `domain`, or null.
domain_store::EventContainer* container_of(dbv_domainevents_s* events, const Domain& domain) {
    domain_store::EventContainer* container =
        store().containers.get(domain_store::from_handle(events));
    if (container == nullptr) return nullptr;
    return &store().domains.at_slot(container->domain_slot) == &domain ? container : nullptr;
}

bool event_of(dbv_event_s* event, const Domain& domain) {
    const domain_store::Event* e = store().events.get(domain_store::from_handle(event));
    if (e == nullptr) return false;
    const auto& container = store().containers.at_slot(e->container_slot);
    return &store().domains.at_slot(container.domain_slot) == &domain;
}

// No event of the domain may hold an id the new counter would hand out again.
bool events_within(const Domain& domain, int32_t last_id) {
    auto& s = store();
    for (const uint32_t container_slot : domain.container_slots) {
        for (const uint32_t event_slot : s.containers.at_slot(container_slot).event_slots) {
            if (s.events.at_slot(event_slot).time_id > last_id) return false;
        }
    }
    return true;
}

// An incremental block continues this domain: same prefix, no lower counter, and every
// import known here known there under the same local id.
bool continues(const Domain& domain, const DomainState& state) {
    if (domain.prefix != state.prefix || state.last_id < domain.last_id) return false;
    for (const auto& [key, local_id] : domain.import_by_guid) {
        const auto it = state.import_by_guid.find(key);
        if (it == state.import_by_guid.end() || it->second != local_id) return false;
    }
    return true;
}

bool in_use(const Domain& domain) {
    return domain.last_id > 0;
}

void swap_state(Domain& domain, DomainState& state) noexcept {
    std::swap(domain.prefix, state.prefix);
    std::swap(domain.last_id, state.last_id);
    std::swap(domain.imports, state.imports);
    std::swap(domain.import_by_guid, state.import_by_guid);
}

}  // namespace

int dbv_write_domain(FILE* stream, dbv_domain_s* domain) {
    if (store_seams::ShouldFail("dbv_write_domain") || stream == nullptr) return 1;
    const Domain* d = domain_store::find_domain(domain);
    if (d == nullptr) return 1;
    try {
        domain_stream::BlockWriter block;
        block.bytes(kMagic, 4);
        block.u32(kFormatVersion);
        block.bytes(d->prefix.data(), d->prefix.size());
        block.u32(static_cast<uint32_t>(d->last_id));
        block.u32(static_cast<uint32_t>(d->imports.size()));
        block.crc();
        for (const ImportRecord& record : d->imports) {
            block.u32(static_cast<uint32_t>(record.local_id));
            block.u32(record.forgotten ? kForgotten : 0);
            block.bytes(record.guid.bytes, sizeof record.guid.bytes);
        }
        block.crc();
        return block.write_to(stream) ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

int dbv_read_domain(FILE* stream, int32_t version, dbv_domain_s* domain, dbv_event_s* baseline,
                    dbv_domainevents_s* runtimeEvents, int32_t flags, int32_t mode,
                    dbv_domainheader_s** header) {
    constexpr int32_t kKnownFlags =
        DBV_READDOMAIN_KEEP_RUNTIME_EVENTS | DBV_READDOMAIN_REPLACE_FOREIGN;
    const int32_t extra_mode = mode & ~(DBV_READDOMAIN_INCREMENTAL | DBV_READDOMAIN_IDS);
    if (store_seams::ShouldFail("dbv_read_domain") || stream == nullptr || version != 1 ||
        extra_mode != DBV_READDOMAIN_FULL || (flags & ~kKnownFlags) != 0) {
        return 1;
    }
    Domain* d = domain_store::find_domain(domain);
    if (d == nullptr) return 1;
    const bool keep_runtime = (flags & DBV_READDOMAIN_KEEP_RUNTIME_EVENTS) != 0;
    if (!keep_runtime && container_of(runtimeEvents, *d) == nullptr) return 1;
    if (baseline != nullptr && !event_of(baseline, *d)) return 1;
    try {
        DomainState state;
        if (!read_state(stream, &state)) return 1;
        if ((mode & DBV_READDOMAIN_INCREMENTAL) != 0) {
            if (!continues(*d, state)) return 1;
        } else if ((flags & DBV_READDOMAIN_REPLACE_FOREIGN) == 0 && in_use(*d) &&
                   (d->prefix != state.prefix || state.last_id < d->last_id)) {
            return 1;  // the ids of the domain's rows and events would change their meaning
        }
        if (!events_within(*d, state.last_id)) return 1;
        // The baseline takes the id after the block's counter; there must be one.
        if (!keep_runtime && state.last_id == INT32_MAX) return 1;

        swap_state(*d, state);  // `state` now holds the old state
        dbv_domainheader_s* made = nullptr;
        if (header != nullptr) {
            if (dbv_createdomainheader(domain, &made) != 0 || made == nullptr) {
                swap_state(*d, state);
                return 1;
            }
            domain_stream::remember_header(made, domain);
        }
        if (!keep_runtime) {
            dbv_event_s* fresh = nullptr;
            if (dbv_createevent(runtimeEvents, nullptr, &fresh) != 0) {
                if (made != nullptr) dbv_deletedomainheader(made);
                swap_state(*d, state);
                return 1;
            }
        }
        if (header != nullptr) *header = made;
        return 0;
    } catch (...) {
        return 1;
    }
}
