// The 25 requests of the multiuser server, dispatched on the record's query code. The
// tables' own work (locks, counters, user rows) lives in the server_core functions; this
// file owns the record: which body layout each request reads and writes, and its log.
#include "server/request_handler.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "server/client_bookkeeping.h"
#include "server/command_line.h"
#include "server/drawing_locks.h"
#include "server/id_allocation.h"
#include "server/locks.h"
#include "server/log_text.h"
#include "server/server_state.h"
#include "wirelay/wrl_errors.h"

namespace {

// A text field of the wire record as a terminated string, read no further than its size.
template <std::size_t N>
std::string field_text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// Terminates every text field of a row taken from the body, so that the table functions
// only ever see terminated texts; the tables keep size - 1 characters anyway.
template <std::size_t N>
void terminate(char (&field)[N]) {
    field[N - 1] = '\0';
}
void terminate_fields(common_model_row& row) {
    terminate(row.name);
}
void terminate_fields(multiusers_row& row) {
    terminate(row.ModelName);
    terminate(row.UserName);
}
void terminate_fields(drawinglocks_row& row) {
    terminate(row.ModelName);
    terminate(row.DrawingName);
    terminate(row.UserName);
}
void terminate_fields(object_lock_row& row) {
    terminate(row.guid);
    terminate(row.client_name);
}

template <class Row>
Row body_row(const cdb_request& request) {
    Row row = cdb_body_row<Row>(request);
    terminate_fields(row);
    return row;
}

// Writes a text body: at most 255 characters, terminated, the rest of the body zeroed.
void set_body_text(cdb_request& request, const char* text) {
    srv_copy_text(request.body, CDB_TEXT_SIZE, text, static_cast<size_t>(-1));
}

void set_error_from_result(cdb_request& request) {
    request.error = request.result == 0 ? 1 : 0;
}

// Runs one of the three id allocations on the body's counters.
void allocate(cdb_request& request, int32_t (*allocation)(common_model_row&)) {
    common_model_row counters = body_row<common_model_row>(request);
    request.result = allocation(counters);
    cdb_set_body_row(request, counters);
    set_error_from_result(request);
}

}  // namespace

