// The message server's client records: creating and freeing them, removing a client with
// everything queued for it, and the slow-reader policy that drops a client whose backlog of
// unwritten frames overflowed.
#include <new>

#include "wirelay/io_core.h"
#include "wirelay/message_server_loop.h"
#include "wirelay/wrl_errors.h"

namespace wrl {

wrl_msgsrv* NewServer() {
    void* mem = wrl_malloc(sizeof(wrl_msgsrv));
    if (mem == nullptr) return nullptr;
    return new (mem) wrl_msgsrv();
}

void DeleteServer(wrl_msgsrv* s) {
    s->~wrl_msgsrv();
    wrl_free(s);
}

void FreeClientRecord(Client* c) {
    if (c->ep != nullptr) wrl_net_free(c->ep);  // first: the pending read uses rbuf
    if (c->rbuf != nullptr) wrl_free(c->rbuf);
    if (c->wbuf != nullptr) wrl_free(c->wbuf);
    c->~Client();
    wrl_free(c);
}

// Registers a new client record (head of the list, next id). 0 or 3.
int NewClient(wrl_msgsrv* s, Client** out) {
    void* mem = wrl_malloc(sizeof(Client));
    if (mem == nullptr) return WRL_ENOMEM;
    Client* c = new (mem) Client();
    c->reader.SetBudget(&s->receiving);
    c->id = s->last_id + 1;
    try {
        s->by_id.emplace(c->id, c);
    } catch (const std::bad_alloc&) {
        FreeClientRecord(c);
        return WRL_ENOMEM;
    }
    s->last_id = c->id;
    ++s->generation;
    c->next = s->clients;
    if (s->clients != nullptr) s->clients->prev = c;
    s->clients = c;
    *out = c;
    return WRL_OK;
}

// Removes a client: the disconnect handler is told when it had a name, its endpoint is
// closed, and queued messages addressed to it, by id or by name, go with it. A name entry
// could only be queued while this client held the name, so it was meant for this
// connection; kept, it would wait forever or reach a stranger who later takes the name.
void RemoveClient(wrl_msgsrv* s, Client* c) {
    if (s->disconnect_handler != nullptr && c->name[0] != '\0') {
        s->disconnect_handler(c->name, s->disconnect_user);
    }
    if (c->prev != nullptr) {
        c->prev->next = c->next;
    } else {
        s->clients = c->next;
    }
    if (c->next != nullptr) c->next->prev = c->prev;
    s->by_id.erase(c->id);
    if (c->name[0] != '\0') s->by_name.erase(std::string_view(c->name));
    ++s->generation;
    PurgeClientFromQueue(s, c->id, c->name);
    s->backlog_total -= c->backlog < s->backlog_total ? c->backlog : s->backlog_total;
    FreeClientRecord(c);
}

// Removes the clients whose backlog overflowed.
void DropSlowConsumers(wrl_msgsrv* s) {
    while (!s->overflowed.empty()) {
        const uint32_t id = s->overflowed.back();
        s->overflowed.pop_back();
        if (Client* c = FindClient(s, id)) {
            io_log("wrl_msgsrv: client %u removed, %zu bytes waited for it\n", id, c->backlog);
            RemoveClient(s, c);
        }
    }
}

}  // namespace wrl
