// Socketless clients of a message server (message_server_detached.h): attaching, feeding
// and detaching them, and flushing what is written to them into the sink. Every other step
// is the one connected clients go through.
#include "wirelay/message_server_loop.h"
#include "wirelay/wrl_errors.h"

namespace wrl {

// Flushes socketless clients: their writes complete at once, which may free them to take
// the next queued message.
int SendPendingDetached(wrl_msgsrv* s) {
    for (;;) {
        DropSlowConsumers(s);
        const int rc = SendPending(s);
        if (rc != WRL_OK || s->sink_done.empty()) return rc;
        decltype(s->sink_done) done;  // WriteDone may remove clients and queue more
        done.swap(s->sink_done);
        for (uint32_t id : done) {
            if (Client* c = FindClient(s, id)) WriteDone(s, c);
        }
    }
}

int CreateDetachedServer(FrameSink sink, void* user, wrl_msgsrv** out) {
    *out = NewServer();
    if (*out == nullptr) return WRL_ENOMEM;
    (*out)->sink = sink;
    (*out)->sink_user = user;
    return WRL_OK;
}

int AttachClient(wrl_msgsrv* server, uint32_t* client_id) {
    Client* c = nullptr;
    const int rc = NewClient(server, &c);
    if (rc == WRL_OK) *client_id = c->id;
    return rc;
}

int FeedClient(wrl_msgsrv* server, uint32_t client_id, const uint8_t* data, size_t size) {
    Client* c = FindClient(server, client_id);
    if (c == nullptr) return WRL_OK;
    bool gone = false;
    const int rc = FeedBytes(server, c, data, size, &gone);
    if (rc != WRL_OK) return rc;
    if (server->batch_handler != nullptr) server->batch_handler(server->batch_user);
    const int sent = SendPendingDetached(server);
    ReleaseIfDue(server);
    return sent;
}

void DetachClient(wrl_msgsrv* server, uint32_t client_id) {
    if (Client* c = FindClient(server, client_id)) RemoveClient(server, c);
    ReleaseIfDue(server);
}

bool HasClient(const wrl_msgsrv* server, uint32_t client_id) {
    return server->by_id.count(client_id) != 0;
}

size_t QueuedMessages(const wrl_msgsrv* server) {
    return server->queued;
}

}  // namespace wrl
