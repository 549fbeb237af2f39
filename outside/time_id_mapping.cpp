// Time-id mappings as heap objects whose addresses are kept in a set of live mappings, so
// that a deleted or made-up handle is refused instead of dereferenced.
#include "outside/time_id_mapping.h"

#include <new>
#include <unordered_map>
#include <unordered_set>

#include "outside/store_seams.h"

struct dbv_timeidmapping_s {
    std::unordered_map<int32_t, int32_t> old_by_new;
};

namespace {

std::unordered_set<const dbv_timeidmapping_s*>& live_mappings() {
    static auto& live = *new std::unordered_set<const dbv_timeidmapping_s*>;
    return live;
}

bool is_live(const dbv_timeidmapping_s* mapping) {
    return mapping != nullptr && live_mappings().count(mapping) != 0;
}

}  // namespace

int dbv_createtimeidmapping(dbv_timeidmapping_s** mapping) {
    if (store_seams::ShouldFail("dbv_createtimeidmapping") || mapping == nullptr) return 1;
    try {
        auto* created = new dbv_timeidmapping_s;
        try {
            live_mappings().insert(created);
        } catch (const std::bad_alloc&) {
            delete created;
            return 1;
        }
        *mapping = created;
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int dbv_timeidmapping_add(dbv_timeidmapping_s* mapping, int32_t new_id, int32_t old_id) {
    if (store_seams::ShouldFail("dbv_timeidmapping_add") || !is_live(mapping)) return 1;
    if (new_id < 1 || old_id < 1) return 1;
    try {
        return mapping->old_by_new.emplace(new_id, old_id).second ? 0 : 1;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int dbv_timeidmappingnewtoold(dbv_timeidmapping_s* mapping, int32_t new_id, int32_t* old_id) {
    if (store_seams::ShouldFail("dbv_timeidmappingnewtoold") || !is_live(mapping)) return 1;
    if (old_id == nullptr) return 1;
    const auto found = mapping->old_by_new.find(new_id);
    if (found == mapping->old_by_new.end()) return 1;
    *old_id = found->second;
    return 0;
}

int dbv_deletetimeidmapping(dbv_timeidmapping_s* mapping) {
    if (store_seams::ShouldFail("dbv_deletetimeidmapping") || !is_live(mapping)) return 1;
    live_mappings().erase(mapping);
    delete mapping;
    return 0;
}
