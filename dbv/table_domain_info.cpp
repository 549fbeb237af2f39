// Domain information of tables, read through the store's fixed-capacity answer, and the
// history search for deleted rows. The record count handed to the store is always the
// capacity of the array it writes into.
#include "dbv/table_domain_info.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "rowhive_tools";

// Only whether the table belongs to a domain is asked here: a few records are enough.
constexpr int32_t kMembershipCapacity = 16;
// The table dump reads at most this many domain fields of a table.
constexpr int32_t kDomainFieldCapacity = 100;

void Report(const char* text, int line) {
    mainCheckAssertion(false, text, kSource, line);
}

}  // namespace

bool TableBelongsToGivenDomain(int32_t table, dbv_domain_s* domain, int32_t& fieldCount) {
    dbv_tablestruct* handle = GetVirtualTablePointer(table);
    if (handle == nullptr) return false;
    std::array<dbv_domainfieldspec_s, kMembershipCapacity> records{};
    dbv_domain_s* tableDomain = nullptr;
    int32_t count = 0;
    if (dbv_gettabledomaininfo(handle, &tableDomain, records.data(), kMembershipCapacity, &count) !=
        0) {
        return false;
    }
    if (tableDomain != domain) return false;
    fieldCount = count;
    return true;
}

bool GetTableDomainFields(dbv_tablestruct* table, dbv_domain_s* domain,
                          std::vector<int32_t>& fields, int32_t& smallIdCount) {
    if (table == nullptr) return false;
    std::array<dbv_domainfieldspec_s, kDomainFieldCapacity> records{};
    dbv_domain_s* tableDomain = nullptr;
    int32_t count = 0;
    if (dbv_gettabledomaininfo(table, &tableDomain, records.data(), kDomainFieldCapacity, &count) !=
        0) {
        Report("!\"dbv_gettabledomaininfo\"", __LINE__);
        return false;
    }
    if (count > kDomainFieldCapacity) {
        Report("nDomainFields <= ARRAY_SIZE", __LINE__);
        count = kDomainFieldCapacity;  // the store wrote no more than that
    }
    if (tableDomain != domain) {
        Report("!\"Domains differ\"", __LINE__);
        return false;
    }
    for (int32_t ii = 0; ii < count; ++ii) {
        const dbv_domainfieldspec_s& record = records[static_cast<size_t>(ii)];
        fields.push_back(record.field);
        if (record.domain != domain) Report("aDomainFieldSpec[ii].pdomain == pDomain", __LINE__);
        if (record.small_id_count != 0 && smallIdCount != 0 &&
            record.small_id_count != smallIdCount) {
            Report("!\"Conflicting nrsmallids\"", __LINE__);
        }
        smallIdCount = std::max(smallIdCount, record.small_id_count);
    }
    return true;
}

namespace {

// Fetches the rows of `handle` (history mode is set) until one with `id` at `idOffset` is a
// delete against `event`; that row is left in `found`.
bool FindDeletedRow(dbv_tablestruct* handle, int32_t id, int32_t idOffset, dbv_event_s* event,
                    std::vector<unsigned char>& found) {
    dbv_cursorstruct* cursor = dbv_opencursor_all(handle);
    if (cursor == nullptr) return false;
    bool result = false;
    while (!result && dbv_fetch(cursor, found.data()) == 0) {
        int32_t rowId = 0;
        std::memcpy(&rowId, found.data() + idOffset, sizeof rowId);
        if (rowId != id) continue;
        int32_t action = DBV_SAVEACTION_NONE;
        if (dbv_getdomainsaveaction(cursor, event, &action) != 0) continue;
        result = action == DBV_SAVEACTION_DELETE;
    }
    dbv_closecursor(cursor);
    return result;
}

}  // namespace

bool GetDeletedRow(int32_t table, int32_t id, int32_t idOffset, dbv_event_s* event, void* row) {
    if (dbv_inquireworkmode() != DBV_WORKMODE_LIVE) return false;
    dbv_tablestruct* handle = GetVirtualTablePointer(table);
    const int32_t rowLength = dbv_getrowlength(handle);
    if (handle == nullptr || row == nullptr || idOffset < 0 ||
        static_cast<int64_t>(idOffset) + 4 > rowLength) {
        return false;
    }
    bool result = false;
    if (dbv_setworkmode(DBV_WORKMODE_HISTORY) == 0) {
        try {
            std::vector<unsigned char> found(static_cast<size_t>(rowLength));
            result = FindDeletedRow(handle, id, idOffset, event, found);
            if (result) std::memcpy(row, found.data(), found.size());
        } catch (...) {
            result = false;  // no room for the row buffer
        }
    }
    dbv_setworkmode(DBV_WORKMODE_LIVE);
    return result;
}

void SetAssertExitCallback(dbv_assertexitcallback_t callback) {
    dbv_setassertexitcallback(callback);
}

}  // namespace dbv
