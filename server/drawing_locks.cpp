// Drawing locks: recording, removing, conflict checks, the list of a user's drawings,
// promotion after a save and the cleanup when users leave. Every walk goes through a
// store cursor, which stays valid while the current row is deleted or updated.
#include "server/drawing_locks.h"

#include <cstring>
#include <list>
#include <map>
#include <set>
#include <string>

#include "outside/table_store.h"
#include "server/log_text.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "tools/tool_dstring.h"

namespace {

dbv_indexstruct* primary_index() {
    return dbd_getvirtualprimarypointer(SRV_TABLE_DRAWINGLOCKS);
}

dbv_indexstruct* secondary_index(const char* name) {
    return dbd_getvirtualindexpointer(SRV_TABLE_DRAWINGLOCKS, name);
}

// The row identified by model, drawing, user and status (the primary key).
drawinglocks_row primary_key(const char* model, const char (&drawing)[SRV_DRAWING_NAME_SIZE],
                             const char* user, int32_t status) {
    drawinglocks_row row{};
    srv_copy_text(row.ModelName, model);
    srv_copy_field(row.DrawingName, drawing);
    srv_copy_text(row.UserName, user);
    row.LockStatus = status;
    return row;
}

bool in_status_class(int32_t requested, int32_t status) {
    if (requested == 1) return status == 1;
    if (requested > 1) return status == 2 || status == 3;
    return status == 0;
}

bool same_user(const drawinglocks_row& row, const char* user) {
    char cut[SRV_USER_NAME_SIZE];
    srv_copy_text(cut, user);
    return std::strncmp(row.UserName, cut, SRV_USER_NAME_SIZE) == 0;
}

}  // namespace

int record_drawing_lock(const char* model, const char* user, drawinglocks_row& body) {
    drawinglocks_row row = primary_key(model, body.DrawingName, user, body.LockStatus);
    row.ModId = body.ModId;
    row.TimeStamp = server_now();
    drawinglocks_row existing = row;
    int stored;
    if (dbv_select(primary_index(), &existing) != 0) {
        stored = dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_DRAWINGLOCKS), &row) == 0;
    } else {
        existing.TimeStamp = row.TimeStamp;
        existing.ModId = row.ModId;
        stored = dbv_update(primary_index(), &existing) == 0;
    }
    body = row;
    return stored;
}

int remove_drawing_lock(const char* model, const char* user, const drawinglocks_row& body) {
    drawinglocks_row row = primary_key(model, body.DrawingName, user, body.LockStatus);
    if (dbv_select(primary_index(), &row) != 0 || row.LockStatus != body.LockStatus) return 0;
    return dbv_delete(primary_index(), &row) == 0;
}

int check_drawing_lock_status(const char* model, const char* user, drawinglocks_row& body) {
    const int32_t asker_status = body.LockStatus;
    const int32_t asker_mod_id = body.ModId;
    int32_t best_status = asker_status;
    // A status 1 asker has no model version of its own to compare with.
    int32_t best_mod_id = asker_status == 1 ? 0 : asker_mod_id;
    drawinglocks_row best{};
    bool found = false;

    drawinglocks_row key{};
    srv_copy_text(key.ModelName, model);
    srv_copy_field(key.DrawingName, body.DrawingName);
    dbv_cursorstruct* cursor =
        dbv_opencursor(secondary_index(SRV_DRAWINGLOCKS_BY_MODEL_DRAWING), &key);
    drawinglocks_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (same_user(row, user)) continue;
        const bool candidate = row.LockStatus > best_status ||
                               (row.LockStatus == best_status && row.ModId >= best_mod_id);
        if (!candidate) continue;
        // A saved lock matters only when it saved a newer model than the asker has.
        if (row.LockStatus == 3 && row.ModId <= asker_mod_id) continue;
        best_status = row.LockStatus;
        best_mod_id = row.ModId;
        best = row;
        found = true;
    }
    dbv_closecursor(cursor);
    if (!found) return 0;
    body.TimeStamp = best.TimeStamp;
    body.LockStatus = best.LockStatus;
    body.ModId = best.ModId;
    srv_copy_field(body.UserName, best.UserName);
    return 1;
}

