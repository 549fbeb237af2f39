// Glue between the message server and the request handling: unpacks the message, lets
// process_request_payload change its payload in place and turns it into the reply.
#include "server/request_callback.h"

#include <cstdio>

#include "server/client_bookkeeping.h"
#include "server/request_handler.h"
#include "server/server_database.h"

namespace {

int on_client_connected(const char* name, void* user) {
    return client_connected(name, user);
}

void on_client_disconnected(const char* name, void* user) {
    client_disconnected(name, user);
}

// Id allocations of a batch are saved here, once for all of them, before their replies
// leave: 16 clients allocating at once wait for one commit of the file instead of 16.
void on_batch(void* /*user*/) {
    commit_pending_save();
}

// While a save waits, the loop may wait a little for the clients of the previous batch:
// allocating in step, they are about to send their next request and can share the save.
int64_t on_gather(void* /*user*/) {
    return save_gather_allowance_us();
}

// The log is written out whenever the server has answered everything that has arrived:
// whoever follows it sees a request's lines as soon as the server waits again, and under
// load one write carries the lines of a whole burst of requests instead of one each.
void on_idle(void* /*user*/) {
    std::fflush(stdout);
}

}  // namespace

int handle_request(wrl_msg* request, wrl_msg* reply, void* /*user*/) {
    const char* to = nullptr;
    const char* from = nullptr;
    int32_t priority = 0;
    void* payload = nullptr;
    uint32_t length = 0;
    wrl_msgsrv_getmsg(request, &to, &from, &priority, &payload, &length);
    const uint32_t status =
        process_request_payload(to, from, priority, static_cast<unsigned char*>(payload), length);
    if (status != 0) return static_cast<int>(status);
    const int rc = wrl_msgsrv_setmsg(reply, to, from, priority, payload, length);
    if (rc != 0) return rc;
    wrl_msgsrv_addrecipient(reply, to);
    return 0;
}

void register_server_handlers(wrl_msgsrv* server) {
    wrl_msgsrv_setmsghandler(server, handle_request, nullptr);
    wrl_msgsrv_setconnecthandler(server, on_client_connected, nullptr);
    wrl_msgsrv_setdisconnecthandler(server, on_client_disconnected, nullptr);
    wrl_msgsrv_setbatchhandler(server, on_batch, nullptr);
    wrl_msgsrv_setgatherhandler(server, on_gather, nullptr);
    wrl_msgsrv_setidlehandler(server, on_idle, nullptr);
}
