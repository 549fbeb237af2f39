// Domains of the table store: time ids, their guids, imported guids, causality and domain
// statistics.
//
// Ids. A domain keeps only the highest id handed out; ids 1 ... last_id are all used up,
// whether handed out by dbv_newid/dbv_newidrange, to an event, or as the local id of an
// import. Imports are kept in the order of their local ids (which only grow), so finding
// out whether an id is an import is a range check when there are none in reach, and a
// binary search over the imports otherwise; the domain's own ids cost no memory at all.
// dbv_cleardomain marks imports forgotten instead of dropping them: their local ids stay
// used up and never turn into own ids whose guid nobody ever saw.
//
// Guids. The guid of an own id is the domain's prefix and the id (little-endian); the
// guid of an import is the foreign guid itself. An own-prefix guid can be "imported" only
// when it names one of this domain's own ids already handed out (it is then just looked
// up): taking any other own-prefix guid in would make that guid name two ids once the
// counter reached its number.
//
// Causality (a after b, for two different known ids):
//   own a, own b            a > b
//   own a, imported b       b's local id < a (the import was known when a was made)
//   imported a, own b       never (the other workstation could not have seen b)
//   imported a, imported b  same foreign prefix: a's foreign id > b's foreign id
//                           (the 4 trailing guid bytes, unsigned); else never
// dbv_comparetimeid orders ids of one origin by their making, otherwise by causality and,
// where there is none, by local numbers. That order need not be transitive across origins.
//
// Statistics of a domain (all doubles):
//   "Bytes"                   estimate of the memory the domain holds, with its event
//                             containers, events and imports
//   "CompactedIdBase"         1, the first id a domain hands out
//   "CompactedIdCount"        ids handed out so far (own, event and import ids)
//   "CompactedIdItemCount"    entries that describe them: 1 for the run of ids (0 while
//                             none), plus one per import still known
//   "SessionIdBase"           1: a domain of this store lives in one run
//   "SessionIdCount"          ids handed out in this run (the same as CompactedIdCount)
//   "IdsInOrder"              1: ids are handed out in increasing order
//   "ConnectedTables"         domain tables of the domain, over every virtual database
//   "ConnectedRows"           their live rows
//   "ConnectedInvisibleRows"  their history rows (deleted rows kept for the domain)
#include <algorithm>
#include <cstring>
#include <random>

#include "outside/domain_store_internal.h"
#include "outside/domain_table_state.h"
#include "outside/store_seams.h"

using domain_store::Domain;
using domain_store::find_domain;
using domain_store::ImportRecord;
using domain_store::store;

namespace {

// What a time id is to its domain.
struct IdInfo {
    bool known = false;
    const ImportRecord* import = nullptr;  // null for an own id
};

IdInfo classify(const Domain& domain, uint64_t id) {
    IdInfo info;
    if (id == 0 || id > static_cast<uint64_t>(domain.last_id)) return info;
    const auto& imports = domain.imports;
    if (imports.empty() || id < static_cast<uint64_t>(imports.front().local_id) ||
        id > static_cast<uint64_t>(imports.back().local_id)) {
        info.known = true;
        return info;
    }
    const auto local = static_cast<int32_t>(id);
    const auto it = std::lower_bound(
        imports.begin(), imports.end(), local,
        [](const ImportRecord& record, int32_t value) { return record.local_id < value; });
    if (it != imports.end() && it->local_id == local) {
        if (it->forgotten) return info;
        info.import = &*it;
    }
    info.known = true;
    return info;
}

bool same_origin_prefix(const dbv_guid_s& a, const dbv_guid_s& b) {
    return std::memcmp(a.bytes, b.bytes, 12) == 0;
}

uint32_t foreign_id(const ImportRecord& record) {
    return domain_store::get_le32(record.guid.bytes + 12);
}

// REQUIRES: a and b are different known ids.
bool causally_after(uint32_t a, const IdInfo& ia, uint32_t b, const IdInfo& ib) {
    if (ia.import == nullptr && ib.import == nullptr) return a > b;
    if (ia.import == nullptr) return static_cast<uint32_t>(ib.import->local_id) < a;
    if (ib.import == nullptr) return false;
    if (!same_origin_prefix(ia.import->guid, ib.import->guid)) return false;
    return foreign_id(*ia.import) > foreign_id(*ib.import);
}

// A fresh random prefix. The generator is seeded once from the system's entropy source;
// where that is missing, from the addresses the loader gave this process.
void draw_prefix(domain_store::GuidPrefix* prefix) {
    static std::mt19937_64 generator = [] {
        try {
            std::random_device device;
            std::seed_seq seed{device(), device(), device(), device(), device(), device()};
            return std::mt19937_64(seed);
        } catch (...) {
            static int anchor = 0;
            return std::mt19937_64(reinterpret_cast<uintptr_t>(&anchor));
        }
    }();
    const uint64_t a = generator();
    const uint64_t b = generator();
    std::memcpy(prefix->data(), &a, 8);
    std::memcpy(prefix->data() + 8, &b, 4);
}

double domain_bytes(const Domain& domain) {
    auto& s = store();
    size_t bytes = sizeof(Domain) + domain.imports.capacity() * sizeof(ImportRecord) +
                   domain.import_by_guid.bucket_count() * sizeof(void*) +
                   domain.import_by_guid.size() * (sizeof(domain_store::GuidKey) + 32) +
                   domain.container_slots.capacity() * sizeof(uint32_t);
    for (const uint32_t slot : domain.container_slots) {
        const auto& container = s.containers.at_slot(slot);
        bytes += sizeof(domain_store::EventContainer) +
                 container.event_slots.capacity() * sizeof(uint32_t);
        for (const uint32_t event_slot : container.event_slots) {
            const auto& event = s.events.at_slot(event_slot);
            bytes += sizeof(domain_store::Event);
            if (event.description) bytes += std::strlen(event.description.get()) + 1;
        }
    }
    return static_cast<double>(bytes);
}

}  // namespace

