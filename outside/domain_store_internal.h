// The objects behind the domain half's handles and the one process-wide table of them,
// shared by the domain, event, mapper and statistics source files and by nobody else.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "outside/domain_handles.h"
#include "outside/store_domain.h"
#include "outside/stream_bytes.h"

namespace domain_store {

using GuidPrefix = std::array<uint8_t, 12>;

// A guid as a hashable key of the import map.
struct GuidKey {
    uint64_t high;
    uint64_t low;
    bool operator==(const GuidKey&) const = default;
};

struct GuidKeyHash {
    size_t operator()(const GuidKey& key) const {
        // The guids are random in their prefix already; mixing the halves is enough.
        return static_cast<size_t>(key.high * 0x9e3779b97f4a7c15ull ^ key.low);
    }
};

inline GuidKey guid_key(const dbv_guid_s& guid) {
    GuidKey key;
    std::memcpy(&key.high, guid.bytes, 8);
    std::memcpy(&key.low, guid.bytes + 8, 8);
    return key;
}

using stream_bytes::get_le32;
using stream_bytes::put_le32;

// A guid that came from another copy of the domain, under its local time id.
struct ImportRecord {
    int32_t local_id = 0;
    bool forgotten = false;  // dropped by dbv_cleardomain; the local id stays used up
    dbv_guid_s guid{};
};

struct Domain {
    GuidPrefix prefix{};
    int32_t last_id = 0;  // ids 1 ... last_id have been handed out
    // Imports in the order of their local ids (which is the order they were made).
    std::vector<ImportRecord> imports;
    std::unordered_map<GuidKey, int32_t, GuidKeyHash> import_by_guid;
    std::vector<uint32_t> container_slots;  // event containers of the domain
};

struct EventContainer {
    uint32_t domain_slot = 0;
    std::vector<uint32_t> event_slots;  // in event-number order
};

struct Event {
    uint32_t container_slot = 0;
    int32_t time_id = 0;
    std::unique_ptr<char[]> description;  // heap text: its address survives table growth
};

// A run of old ids mapped onto new time ids; runs are kept sorted by old_first, the keys
// apart from the rest so that the binary search touches only a dense array.
struct RunTarget {
    int32_t count = 0;
    int32_t new_first = 0;
    GuidPrefix prefix{};
};

struct Mapper {
    std::vector<int32_t> old_firsts;
    std::vector<RunTarget> targets;
};

struct Statistics {
    std::vector<std::pair<const char*, double>> values;
};

struct Store {
    HandleTable<Domain, HandleKind::kDomain> domains;
    HandleTable<EventContainer, HandleKind::kEvents> containers;
    HandleTable<Event, HandleKind::kEvent> events;
    HandleTable<Mapper, HandleKind::kMapper> mappers;
    HandleTable<Statistics, HandleKind::kStats> statistics;
};

// The process-wide store. Never destroyed, so that objects destroyed at exit can still
// release their handles.
inline Store& store() {
    static Store& instance = *new Store;
    return instance;
}

// The domain of a live handle, or null.
inline Domain* find_domain(dbv_domain_s* handle) {
    return store().domains.get(from_handle(handle));
}

// Hands out `count` fresh ids; false when the run would pass INT32_MAX.
inline bool take_ids(Domain& domain, int32_t count, int32_t* first) {
    if (count < 1 || static_cast<int64_t>(domain.last_id) + count > INT32_MAX) return false;
    *first = domain.last_id + 1;
    domain.last_id += count;
    return true;
}

// The guid of one of the domain's own ids.
inline dbv_guid_s own_guid(const GuidPrefix& prefix, uint32_t id) {
    dbv_guid_s guid;
    std::memcpy(guid.bytes, prefix.data(), prefix.size());
    put_le32(guid.bytes + 12, id);
    return guid;
}

// Makes room for one more element with geometric growth, so that the push_back after it
// cannot throw. Throws std::bad_alloc before anything changed.
template <typename Vector>
void reserve_one_more(Vector& vector) {
    if (vector.size() == vector.capacity()) {
        vector.reserve(vector.capacity() < 8 ? 8 : vector.capacity() * 2);
    }
}

// Releases an event container and its events (handles become stale).
void release_container(uint32_t container_slot);

}  // namespace domain_store