int locked_drawing_names(const char* user, int32_t status, char* text, size_t text_size) {
    drawinglocks_row key{};
    srv_copy_text(key.UserName, user);
    std::set<std::string> distinct;
    dbv_cursorstruct* cursor = dbv_opencursor(secondary_index(SRV_DRAWINGLOCKS_BY_USER), &key);
    drawinglocks_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (in_status_class(status, row.LockStatus))
            distinct.emplace(row.DrawingName, strnlen(row.DrawingName, sizeof row.DrawingName));
    }
    dbv_closecursor(cursor);
    if (distinct.empty()) {
        srv_copy_text(text, text_size, "", 0);
        return 0;
    }
    // list::sort merges and never reads outside the list, even if the natural order
    // were not a strict weak ordering for some odd names.
    std::list<std::string> names(distinct.begin(), distinct.end());
    names.sort([](const std::string& a, const std::string& b) {
        return tool_strnatcmp(a.c_str(), b.c_str()) < 0;
    });
    std::string joined;
    for (const std::string& name : names) {
        if (joined.empty()) {
            joined = name;
        } else if (joined.size() + 2 + name.size() >= 251) {
            joined += ", ...";  // keeps the text within the 255 characters of the reply
            break;
        } else {
            joined += ", ";
            joined += name;
        }
    }
    srv_copy_text(text, text_size, joined.c_str(), joined.size());
    return 1;
}

int locked_drawing_names(const drawinglocks_row& request, char* text, size_t text_size) {
    char user[SRV_USER_NAME_SIZE];
    srv_copy_field(user, request.UserName);
    const int32_t status = request.LockStatus;
    return locked_drawing_names(user, status, text, text_size);
}

int promote_drawing_locks_after_save(const char* model, const char* user, int32_t save_time) {
    drawinglocks_row key{};
    srv_copy_text(key.ModelName, model);
    srv_copy_text(key.UserName, user);
    dbv_indexstruct* index = secondary_index(SRV_DRAWINGLOCKS_BY_MODEL_USER);
    drawinglocks_row row{};

    // First walk: one status 2/3 row per drawing stays; the statuses seen are kept.
    std::map<std::string, std::set<int32_t>> statuses;
    dbv_cursorstruct* cursor = dbv_opencursor(index, &key);
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (row.LockStatus != 2 && row.LockStatus != 3) continue;
        std::string name(row.DrawingName, strnlen(row.DrawingName, sizeof row.DrawingName));
        auto [entry, first] = statuses.try_emplace(name);
        entry->second.insert(row.LockStatus);
        if (!first) dbv_deletecurrent(cursor);
    }
    dbv_closecursor(cursor);

    // Second walk: the saved drawings that were being edited (status 2) become status 3.
    int promoted = 0;
    cursor = dbv_opencursor(index, &key);
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (row.LockStatus != 2 && row.LockStatus != 3) continue;
        std::string name(row.DrawingName, strnlen(row.DrawingName, sizeof row.DrawingName));
        auto entry = statuses.find(name);
        if (entry == statuses.end() || entry->second.count(2) == 0) continue;
        row.LockStatus = 3;
        row.TimeStamp = save_time;
        if (dbv_updatecurrent(cursor, &row) == 0) ++promoted;
    }
    dbv_closecursor(cursor);
    return promoted;
}

int drop_user_drawing_locks(const char* user) {
    drawinglocks_row key{};
    srv_copy_text(key.UserName, user);
    int dropped = 0;
    dbv_cursorstruct* cursor = dbv_opencursor(secondary_index(SRV_DRAWINGLOCKS_BY_USER), &key);
    drawinglocks_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        // Saved locks (status 3) outlive their holder; every lower one goes, wherever it
        // stands among the user's rows.
        if (row.LockStatus <= 2 && dbv_deletecurrent(cursor) == 0) ++dropped;
    }
    dbv_closecursor(cursor);
    return dropped;
}

int drop_drawing_locks_with_status(int32_t status) {
    drawinglocks_row key{};
    key.LockStatus = status;
    int dropped = 0;
    dbv_cursorstruct* cursor = dbv_opencursor(secondary_index(SRV_DRAWINGLOCKS_BY_STATUS), &key);
    drawinglocks_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) {
        if (dbv_deletecurrent(cursor) == 0) ++dropped;
    }
    dbv_closecursor(cursor);
    return dropped;
}
