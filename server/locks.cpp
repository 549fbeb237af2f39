// Model/object locks (nestable, keyed by model name and object id) and guid locks (not
// nestable, keyed by guid). Rows are never deleted: a free lock keeps its row with a
// count of 0, so the next holder only updates it.
#include "server/locks.h"

#include <cstdio>
#include <cstring>

#include "outside/table_store.h"
#include "server/log_text.h"
#include "server/server_state.h"
#include "server/server_tables.h"

namespace {

lock_row lock_key(const char* model, int32_t object_id) {
    lock_row row{};
    srv_copy_text(row.model_name, model);
    row.object_id = object_id;
    return row;
}

// Compares a stored name with a caller's name as it would be stored (cut to the field).
template <size_t N>
bool same_name(const char (&stored)[N], const char* name) {
    char cut[N];
    srv_copy_text(cut, name);
    return std::strncmp(stored, cut, N) == 0;
}

}  // namespace

int lock_model_object(const char* model, const char* user, int32_t object_id) {
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(SRV_TABLE_LOCK);
    lock_row row = lock_key(model, object_id);
    int granted = 0;
    if (dbv_select(primary, &row) != 0) {
        srv_copy_text(row.client_name, user);
        row.locked = 1;
        granted = dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_LOCK), &row) == 0;
    } else if (row.locked < 1) {
        row.locked = 1;
        srv_copy_text(row.client_name, user);
        granted = dbv_update(primary, &row) == 0;
    } else if (same_name(row.client_name, user) && row.locked < INT32_MAX) {
        // A count at the top of its range is refused rather than wrapped to negative,
        // which would read as free.
        row.locked += 1;
        granted = dbv_update(primary, &row) == 0;
    }
    log_line(model);
    return granted;
}

int unlock_model_object(const char* model, const char* user, int32_t object_id) {
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(SRV_TABLE_LOCK);
    lock_row row = lock_key(model, object_id);
    int released = 0;
    if (dbv_select(primary, &row) == 0 && row.locked != 0 && same_name(row.client_name, user)) {
        row.locked = row.locked > 0 ? row.locked - 1 : 0;
        released = dbv_update(primary, &row) == 0;
    }
    log_line(model);
    return released;
}

int confirm_model_object_lock(const char* model, const char* user, int32_t object_id) {
    lock_row row = lock_key(model, object_id);
    int depth = 0;
    if (dbv_select(dbd_getvirtualprimarypointer(SRV_TABLE_LOCK), &row) == 0 && row.locked > 0 &&
        same_name(row.client_name, user))
        depth = row.locked;
    log_line(model);
    return depth;
}

int lock_database(const char* model, const char* user) {
    const int granted = lock_model_object(model, user, 0);
    if (granted) set_user_locked_time(user, server_now());
    return granted;
}

int unlock_database(const char* model, const char* user) {
    const int released = unlock_model_object(model, user, 0);
    set_user_locked_time(user, 0);
    return released;
}

int set_user_locked_time(const char* user, int32_t locked_time) {
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(SRV_TABLE_MULTIUSERS);
    multiusers_row row{};
    srv_copy_text(row.UserName, user);
    if (dbv_select(primary, &row) == 0) {
        row.LockedTime = locked_time;
        if (dbv_update(primary, &row) == 0) return 1;
    }
    log_printf("Error: could not update multiuser locked timestamp\n");
    return 0;
}

int model_lock_holder(const char* model, multiusers_row& body, bool* held) {
    if (held != nullptr) *held = false;
    lock_row lock = lock_key(model, 0);
    if (dbv_select(dbd_getvirtualprimarypointer(SRV_TABLE_LOCK), &lock) != 0 || lock.locked < 1)
        return 0;
    if (held != nullptr) *held = true;
    srv_copy_field(body.UserName, lock.client_name);
    multiusers_row found = body;
    if (dbv_select(dbd_getvirtualprimarypointer(SRV_TABLE_MULTIUSERS), &found) != 0) return 0;
    body = found;
    return 1;
}

int guid_lock(const object_lock_row& request) {
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(SRV_TABLE_OBJECT_LOCK);
    object_lock_row row{};
    srv_copy_field(row.guid, request.guid);
    if (dbv_select(primary, &row) != 0) {
        srv_copy_field(row.client_name, request.client_name);
        row.locked = 1;
        return dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_OBJECT_LOCK), &row) == 0;
    }
    object_lock_row holder{};
    srv_copy_field(holder.client_name, request.client_name);
    if (row.locked != 1) {
        row.locked = 1;
        srv_copy_field(row.client_name, holder.client_name);
        return dbv_update(primary, &row) == 0;
    }
    // Held: no nesting, so the holder asking again is simply told yes.
    return std::strncmp(row.client_name, holder.client_name, SRV_USER_NAME_SIZE) == 0;
}

int guid_unlock(const object_lock_row& request) {
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(SRV_TABLE_OBJECT_LOCK);
    object_lock_row row{};
    srv_copy_field(row.guid, request.guid);
    if (dbv_select(primary, &row) != 0 || row.locked == 0) return 1;
    object_lock_row holder{};
    srv_copy_field(holder.client_name, request.client_name);
    if (std::strncmp(row.client_name, holder.client_name, SRV_USER_NAME_SIZE) != 0) return 0;
    row.locked = 0;
    return dbv_update(primary, &row) == 0;
}

int guid_check(object_lock_row& request) {
    object_lock_row row{};
    srv_copy_field(row.guid, request.guid);
    if (dbv_select(dbd_getvirtualprimarypointer(SRV_TABLE_OBJECT_LOCK), &row) != 0) return 1;
    object_lock_row holder{};
    srv_copy_field(holder.client_name, request.client_name);
    const bool own = std::strncmp(row.client_name, holder.client_name, SRV_USER_NAME_SIZE) == 0;
    request.locked = own ? 0 : row.locked;
    return 1;
}