void perform_request(cdb_request& request, const char* sender) {
    const std::string model = field_text(request.model_name);
    const char* user = sender != nullptr ? sender : "";

    if (user[0] != '\0') {
        std::string model_for_user = model;
        if (model_for_user.empty() && request.query == CDB_GET_MAXID)
            model_for_user = body_row<common_model_row>(request).name;
        if (!model_for_user.empty()) touch_user_row(model_for_user.c_str(), user);
    }

    const char* name = cdb_query_name(request.query);
    if (name == nullptr) {
        log_line("Unknown message");
        set_error_from_result(request);
        return;
    }
    log_labelled("Message ", name);

    const char* m = model.c_str();
    switch (request.query) {
        case CDB_GET_MAXID:
            allocate(request, allocate_maxid);
            break;
        case CDB_LOCK_DATABASE:
            request.result = lock_model_object(m, user, 0);
            if (request.result != 0) set_user_locked_time(user, server_now());
            set_error_from_result(request);
            break;
        case CDB_UNLOCK_DATABASE:
            request.result = unlock_model_object(m, user, 0);
            set_user_locked_time(user, 0);
            set_error_from_result(request);
            break;
        case CDB_CONFIRM_DATABASE_LOCK:
            request.result = confirm_model_object_lock(m, user, 0);
            set_error_from_result(request);
            break;
        case CDB_LOCK_OBJECT:
            request.result = lock_model_object(m, user, cdb_body_object_id(request));
            set_error_from_result(request);
            break;
        case CDB_UNLOCK_OBJECT:
            request.result = unlock_model_object(m, user, cdb_body_object_id(request));
            set_error_from_result(request);
            break;
        case CDB_CONFIRM_OBJECT_LOCK:
            request.result = confirm_model_object_lock(m, user, cdb_body_object_id(request));
            set_error_from_result(request);
            break;
        case CDB_TEST_CONNECTION:
            request.result = 1;
            request.error = 0;
            break;
        case CDB_GET_NCLIENTS:
            request.result = server_state().connected_clients;
            request.error = 0;  // zero clients is an answer, not a failure
            break;
        case CDB_GET_SERVER_DATABASE_NAME: {
            set_body_text(request, server_state().database_file.c_str());
            request.result = request.body[0] != '\0' ? 1 : 0;
            set_error_from_result(request);
            log_printf("Database name : %s\n", request.body);
            return;  // this request prints no "result" line
        }
        case CDB_GET_GA_ID:
            allocate(request, allocate_ga_id);
            break;
        case CDB_GET_NEXT_MULTIUSER: {
            multiusers_row row = body_row<multiusers_row>(request);
            request.result = next_user_row(row);
            cdb_set_body_row(request, row);
            set_error_from_result(request);
            break;
        }
        case CDB_SAVE_COMPLETED: {
            multiusers_row row = body_row<multiusers_row>(request);
            request.result = record_save(m, user, row);
            cdb_set_body_row(request, row);
            set_error_from_result(request);
            break;
        }
        case CDB_GET_MULTI_DRAWING_ID:
            allocate(request, allocate_multi_drawing_id);
            break;
        case CDB_GET_NCLIENTS_FOR_MODEL:
            request.result = count_model_users(m);
            set_error_from_result(request);
            break;
        case CDB_GET_SERVER_VERSION:
            set_body_text(request, qm::kServerVersion);
            request.result = 1;
            request.error = 0;
            break;
        case CDB_GET_USER_AND_TIME_FOR_MODELLOCK: {
            multiusers_row row = body_row<multiusers_row>(request);
            bool held = false;
            if (model_lock_holder(m, row, &held) != 0) {
                request.result = 1;
                cdb_set_body_row(request, row);
            } else if (held) {
                // The holder left and its lock stayed: the application can still say who
                // holds the model. Only the name changes; the result stays as sent.
                multiusers_row sent = cdb_body_row<multiusers_row>(request);
                std::memcpy(sent.UserName, row.UserName, sizeof sent.UserName);
                cdb_set_body_row(request, sent);
            }  // a free model: the result and the body stay as the client sent them
            set_error_from_result(request);
            break;
        }
        case CDB_LOCK_DRAWING: {
            drawinglocks_row row = body_row<drawinglocks_row>(request);
            request.result = record_drawing_lock(m, user, row);
            cdb_set_body_row(request, row);
            set_error_from_result(request);
            break;
        }
        case CDB_UNLOCK_DRAWING:
            request.result = remove_drawing_lock(m, user, body_row<drawinglocks_row>(request));
            set_error_from_result(request);
            break;
        case CDB_KICK_CLIENT:
            kick_user(m, body_row<multiusers_row>(request).UserName);
            request.result = 1;
            request.error = 0;
            break;
        case CDB_GET_LOCKED_DRAWING_NAMES: {
            const drawinglocks_row row = body_row<drawinglocks_row>(request);
            char text[CDB_TEXT_SIZE] = {};
            request.result = locked_drawing_names(row.UserName, row.LockStatus, text, sizeof text);
            std::memcpy(request.body, text, sizeof text);
            set_error_from_result(request);
            break;
        }
        case CDB_CHECK_DRAWING_LOCK_STATUS: {
            drawinglocks_row row = body_row<drawinglocks_row>(request);
            request.result = check_drawing_lock_status(m, user, row);
            if (request.result != 0) cdb_set_body_row(request, row);
            set_error_from_result(request);
            break;
        }
        case CDB_CHECK_OBJECT_LOCK_PROTO: {
            object_lock_row row = body_row<object_lock_row>(request);
            guid_check(row);
            cdb_set_body_row(request, row);
            request.result = 1;
            request.error = 0;
            break;
        }
        case CDB_LOCK_OBJECT_PROTO:
            request.result = guid_lock(body_row<object_lock_row>(request));
            set_error_from_result(request);
            break;
        case CDB_UNLOCK_OBJECT_PROTO:
            request.result = guid_unlock(body_row<object_lock_row>(request));
            set_error_from_result(request);
            break;
        default:
            break;
    }
    log_number("result ", request.result);
}

uint32_t process_request_payload(const char* to, const char* from, int32_t priority,
                                 unsigned char* data, uint32_t length) {
    log_received(from ? from : "", to ? to : "", priority, static_cast<int32_t>(length));
    if (data == nullptr || length < CDB_REQUEST_SIZE) {
        // Every client sends the whole record; a shorter one is refused unread and unanswered.
        log_printf("Rejected: a request has %d bytes\n", static_cast<int>(CDB_REQUEST_SIZE));
        return WRL_EREJECTED;
    }
    cdb_request request;
    std::memcpy(&request, data, sizeof request);
    perform_request(request, from);
    std::memcpy(data, &request, sizeof request);
    return WRL_OK;
}
