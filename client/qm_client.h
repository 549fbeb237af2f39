// Client side of the multiuser request protocol, on top of the transport's endpoint
// layer: connect to an address text, identify under a name, then send one cdb_request at
// a time addressed to the client's own name and read the acknowledgement and, when its
// status is 0, the reply. Every failure is a transport code whose text is wrl_strerror's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/cdb_request.h"

struct wrl_net;

namespace qm {

inline constexpr int kDefaultClientTimeoutMs = 5000;
inline constexpr const char* kDefaultClientAddress = "tcpip:localhost,1238";

class client_c {
  public:
    client_c() = default;
    ~client_c();
    client_c(const client_c&) = delete;
    client_c& operator=(const client_c&) = delete;

    // Connects to `address` ("tcpip:host,port") and identifies as `name` (1 to 32
    // characters). Returns WRL_OK; WRL_EFAIL for a bad address, a refused connection or a bad
    // name; WRL_EDUPLICATE when the name is taken; WRL_EPROTOCOL or WRL_EVERSION when the
    // server speaks another protocol; WRL_EBROKEN when the connection breaks; WRL_ETIMEOUT
    // when connecting and identifying take longer than `timeout_ms` together (an address
    // that drops packets, a server whose backlog is full, a server that does not answer).
    // On any failure the client is left unconnected. A connected client is closed first.
    int connect(const std::string& address, const std::string& name,
                int timeout_ms = kDefaultClientTimeoutMs);

    bool connected() const { return endpoint_ != nullptr; }
    const std::string& name() const { return name_; }

    // Closes the connection (the server then counts the client as gone). Idempotent.
    void close();

    // Sends `request` and waits for its acknowledgement and reply, which replaces
    // `request`. Returns the acknowledgement's status (WRL_OK = replied; for example
    // WRL_EREJECTED when the server rejected the request), WRL_ENOCONN when not connected,
    // WRL_EBROKEN when the connection broke, WRL_ETIMEOUT on a time-out, WRL_EFAIL for a
    // reply that is not a request record. After WRL_EBROKEN, WRL_ETIMEOUT and WRL_EFAIL the
    // connection is closed: the byte stream can no longer be trusted.
    int call(cdb_request& request, int timeout_ms = kDefaultClientTimeoutMs);

    // The same with a payload of any length (for probing the server with odd records).
    // On status 0 `reply` receives the reply's payload.
    int call_raw(const void* payload, uint32_t length, std::vector<unsigned char>* reply,
                 int timeout_ms = kDefaultClientTimeoutMs);

    // Typed helpers: each fills a fresh record for one request, calls it and leaves the
    // reply in `reply`. They return what call() returns.
    int get_maxid(const std::string& model, const common_model_row& counters, cdb_request& reply);
    int lock_database(const std::string& model, cdb_request& reply);
    int unlock_database(const std::string& model, cdb_request& reply);
    int confirm_database_lock(const std::string& model, cdb_request& reply);
    int lock_object(const std::string& model, int32_t object_id, cdb_request& reply);
    int unlock_object(const std::string& model, int32_t object_id, cdb_request& reply);
    int confirm_object_lock(const std::string& model, int32_t object_id, cdb_request& reply);
    int test_connection(cdb_request& reply);
    int get_nclients(cdb_request& reply);
    int get_server_database_name(cdb_request& reply);
    int get_ga_id(const std::string& model, const common_model_row& counters, cdb_request& reply);
    int get_next_multiuser(const std::string& last_user, cdb_request& reply);
    int save_completed(const std::string& model, cdb_request& reply);
    int get_multi_drawing_id(const std::string& model, const common_model_row& counters,
                             cdb_request& reply);
    int get_nclients_for_model(const std::string& model, cdb_request& reply);
    int get_server_version(cdb_request& reply);
    // `sent_result` goes out in the record's result; a free model answers with it unchanged.
    int get_user_and_time_for_modellock(const std::string& model, int32_t sent_result,
                                        cdb_request& reply);
    int lock_drawing(const std::string& model, const std::string& drawing, int32_t mod_id,
                     int32_t lock_status, cdb_request& reply);
    int unlock_drawing(const std::string& model, const std::string& drawing, int32_t lock_status,
                       cdb_request& reply);
    int kick_client(const std::string& model, const std::string& user, cdb_request& reply);
    int get_locked_drawing_names(const std::string& user, int32_t lock_status, cdb_request& reply);
    int check_drawing_lock_status(const std::string& model, const std::string& drawing,
                                  int32_t mod_id, int32_t lock_status, cdb_request& reply);
    int check_object_lock_proto(const std::string& guid, const std::string& holder, int32_t locked,
                                cdb_request& reply);
    int lock_object_proto(const std::string& guid, const std::string& holder, cdb_request& reply);
    int unlock_object_proto(const std::string& guid, const std::string& holder, cdb_request& reply);

  private:
    int send_frame(uint32_t kind, const void* payload, uint32_t length, int timeout_ms);
    int read_frame(uint32_t* kind, uint32_t* status, std::vector<unsigned char>* payload,
                   int timeout_ms);
    int fail(int code);

    wrl_net* endpoint_ = nullptr;
    std::string name_;
};

// A fresh record for `query` about `model` (cut to 83 characters), everything else zero.
cdb_request make_request(uint32_t query, const std::string& model = std::string());

// The text of a transport code (wrl_strerror's, copied out of its shared buffer).
std::string client_error_text(int code);

}  // namespace qm