int dbv_createdomain(dbv_domain_s** domain) {
    if (store_seams::ShouldFail("dbv_createdomain") || domain == nullptr) return 1;
    try {
        Domain fresh;
        draw_prefix(&fresh.prefix);
        const uint64_t handle = store().domains.add(std::move(fresh));
        if (handle == 0) return 1;
        *domain = domain_store::to_handle<dbv_domain_s>(handle);
        return 0;
    } catch (...) {
        return 1;
    }
}

int dbv_cleardomain(dbv_domain_s* domain) {
    if (store_seams::ShouldFail("dbv_cleardomain")) return 1;
    Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    auto& s = store();
    for (const uint32_t container_slot : d->container_slots) {
        auto& container = s.containers.at_slot(container_slot);
        for (const uint32_t event_slot : container.event_slots) s.events.remove_slot(event_slot);
        container.event_slots.clear();
    }
    for (ImportRecord& record : d->imports) record.forgotten = true;
    d->import_by_guid.clear();
    return 0;
}

int dbv_deletedomain(dbv_domain_s* domain) {
    if (store_seams::ShouldFail("dbv_deletedomain")) return 1;
    Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    for (const uint32_t container_slot : d->container_slots) {
        domain_store::release_container(container_slot);
    }
    store().domains.remove(domain_store::from_handle(domain));
    return 0;
}

int dbv_newid(dbv_domain_s* domain, int32_t* id) {
    if (store_seams::ShouldFail("dbv_newid") || id == nullptr) return 1;
    Domain* d = find_domain(domain);
    if (d == nullptr || !domain_store::take_ids(*d, 1, id)) return 1;
    return 0;
}

int dbv_newidrange(dbv_domain_s* domain, int32_t count, int32_t* first) {
    if (store_seams::ShouldFail("dbv_newidrange") || first == nullptr) return 1;
    Domain* d = find_domain(domain);
    if (d == nullptr || !domain_store::take_ids(*d, count, first)) return 1;
    return 0;
}

int dbv_comparetimeid(dbv_domain_s* domain, int32_t a, int32_t b, int32_t* result) {
    if (store_seams::ShouldFail("dbv_comparetimeid") || result == nullptr) return 1;
    const Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    if (store_seams::ForcedCompareResult(result)) return 0;
    if (a < 0 || b < 0) return 1;
    const IdInfo ia = classify(*d, static_cast<uint32_t>(a));
    const IdInfo ib = classify(*d, static_cast<uint32_t>(b));
    if (!ia.known || !ib.known) return 1;
    if (a == b) {
        *result = 0;
        return 0;
    }
    const auto ua = static_cast<uint32_t>(a);
    const auto ub = static_cast<uint32_t>(b);
    const bool same_origin = (ia.import == nullptr && ib.import == nullptr) ||
                             (ia.import != nullptr && ib.import != nullptr &&
                              same_origin_prefix(ia.import->guid, ib.import->guid));
    bool a_after_b;
    if (same_origin || causally_after(ua, ia, ub, ib)) {
        a_after_b = causally_after(ua, ia, ub, ib);  // the order of making, or causality
    } else {
        // b after a by causality, or concurrent and the local numbers decide.
        a_after_b = !causally_after(ub, ib, ua, ia) && a > b;
    }
    *result = a_after_b ? -1 : 1;
    return 0;
}

int dbv_comparecausality(dbv_domain_s* domain, uint32_t a, uint32_t b, int32_t* result) {
    if (store_seams::ShouldFail("dbv_comparecausality") || result == nullptr) return 1;
    const Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    const IdInfo ia = classify(*d, a);
    const IdInfo ib = classify(*d, b);
    if (!ia.known || !ib.known) return 1;
    *result = (a != b && causally_after(a, ia, b, ib)) ? 0 : 1;
    return 0;
}

int dbv_timeidtoguid(dbv_domain_s* domain, uint32_t time_id, dbv_guid_s* guid) {
    if (store_seams::ShouldFail("dbv_timeidtoguid") || guid == nullptr) return 1;
    const Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    const IdInfo info = classify(*d, time_id);
    if (!info.known) return 1;
    *guid = info.import != nullptr ? info.import->guid : domain_store::own_guid(d->prefix, time_id);
    return 0;
}

