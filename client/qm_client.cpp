// The request protocol over a synchronous endpoint: one frame written, frames read back
// piecewise (prefix, names, payload) with one deadline for the whole exchange. The
// endpoint's read reports a time-out as a plain failure, so the deadline tells them apart.
#include "client/qm_client.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "wirelay/endpoint.h"
#include "wirelay/endpoint_connect.h"
#include "wirelay/frame.h"
#include "wirelay/wrl_errors.h"

namespace qm {
namespace {

using steady = std::chrono::steady_clock;

// Largest reply payload the client takes; a request record is all a server sends back.
constexpr uint32_t kMaxReplyPayload = 64 * 1024;

struct deadline_t {
    steady::time_point at;
    explicit deadline_t(int timeout_ms)
        : at(steady::now() + std::chrono::milliseconds(timeout_ms)) {}
    int32_t remaining_ms() const {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(at - steady::now()).count();
        return static_cast<int32_t>(std::max<int64_t>(1, left));
    }
    // The endpoint's timed wait counts whole milliseconds and may end a little early.
    bool passed() const { return steady::now() + std::chrono::milliseconds(10) >= at; }
};

// Maps a failed synchronous transfer: a plain failure after the deadline was a time-out.
int transfer_code(int rc, const deadline_t& deadline) {
    if (rc == WRL_EFAIL && deadline.passed()) return WRL_ETIMEOUT;
    return rc;
}

// Copies a text into a fixed record field, cut to the field less one and zero-padded.
template <std::size_t N>
void put_text(char (&field)[N], const std::string& text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, 0, N - n);
}

void copy_model(cdb_request& r, const std::string& model) {
    put_text(r.model_name, model);
}

}  // namespace

cdb_request make_request(uint32_t query, const std::string& model) {
    cdb_request r;
    std::memset(&r, 0, sizeof r);
    r.query = query;
    copy_model(r, model);
    return r;
}

std::string client_error_text(int code) {
    return wrl_strerror(code);
}

client_c::~client_c() {
    close();
}

void client_c::close() {
    if (endpoint_ != nullptr) wrl_net_destroy(endpoint_);
    endpoint_ = nullptr;
}

int client_c::fail(int code) {
    close();
    return code;
}

int client_c::connect(const std::string& address, const std::string& name, int timeout_ms) {
    close();
    name_ = name;
    wrl_address parsed;
    if (name.empty() || name.size() > wrl::kNameMax || name.find('\0') != std::string::npos ||
        wrl_net_parseaddress(address.c_str(), &parsed) != 0)
        return WRL_EFAIL;
    // One deadline covers connecting, identifying and the identify reply.
    const deadline_t deadline(timeout_ms);
    int code = wrl_net_createconnected(&endpoint_, address.c_str(), timeout_ms);
    if (code != 0) {
        endpoint_ = nullptr;
        return code;
    }
    if ((code = send_frame(wrl::kKindIdentify, nullptr, 0, deadline.remaining_ms())) != 0)
        return fail(code);
    uint32_t kind = 0, status = 0;
    std::vector<unsigned char> payload;
    if ((code = read_frame(&kind, &status, &payload, deadline.remaining_ms())) != 0)
        return fail(code);
    if (status != 0) return fail(static_cast<int>(status));
    if (kind != wrl::kKindIdentify) return fail(WRL_EFAIL);
    return WRL_OK;
}

int client_c::send_frame(uint32_t kind, const void* payload, uint32_t length, int timeout_ms) {
    std::vector<unsigned char> frame(wrl::kHeaderSize + length);
    wrl::FrameHeader header;
    header.kind = kind;
    header.length = length;
    wrl::CopyName(header.from, name_.c_str());
    if (kind == wrl::kKindNormal)
        wrl::CopyName(header.to, name_.c_str());  // replies come back here
    wrl::EncodeHeader(header, frame.data());
    if (length > 0) std::memcpy(frame.data() + wrl::kHeaderSize, payload, length);
    const deadline_t deadline(timeout_ms);
    const int rc = wrl_net_write(endpoint_, frame.data(), static_cast<uint32_t>(frame.size()),
                                 deadline.remaining_ms());
    return transfer_code(rc, deadline);
}

