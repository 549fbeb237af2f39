// Making a plain table a domain table, the table's domain information, inserts with given
// time ids, and the identity index. A conversion builds the converted rows in a separate
// row table and swaps it in only once every row has checked out, so a refused conversion
// leaves the table exactly as it was.
#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_set>

#include "outside/domain_store_internal.h"
#include "outside/domain_table_state.h"
#include "outside/store_seams.h"

namespace table_store {
namespace {

// Identity indexes alive, so that dbv_dropindex can tell them from anything else without
// following a pointer it was handed.
std::unordered_set<const dbv_indexstruct*>& identity_indexes() {
    static auto& instance = *new std::unordered_set<const dbv_indexstruct*>;
    return instance;
}

bool valid_specs(const TableLayout& layout, const dbv_domainfieldspec_s* specs,
                 std::vector<dbv_domainfieldspec_s>* out) {
    if (specs == nullptr) return true;
    for (const dbv_domainfieldspec_s* spec = specs; spec->field != -1; ++spec) {
        if (spec->field < 0 || static_cast<size_t>(spec->field) >= layout.columns.size()) {
            return false;
        }
        if (layout.columns[static_cast<size_t>(spec->field)].type != DBD_INT32) return false;
        if (spec->small_id_count < 0) return false;
        for (const dbv_domainfieldspec_s& seen : *out) {
            if (seen.field == spec->field) return false;
        }
        out->push_back(*spec);
    }
    return true;
}

// The row's time ids as dbv_insert_domain takes them; false for an unknown id. A zero
// creation id is left 0 for the caller to fill.
bool checked_times(dbv_domain_s* domain, int32_t creation, int32_t modification, RowTimes* times) {
    if (creation != 0 && !is_known_time_id(domain, creation)) return false;
    if (modification != 0 && !is_known_time_id(domain, modification)) return false;
    times->creation = creation;
    times->modification = modification;
    times->flags = DBV_CHANGE_EXISTENCE;
    return true;
}

// The identity of a row: the bytes of its domain fields in order.
std::string identity_of(const TableExtras& x, const TableLayout& layout, const unsigned char* row) {
    std::string key;
    for (const dbv_domainfieldspec_s& spec : x.fields) {
        const ColumnLayout& column = layout.columns[static_cast<size_t>(spec.field)];
        key.append(reinterpret_cast<const char*>(row) + column.offset, sizeof(int32_t));
    }
    return key;
}

}  // namespace

TableExtras::~TableExtras() {
    for (const auto& index : identity_indexes) identity_indexes_registry_erase(index.get());
}

void identity_indexes_registry_erase(const dbv_indexstruct* index) {
    identity_indexes().erase(index);
}

}  // namespace table_store

using table_store::RowTimes;
using table_store::TableExtras;

