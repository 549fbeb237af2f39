// Converting one table into a domain: clearing its change control first when asked, the
// store's conversion with a terminated copy of the caller's field list, and the check
// that no two rows became identical in the domain.
#include <new>

#include "dbv/convert_table_domain.h"
#include "outside/assert_log.h"
#include "tools/tool_alloc.h"

namespace dbv {

namespace {

const char* const kSource = "dbv_convert_table_domain";
const char* const kIdenticalRows =
    "!\"Multiple identical rows detected while converting tables to domain\"";

// Resets the change flags of every row of the table, history rows included (work mode 5
// makes an all-rows cursor return them too). The store's work mode and the table's
// change-control mode are put back on every path. False without a row buffer or a cursor,
// or when a reset fails.
bool ClearDomainTableChangeControl(int32_t table, dbv_tablestruct* handle) {
    const int32_t rowSize = GetVirtualTableSizeof(table);
    // The store fetches dbv_getrowlength bytes; a buffer of another size is not used.
    if (rowSize <= 0 || rowSize != dbv_getrowlength(handle)) {
        return false;
    }
    void* row = TOOL_MALLOC(static_cast<size_t>(rowSize));
    if (row == nullptr) {
        return false;
    }
    const int32_t workMode = dbv_inquireworkmode();
    dbv_setworkmode(DBV_WORKMODE_HISTORY);
    dbv_settabledomainchangecontrolmode(handle, 1);
    dbv_cursorstruct* cursor = dbv_opencursor_all(handle);
    bool result = cursor != nullptr;
    while (result && dbv_fetch(cursor, row) == 0) {
        if (dbv_resetchangecontrol(cursor, DBV_CHANGE_EXISTENCE | DBV_CHANGE_CONTENTS) != 0) {
            QM_ASSERT(!"ClearDomainTableChangeControl", kSource);
            result = false;
        }
    }
    dbv_settabledomainchangecontrolmode(handle, 0);
    dbv_setworkmode(workMode);
    dbv_closecursor(cursor);
    TOOL_FREE(row);
    return result;
}

// The caller's records up to the first terminator, ended by one; empty when no record is
// left. Throws std::bad_alloc.
std::vector<dbv_domainfieldspec_s> TerminatedCopy(const std::vector<dbv_domainfieldspec_s>& specs) {
    std::vector<dbv_domainfieldspec_s> copy;
    copy.reserve(specs.size() + 1);
    for (const dbv_domainfieldspec_s& spec : specs) {
        if (spec.field == -1) {
            break;
        }
        copy.push_back(spec);
    }
    if (!copy.empty()) {
        copy.push_back({-1, 0, nullptr});
    }
    return copy;
}

// 0 when the table's live rows are unique in its domain. The proving index is not kept.
int32_t CheckRowsUniqueInDomain(dbv_tablestruct* handle) {
    dbv_identityindexoptions_s options{};
    options.kind = 1;
    options.unique = 1;
    options.history = 0;
    dbv_indexstruct* index = nullptr;
    const int32_t result = dbv_createdomainidentityindex(handle, &options, &index);
    if (result != 0) {
        mainCheckAssertion(false, kIdenticalRows, kSource, __LINE__);
    }
    if (index != nullptr) {
        dbv_dropindex(index);
    }
    return result;
}

}  // namespace

int32_t CleanAndConvertTableToDomain(int32_t table, dbv_domain_s* domain, bool clean,
                                     const std::vector<dbv_domainfieldspec_s>& specs, void* context,
                                     dbv_convertrowcallback_t callback) {
    dbv_tablestruct* handle = GetVirtualTablePointer(table);
    if (handle == nullptr) {
        QM_ASSERT(!"GetVirtualTablePointer", kSource);
        return 0;
    }
    std::vector<dbv_domainfieldspec_s> terminated;
    try {
        terminated = TerminatedCopy(specs);
    } catch (const std::bad_alloc&) {
        QM_ASSERT(!"Out of memory for the domain field list", kSource);
        return -1;
    }
    if (domain != nullptr && clean) {
        ClearDomainTableChangeControl(table, handle);
    }
    int32_t result = dbv_converttable_domain(
        handle, domain, terminated.empty() ? nullptr : terminated.data(), context, callback);
    if (domain != nullptr && result == 0) {
        result = CheckRowsUniqueInDomain(handle);
    }
    return result;
}

}  // namespace dbv