int client_c::read_frame(uint32_t* kind, uint32_t* status, std::vector<unsigned char>* payload,
                         int timeout_ms) {
    const deadline_t deadline(timeout_ms);
    uint8_t header_bytes[wrl::kHeaderSize];
    int rc = wrl_net_read(endpoint_, header_bytes, wrl::kPrefixSize, deadline.remaining_ms());
    if (rc != 0) return transfer_code(rc, deadline);
    wrl::FrameHeader header;
    wrl::DecodePrefix(header_bytes, &header);
    if (header.magic != wrl::kFrameMagic) return WRL_EPROTOCOL;
    if (header.version != wrl::kFrameVersion) return WRL_EVERSION;
    *kind = header.kind;
    *status = header.status;
    payload->clear();
    if (wrl::IsShortStatus(header.status)) return WRL_OK;
    rc = wrl_net_read(endpoint_, header_bytes + wrl::kPrefixSize, wrl::kNamesSize,
                      deadline.remaining_ms());
    if (rc != 0) return transfer_code(rc, deadline);
    if (header.length > kMaxReplyPayload) return WRL_EFAIL;
    if (header.length > 0) {
        payload->resize(header.length);
        rc = wrl_net_read(endpoint_, payload->data(), header.length, deadline.remaining_ms());
        if (rc != 0) return transfer_code(rc, deadline);
    }
    return WRL_OK;
}

int client_c::call_raw(const void* data, uint32_t length, std::vector<unsigned char>* reply,
                       int timeout_ms) {
    if (endpoint_ == nullptr) return WRL_ENOCONN;
    const deadline_t deadline(timeout_ms);
    int code = send_frame(wrl::kKindNormal, data, length, deadline.remaining_ms());
    if (code != 0) return fail(code);
    std::vector<unsigned char> payload;
    uint32_t kind = 0, status = 0;
    // The acknowledgement leaves the server ahead of everything queued; a stray message
    // that another client addressed to this name may still be in front of it and is skipped.
    do {
        if ((code = read_frame(&kind, &status, &payload, deadline.remaining_ms())) != 0)
            return fail(code);
    } while (kind == wrl::kKindNormal);
    if (kind != wrl::kKindAcknowledge) return fail(WRL_EFAIL);
    if (status != 0) return static_cast<int>(status);
    if ((code = read_frame(&kind, &status, &payload, deadline.remaining_ms())) != 0)
        return fail(code);
    if (kind != wrl::kKindNormal) return fail(WRL_EFAIL);
    if (reply != nullptr) *reply = std::move(payload);
    return WRL_OK;
}

int client_c::call(cdb_request& request, int timeout_ms) {
    std::vector<unsigned char> reply;
    const int code = call_raw(&request, sizeof request, &reply, timeout_ms);
    if (code != 0) return code;
    if (reply.size() != sizeof request) return fail(WRL_EFAIL);
    std::memcpy(&request, reply.data(), sizeof request);
    return WRL_OK;
}

// --- typed helpers -------------------------------------------------------------------

int client_c::get_maxid(const std::string& model, const common_model_row& counters,
                        cdb_request& reply) {
    reply = make_request(CDB_GET_MAXID, model);
    cdb_set_body_row(reply, counters);
    return call(reply);
}

int client_c::lock_database(const std::string& model, cdb_request& reply) {
    reply = make_request(CDB_LOCK_DATABASE, model);
    return call(reply);
}

int client_c::unlock_database(const std::string& model, cdb_request& reply) {
    reply = make_request(CDB_UNLOCK_DATABASE, model);
    return call(reply);
}

int client_c::confirm_database_lock(const std::string& model, cdb_request& reply) {
    reply = make_request(CDB_CONFIRM_DATABASE_LOCK, model);
    return call(reply);
}

int client_c::lock_object(const std::string& model, int32_t object_id, cdb_request& reply) {
    reply = make_request(CDB_LOCK_OBJECT, model);
    cdb_set_body_object_id(reply, object_id);
    return call(reply);
}

int client_c::unlock_object(const std::string& model, int32_t object_id, cdb_request& reply) {
    reply = make_request(CDB_UNLOCK_OBJECT, model);
    cdb_set_body_object_id(reply, object_id);
    return call(reply);
}

int client_c::confirm_object_lock(const std::string& model, int32_t object_id, cdb_request& reply) {
    reply = make_request(CDB_CONFIRM_OBJECT_LOCK, model);
    cdb_set_body_object_id(reply, object_id);
    return call(reply);
}

int client_c::test_connection(cdb_request& reply) {
    reply = make_request(CDB_TEST_CONNECTION);
    return call(reply);
}

int client_c::get_nclients(cdb_request& reply) {
    reply = make_request(CDB_GET_NCLIENTS);
    return call(reply);
}

int client_c::get_server_database_name(cdb_request& reply) {
    reply = make_request(CDB_GET_SERVER_DATABASE_NAME);
    return call(reply);
}

