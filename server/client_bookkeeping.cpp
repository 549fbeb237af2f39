// Connected clients and user rows: creating and refreshing a user's row, saves, the walk
// over all users, removing a user, and the cleanup when clients leave.
#include "server/client_bookkeeping.h"

#include <cstdio>
#include <cstring>

#include "outside/table_store.h"
#include "port/files.h"
#include "server/drawing_locks.h"
#include "server/locks.h"
#include "server/log_text.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"

namespace {

dbv_indexstruct* users_primary() {
    return dbd_getvirtualprimarypointer(SRV_TABLE_MULTIUSERS);
}

void delete_user_row(const char* user) {
    multiusers_row row{};
    srv_copy_text(row.UserName, user);
    (void)dbv_delete(users_primary(), &row);  // a user without a row has nothing to delete
}

const char* printable(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

int touch_user_row(const char* model, const char* user) {
    const int32_t now = server_now();
    multiusers_row row{};
    srv_copy_text(row.UserName, user);
    int failed;
    if (dbv_select(users_primary(), &row) == 0) {
        multiusers_row touched = row;
        touched.LastAccessTime = now;
        srv_copy_text(touched.ModelName, model);
        // A client's requests mostly come within the same second and for the same model:
        // then the row would not change.
        failed = std::memcmp(&touched, &row, sizeof row) == 0
                     ? 0
                     : dbv_update(users_primary(), &touched);
    } else {
        srv_copy_text(row.ModelName, model);
        row.LoginTime = now;
        row.LastAccessTime = now;
        row.LastSaveTime = 0;
        row.LockedTime = 0;
        failed = dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_MULTIUSERS), &row);
    }
    if (failed != 0) {
        log_printf("Error: could not update multiuser table\n");
        return 0;
    }
    return 1;
}

int record_save(const char* model, const char* user, multiusers_row& body) {
    srv_copy_text(body.UserName, user);
    if (dbv_select(users_primary(), &body) == 0) {
        const int32_t now = server_now();
        body.LastSaveTime = now;
        body.LastAccessTime = now;
        if (dbv_update(users_primary(), &body) == 0) {
            promote_drawing_locks_after_save(model, user, body.LastSaveTime);
            return 1;
        }
    }
    log_printf("Error: could not update multiuser save timestamp\n");
    return 0;
}

int next_user_row(multiusers_row& body) {
    multiusers_row last{};
    srv_copy_field(last.UserName, body.UserName);
    const bool from_start = last.UserName[0] == '\0';
    bool previous_matched = from_start;
    int found = 0;
    dbv_cursorstruct* cursor = dbv_opencursor_all(dbd_getvirtualtablepointer(SRV_TABLE_MULTIUSERS));
    multiusers_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (previous_matched) {
            body = row;
            found = 1;
            break;
        }
        previous_matched = std::strncmp(row.UserName, last.UserName, SRV_USER_NAME_SIZE) == 0;
    }
    dbv_closecursor(cursor);
    return found;
}

int32_t count_model_users(const char* model) {
    char cut[SRV_MODEL_NAME_SIZE];
    srv_copy_text(cut, model);
    int32_t count = 0;
    dbv_cursorstruct* cursor = dbv_opencursor_all(dbd_getvirtualtablepointer(SRV_TABLE_MULTIUSERS));
    multiusers_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (std::strncmp(row.ModelName, cut, SRV_MODEL_NAME_SIZE) == 0) ++count;
    }
    dbv_closecursor(cursor);
    return count;
}

int kick_user(const char* model, const char* user) {
    drop_user_drawing_locks(user);
    // Every unlock takes one nesting level, so this ends when the lock is free (or was
    // never the user's).
    while (unlock_model_object(model, user, 0) != 0) {
    }
    delete_user_row(user);
    return 1;
}

int kick_user(const char* model, const multiusers_row& body) {
    char user[SRV_USER_NAME_SIZE];
    srv_copy_field(user, body.UserName);
    return kick_user(model, user);
}

int client_connected(const char* name, void* /*user_data*/) {
    log_printf("Client '%s' connected.\n", printable(name));
    server_context& state = server_state();
    if (state.connected_clients < INT32_MAX) ++state.connected_clients;
    return 0;
}

int client_disconnected(const char* name, void* /*user_data*/) {
    log_printf("Client '%s' disconnected.\n", printable(name));
    server_context& state = server_state();
    --state.connected_clients;
    if (state.connected_clients > 0) {
        drop_user_drawing_locks(name);
        delete_user_row(name);
        return 0;
    }
    state.connected_clients = 0;
    // Counters allocated in this batch are saved first, as they were before the file goes.
    commit_pending_save();
    // Nobody is left to use the counters: the file goes, the in-memory rows stay, and the
    // next allocation writes them all again. The temporary file goes too: from the second
    // save on it holds the previous counters.
    if (!state.database_file.empty()) {
        port_remove_file(state.database_file.c_str());
        port_remove_file(state.temporary_file.c_str());
    }
    for (int32_t status = 1; status <= 3; ++status) drop_drawing_locks_with_status(status);
    // Rows of any other status a client may have sent have no holder left either.
    dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_DRAWINGLOCKS));
    log_printf("No one is connected, clearing the database\n");
    delete_user_row(name);
    return 0;
}