int dbv_guidtotimeid(dbv_domain_s* domain, const dbv_guid_s* guid, int32_t* time_id) {
    if (store_seams::ShouldFail("dbv_guidtotimeid") || guid == nullptr || time_id == nullptr) {
        return 1;
    }
    const Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    if (std::memcmp(guid->bytes, d->prefix.data(), d->prefix.size()) == 0) {
        const uint32_t id = domain_store::get_le32(guid->bytes + 12);
        const IdInfo info = classify(*d, id);
        if (!info.known || info.import != nullptr) return 1;
        *time_id = static_cast<int32_t>(id);
        return 0;
    }
    const auto it = d->import_by_guid.find(domain_store::guid_key(*guid));
    if (it == d->import_by_guid.end()) return 1;
    *time_id = it->second;
    return 0;
}

int dbv_importguid(dbv_domain_s* domain, const dbv_guid_s* guid, int32_t* time_id) {
    if (store_seams::ShouldFail("dbv_importguid") || guid == nullptr || time_id == nullptr) {
        return 1;
    }
    Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    if (std::memcmp(guid->bytes, d->prefix.data(), d->prefix.size()) == 0) {
        // Only a guid this domain made itself; see the top of the file.
        const uint32_t id = domain_store::get_le32(guid->bytes + 12);
        const IdInfo info = classify(*d, id);
        if (!info.known || info.import != nullptr) return 1;
        *time_id = static_cast<int32_t>(id);
        return 0;
    }
    const domain_store::GuidKey key = domain_store::guid_key(*guid);
    if (const auto it = d->import_by_guid.find(key); it != d->import_by_guid.end()) {
        *time_id = it->second;
        return 0;
    }
    if (d->last_id == INT32_MAX) return 1;
    const int32_t local_id = d->last_id + 1;
    try {
        domain_store::reserve_one_more(d->imports);
        d->import_by_guid.emplace(key, local_id);
    } catch (...) {
        return 1;
    }
    d->last_id = local_id;
    d->imports.push_back(ImportRecord{local_id, false, *guid});  // capacity reserved above
    *time_id = local_id;
    return 0;
}

// ---------------------------------------------------------------------------------------
// Statistics.

namespace {

constexpr const char* kStatisticNames[] = {
    "Bytes",         "CompactedIdBase",       "CompactedIdCount", "CompactedIdItemCount",
    "SessionIdBase", "SessionIdCount",        "IdsInOrder",       "ConnectedTables",
    "ConnectedRows", "ConnectedInvisibleRows"};

}  // namespace

int dbv_getdomainstatistics(dbv_domain_s* domain, dbv_statistics_s** statistics) {
    if (store_seams::ShouldFail("dbv_getdomainstatistics") || statistics == nullptr) return 1;
    const Domain* d = find_domain(domain);
    if (d == nullptr) return 1;
    size_t known_imports = 0;
    for (const ImportRecord& record : d->imports) known_imports += record.forgotten ? 0 : 1;
    const auto ids = static_cast<double>(d->last_id);
    double tables = 0;
    double rows = 0;
    double history_rows = 0;
    try {
        for (const dbv_tablestruct* table : table_store::all_tables()) {
            if (table_store::domain_of(table) != domain) continue;
            tables += 1;
            rows += table->rows.row_count();
            history_rows += static_cast<double>(table->extras->history.size());
        }
    } catch (...) {
        return 1;
    }
    const double values[] = {domain_bytes(*d),
                             1,
                             ids,
                             (d->last_id > 0 ? 1.0 : 0.0) + static_cast<double>(known_imports),
                             1,
                             ids,
                             1,
                             tables,
                             rows,
                             history_rows};
    static_assert(std::size(values) == std::size(kStatisticNames));
    try {
        domain_store::Statistics stats;
        stats.values.reserve(std::size(values));
        for (size_t i = 0; i < std::size(values); ++i) {
            stats.values.emplace_back(kStatisticNames[i], values[i]);
        }
        const uint64_t handle = store().statistics.add(std::move(stats));
        if (handle == 0) return 1;
        *statistics = domain_store::to_handle<dbv_statistics_s>(handle);
        return 0;
    } catch (...) {
        return 1;
    }
}

int dbv_getstatistics(dbv_statistics_s* statistics, const char* name, double* value) {
    if (store_seams::ShouldFail("dbv_getstatistics") || name == nullptr || value == nullptr) {
        return 1;
    }
    const domain_store::Statistics* stats =
        store().statistics.get(domain_store::from_handle(statistics));
    if (stats == nullptr) return 1;
    for (const auto& [key, number] : stats->values) {
        if (std::strcmp(key, name) == 0) {
            *value = number;
            return 0;
        }
    }
    return 1;
}

int dbv_deletestatistics(dbv_statistics_s* statistics) {
    if (store_seams::ShouldFail("dbv_deletestatistics")) return 1;
    return store().statistics.remove(domain_store::from_handle(statistics)) ? 0 : 1;
}
