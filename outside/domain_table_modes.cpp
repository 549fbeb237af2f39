// Work modes, change control, the time ids and save action of the row a cursor fetched
// last, and the setters of the table callbacks and the store's assert-exit callback.
#include "outside/domain_table_state.h"
#include "outside/store_seams.h"

namespace table_store {
namespace {

int32_t g_work_mode = DBV_WORKMODE_LIVE;
dbv_assertexitcallback_t g_assert_exit = nullptr;

// The time ids and change flags of the row the cursor fetched last, live or history.
struct CurrentRow {
    TableExtras* extras = nullptr;
    int32_t creation = 0;
    int32_t modification = 0;
    int32_t deletion = 0;  // 0: a live row
    uint8_t* flags = nullptr;
};

// False when the cursor has no current row or its table is not a domain table.
bool current_row(dbv_cursorstruct* cursor, CurrentRow* out) {
    if (cursor == nullptr || cursor->table == nullptr || !cursor->table->extras) return false;
    TableExtras& x = *cursor->table->extras;
    if (x.domain == nullptr) return false;
    out->extras = &x;
    if (cursor->has_current_history) {
        HistoryRow& row = x.history[cursor->current_history];
        out->creation = row.creation;
        out->modification = row.modification;
        out->deletion = row.deletion;
        out->flags = &row.flags;
        return true;
    }
    if (!cursor->has_current ||
        !cursor->table->rows.is_live(cursor->current_slot, cursor->current_seq)) {
        return false;
    }
    RowTimes& times = x.times[cursor->current_slot];
    out->creation = times.creation;
    out->modification = times.modification;
    out->flags = &times.flags;
    return true;
}

// True when `a` lies after `b` in the domain; false also when either is unknown.
bool is_after(dbv_domain_s* domain, int32_t a, int32_t b) {
    int32_t order = 0;
    return dbv_comparetimeid(domain, a, b, &order) == 0 && order < 0;
}

}  // namespace

int32_t work_mode() {
    return g_work_mode;
}

}  // namespace table_store

using table_store::CurrentRow;

int32_t dbv_inquireworkmode() {
    return table_store::g_work_mode;
}

int dbv_setworkmode(int32_t mode) {
    if (mode < 0 || mode > 9) return 1;
    table_store::g_work_mode = mode;
    return 0;
}

int dbv_getcursortime(dbv_cursorstruct* cursor, int32_t* creation, int32_t* modification) {
    if (creation == nullptr || modification == nullptr) return 1;
    CurrentRow row;
    if (!table_store::current_row(cursor, &row)) return 1;
    *creation = row.creation;
    *modification = row.modification;
    return 0;
}

int dbv_getdomainsaveaction(dbv_cursorstruct* cursor, dbv_event_s* event, int32_t* action) {
    if (action == nullptr) return 1;
    CurrentRow row;
    if (!table_store::current_row(cursor, &row)) return 1;
    dbv_domain_s* domain = row.extras->domain;
    int32_t when = 0;
    if (dbv_geteventtimeid(event, &when) != 0) return 1;
    if (!table_store::is_known_time_id(domain, when)) return 1;  // an event of another domain
    const bool created_after = table_store::is_after(domain, row.creation, when);
    int32_t result = DBV_SAVEACTION_NONE;
    if (row.deletion == 0) {
        if (created_after) {
            result = DBV_SAVEACTION_INSERT;
        } else if (table_store::is_after(domain, row.modification, when)) {
            result = DBV_SAVEACTION_UPDATE;
        }
    } else if (!created_after && table_store::is_after(domain, row.deletion, when)) {
        result = DBV_SAVEACTION_DELETE;
    }
    *action = result;
    return 0;
}

int dbv_settabledomainchangecontrolmode(dbv_tablestruct* table, int32_t mode) {
    if (table == nullptr || mode < 0 || mode > 2) return 1;
    if (mode == 0 && !table->extras) return 0;
    try {
        table_store::extras_of(table).change_mode = mode;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_resetchangecontrol(dbv_cursorstruct* cursor, int32_t mask) {
    if (store_seams::ShouldFail("dbv_resetchangecontrol")) return 1;
    if (cursor == nullptr || cursor->table == nullptr) return 1;
    const table_store::TableExtras* x = cursor->table->extras.get();
    if (x == nullptr || x->change_mode == 0) return 1;
    const bool has_row = cursor->has_current_history ||
                         (cursor->has_current &&
                          cursor->table->rows.is_live(cursor->current_slot, cursor->current_seq));
    if (!has_row) return 1;
    if (x->domain == nullptr) return 0;  // a plain table keeps no flags
    CurrentRow row;
    if (!table_store::current_row(cursor, &row)) return 1;
    *row.flags = static_cast<uint8_t>(*row.flags & ~mask);
    return 0;
}

int dbv_setdocallback(dbv_tablestruct* table, dbv_tablecallback_t callback) {
    if (table == nullptr) return 1;
    if (callback == nullptr && !table->extras) return 0;
    try {
        table_store::extras_of(table).do_callback = callback;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_setnotifycallback(dbv_tablestruct* table, dbv_tablecallback_t callback) {
    if (table == nullptr) return 1;
    if (callback == nullptr && !table->extras) return 0;
    try {
        table_store::extras_of(table).notify_callback = callback;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbv_settablecolumnnotanumbercallback_ctx(dbv_tablestruct* table,
                                             dbv_notanumbercallback_t callback, intptr_t context) {
    if (table == nullptr) return 1;
    if (callback == nullptr && !table->extras) return 0;
    try {
        table_store::TableExtras& x = table_store::extras_of(table);
        x.nan_callback = callback;
        x.nan_context = callback == nullptr ? 0 : context;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

void dbv_setassertexitcallback(dbv_assertexitcallback_t callback) {
    table_store::g_assert_exit = callback;
}

dbv_assertexitcallback_t dbv_getassertexitcallback() {
    return table_store::g_assert_exit;
}