int client_c::get_ga_id(const std::string& model, const common_model_row& counters,
                        cdb_request& reply) {
    reply = make_request(CDB_GET_GA_ID, model);
    cdb_set_body_row(reply, counters);
    return call(reply);
}

int client_c::get_next_multiuser(const std::string& last_user, cdb_request& reply) {
    reply = make_request(CDB_GET_NEXT_MULTIUSER);
    multiusers_row row{};
    put_text(row.UserName, last_user);
    cdb_set_body_row(reply, row);
    return call(reply);
}

int client_c::save_completed(const std::string& model, cdb_request& reply) {
    reply = make_request(CDB_SAVE_COMPLETED, model);
    return call(reply);
}

int client_c::get_multi_drawing_id(const std::string& model, const common_model_row& counters,
                                   cdb_request& reply) {
    reply = make_request(CDB_GET_MULTI_DRAWING_ID, model);
    cdb_set_body_row(reply, counters);
    return call(reply);
}

int client_c::get_nclients_for_model(const std::string& model, cdb_request& reply) {
    reply = make_request(CDB_GET_NCLIENTS_FOR_MODEL, model);
    return call(reply);
}

int client_c::get_server_version(cdb_request& reply) {
    reply = make_request(CDB_GET_SERVER_VERSION);
    return call(reply);
}

int client_c::get_user_and_time_for_modellock(const std::string& model, int32_t sent_result,
                                              cdb_request& reply) {
    reply = make_request(CDB_GET_USER_AND_TIME_FOR_MODELLOCK, model);
    reply.result = sent_result;
    return call(reply);
}

int client_c::lock_drawing(const std::string& model, const std::string& drawing, int32_t mod_id,
                           int32_t lock_status, cdb_request& reply) {
    reply = make_request(CDB_LOCK_DRAWING, model);
    drawinglocks_row row{};
    put_text(row.DrawingName, drawing);
    row.ModId = mod_id;
    row.LockStatus = lock_status;
    cdb_set_body_row(reply, row);
    return call(reply);
}

int client_c::unlock_drawing(const std::string& model, const std::string& drawing,
                             int32_t lock_status, cdb_request& reply) {
    reply = make_request(CDB_UNLOCK_DRAWING, model);
    drawinglocks_row row{};
    put_text(row.DrawingName, drawing);
    row.LockStatus = lock_status;
    cdb_set_body_row(reply, row);
    return call(reply);
}

int client_c::kick_client(const std::string& model, const std::string& user, cdb_request& reply) {
    reply = make_request(CDB_KICK_CLIENT, model);
    multiusers_row row{};
    put_text(row.UserName, user);
    cdb_set_body_row(reply, row);
    return call(reply);
}

int client_c::get_locked_drawing_names(const std::string& user, int32_t lock_status,
                                       cdb_request& reply) {
    reply = make_request(CDB_GET_LOCKED_DRAWING_NAMES);
    drawinglocks_row row{};
    put_text(row.UserName, user);
    row.LockStatus = lock_status;
    cdb_set_body_row(reply, row);
    return call(reply);
}

int client_c::check_drawing_lock_status(const std::string& model, const std::string& drawing,
                                        int32_t mod_id, int32_t lock_status, cdb_request& reply) {
    reply = make_request(CDB_CHECK_DRAWING_LOCK_STATUS, model);
    drawinglocks_row row{};
    put_text(row.DrawingName, drawing);
    row.ModId = mod_id;
    row.LockStatus = lock_status;
    cdb_set_body_row(reply, row);
    return call(reply);
}

namespace {
cdb_request guid_request(uint32_t query, const std::string& guid, const std::string& holder,
                         int32_t locked) {
    cdb_request r = make_request(query);
    object_lock_row row{};
    put_text(row.guid, guid);
    put_text(row.client_name, holder);
    row.locked = locked;
    cdb_set_body_row(r, row);
    return r;
}
}  // namespace

int client_c::check_object_lock_proto(const std::string& guid, const std::string& holder,
                                      int32_t locked, cdb_request& reply) {
    reply = guid_request(CDB_CHECK_OBJECT_LOCK_PROTO, guid, holder, locked);
    return call(reply);
}

int client_c::lock_object_proto(const std::string& guid, const std::string& holder,
                                cdb_request& reply) {
    reply = guid_request(CDB_LOCK_OBJECT_PROTO, guid, holder, 0);
    return call(reply);
}

int client_c::unlock_object_proto(const std::string& guid, const std::string& holder,
                                  cdb_request& reply) {
    reply = guid_request(CDB_UNLOCK_OBJECT_PROTO, guid, holder, 0);
    return call(reply);
}

}  // namespace qm
