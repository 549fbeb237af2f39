// The three id allocations share one frame: find or create the model's counters row,
// advance one counter past both the stored and the client's value, save the file, log.
#include "server/id_allocation.h"

#include <cstdio>

#include "outside/table_store.h"
#include "server/log_text.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"

namespace {

// 32-bit counters wrap like the on-disk integers they are; done unsigned to stay defined.
int32_t add_wrapping(int32_t value, int32_t step) {
    return static_cast<int32_t>(static_cast<uint32_t>(value) + static_cast<uint32_t>(step));
}

struct counter_rule {
    int32_t common_model_row::*counter;
    int32_t block;             // what the stored value advances by when it is ahead or level
    bool block_counts;         // object ids: the stored value counts as ahead when its next
                               // block reaches the client's value
    const char* saved_format;  // logged after a successful save: name, db_number, new value
};

int32_t allocate(common_model_row& body, const counter_rule& rule) {
    common_model_row stored{};
    srv_copy_field(stored.name, body.name);
    stored.db_number = body.db_number;
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(SRV_TABLE_COMMON_MODEL);

    if (dbv_select(primary, &stored) != 0) {
        body.*rule.counter = add_wrapping(body.*rule.counter, 1);
        common_model_row created = stored;  // name and db_number cut and terminated
        created.maxid = body.maxid;
        created.ga_id = body.ga_id;
        created.multi_drawing_id = body.multi_drawing_id;
        if (dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &created) != 0) {
            log_printf("Error: could not insert model id:s\n");
            return body.*rule.counter;
        }
        log_printf("New model %s/%d\n", created.name, created.db_number);
    } else {
        const int32_t server_value = stored.*rule.counter;
        const int32_t client_value = body.*rule.counter;
        const int32_t ahead = add_wrapping(server_value, rule.block);
        int32_t next;
        if (rule.block_counts ? ahead >= client_value : server_value >= client_value) {
            next = ahead;
        } else {
            // The client has seen ids the server does not know of (an older file, say):
            // continue past the client's, so nothing is handed out twice.
            log_printf("Error: Model id conflict, used client id\n");
            next = add_wrapping(client_value, 1);
        }
        stored.*rule.counter = next;
        body.*rule.counter = next;
        if (dbv_update(primary, &stored) != 0) {
            log_printf("Error: could not update model id:s\n");
            return body.*rule.counter;
        }
    }

    // The file is saved once for the whole batch of requests (commit_pending_save); the
    // reply leaves only after that, and the line below says how the save went.
    char saved_line[160];
    std::snprintf(saved_line, sizeof saved_line, rule.saved_format, stored.name, body.db_number,
                  body.*rule.counter);
    request_database_save(saved_line);
    return body.*rule.counter;
}

}  // namespace

int32_t allocate_maxid(common_model_row& body) {
    return allocate(body, {&common_model_row::maxid, 100, true, "%s/%d id: %d\n"});
}

int32_t allocate_ga_id(common_model_row& body) {
    return allocate(body, {&common_model_row::ga_id, 1, false, "%s/%d GA id: %d\n"});
}

int32_t allocate_multi_drawing_id(common_model_row& body) {
    return allocate(
        body, {&common_model_row::multi_drawing_id, 1, false, "%s/%d Multi drawing id: %d\n"});
}