int dbv_converttable_domain(dbv_tablestruct* table, dbv_domain_s* domain,
                            const dbv_domainfieldspec_s* specs, void* context,
                            dbv_convertrowcallback_t callback) {
    if (store_seams::ShouldFail("dbv_converttable_domain")) return 1;
    if (table == nullptr || table_store::domain_of(table) != nullptr) return 1;
    if (domain != nullptr && domain_store::find_domain(domain) == nullptr) return 1;
    try {
        std::vector<dbv_domainfieldspec_s> fields;
        if (!table_store::valid_specs(*table->layout, specs, &fields)) return 1;
        table_store::RowTable& rows = table->rows;
        const auto row_length = static_cast<size_t>(rows.row_length());
        table_store::RowTable staging(table->layout, rows.next_seq());
        std::vector<RowTimes> staged_times;
        std::vector<unsigned char> buffer(row_length);
        int32_t fresh_needed = 0;
        for (uint32_t slot = rows.first(); slot != table_store::kNoSlot; slot = rows.next(slot)) {
            if (rows.is_deleted(slot)) continue;
            std::memcpy(buffer.data(), rows.row(slot), row_length);
            dbv_domainrow32_s record{buffer.data(), 0, 0};
            if (callback != nullptr) callback(table, context, &record);
            RowTimes times;
            if (domain != nullptr) {
                if (!table_store::checked_times(domain, record.creation, record.modification,
                                                &times)) {
                    return 1;
                }
                if (times.creation == 0) ++fresh_needed;
            }
            if (!staging.insert(buffer.data())) return 1;  // two rows with one primary key
            if (domain != nullptr) {
                const uint32_t staged = staging.last_inserted_slot();
                if (staged_times.size() <= staged) staged_times.resize(size_t{staging.capacity()});
                staged_times[staged] = times;
            }
        }
        if (domain == nullptr) {
            table->exhaust_cursors();
            std::swap(rows, staging);
            return 0;
        }
        int32_t next_fresh = 0;
        if (fresh_needed > 0 && dbv_newidrange(domain, fresh_needed, &next_fresh) != 0) return 1;
        for (uint32_t slot = staging.first(); slot != table_store::kNoSlot;
             slot = staging.next(slot)) {
            RowTimes& times = staged_times[slot];
            if (times.creation == 0) times.creation = next_fresh++;
            if (times.modification == 0) times.modification = times.creation;
        }
        TableExtras& x = table_store::extras_of(table);
        x.fields = std::move(fields);
        x.times = std::move(staged_times);
        x.domain = domain;
        table->exhaust_cursors();
        std::swap(rows, staging);
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_gettabledomaininfo(dbv_tablestruct* table, dbv_domain_s** domain,
                           dbv_domainfieldspec_s* fields, int32_t capacity, int32_t* field_count) {
    if (store_seams::ShouldFail("dbv_gettabledomaininfo")) return 1;
    if (table == nullptr || domain == nullptr || field_count == nullptr || capacity < 0 ||
        (capacity > 0 && fields == nullptr)) {
        return 1;
    }
    const TableExtras* x = table->extras.get();
    const auto count = x == nullptr ? 0 : static_cast<int32_t>(x->fields.size());
    for (int32_t i = 0; i < count && i < capacity; ++i)
        fields[i] = x->fields[static_cast<size_t>(i)];
    *domain = x == nullptr ? nullptr : x->domain;
    *field_count = count;
    return 0;
}

int dbv_insert_domain(dbv_tablestruct* table, const dbv_domainrow32_s* row) {
    if (table == nullptr || row == nullptr || row->row == nullptr) return 1;
    dbv_domain_s* domain = table_store::domain_of(table);
    if (domain == nullptr) return 1;
    RowTimes times;
    if (!table_store::checked_times(domain, row->creation, row->modification, &times)) return 1;
    if (times.creation == 0 && dbv_newid(domain, &times.creation) != 0) return 1;
    if (times.modification == 0) times.modification = times.creation;
    return table_store::extended_insert(table, row->row, &times);
}

int dbv_createdomainidentityindex(dbv_tablestruct* table, const dbv_identityindexoptions_s* options,
                                  dbv_indexstruct** index) {
    if (store_seams::ShouldFail("dbv_createdomainidentityindex")) return 1;
    if (table == nullptr || options == nullptr || index == nullptr) return 1;
    TableExtras* x = table->extras.get();
    if (x == nullptr || x->domain == nullptr) return 1;
    if (options->kind != 1 || options->unique > 1 || options->history != 0 ||
        options->reserved[0] != 0 || options->reserved[1] != 0) {
        return 1;
    }
    try {
        // Without domain fields the identity is the primary key, which is unique already.
        if (options->unique == 1 && !x->fields.empty()) {
            const table_store::RowTable& rows = table->rows;
            std::unordered_set<std::string> seen;
            seen.reserve(static_cast<size_t>(rows.row_count()));
            for (uint32_t slot = rows.first(); slot != table_store::kNoSlot;
                 slot = rows.next(slot)) {
                if (rows.is_deleted(slot)) continue;
                if (!seen.insert(table_store::identity_of(*x, *table->layout, rows.row(slot)))
                         .second) {
                    return 1;
                }
            }
        }
        // The handle names no index of the layout: lookups through it are refused.
        auto made = std::make_unique<dbv_indexstruct>(dbv_indexstruct{table, -1});
        x->identity_indexes.reserve(x->identity_indexes.size() + 1);
        table_store::identity_indexes().insert(made.get());
        *index = made.get();
        x->identity_indexes.push_back(std::move(made));
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_dropindex(dbv_indexstruct* index) {
    if (store_seams::ShouldFail("dbv_dropindex")) return 1;
    auto& alive = table_store::identity_indexes();
    if (alive.count(index) == 0) return 1;
    alive.erase(index);
    auto& owned = index->table->extras->identity_indexes;
    owned.erase(std::find_if(owned.begin(), owned.end(),
                             [&](const auto& candidate) { return candidate.get() == index; }));
    return 0;
}
