// The message server's life cycle and main loop: creating it on an address, accepting
// clients, and dispatching every completed read and write to the steps of
// message_server_loop.h until the server is stopped; closing it with its clients.
#include "wirelay/message_server.h"

#include <chrono>
#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/message_server_loop.h"
#include "wirelay/message_server_peer.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

// Asks the peer filter about a freshly accepted client; connections without a network
// peer are not its business.
bool PeerAllowed(wrl_msgsrv* s, const Client* c) {
    if (s->peer_filter == nullptr) return true;
    int family = 0;
    uint8_t address[16] = {};
    if (!PeerAddressOf(c->socket, &family, address)) return true;
    return s->peer_filter(family, address, s->peer_user);
}

int Accept(wrl_msgsrv* s) {
    Client* c = nullptr;
    int rc = NewClient(s, &c);
    if (rc == WRL_OK) {
        rc = wrl_net_alloc(&c->ep);
        if (rc != WRL_OK) RemoveClient(s, c);
    }
    if (rc != WRL_OK) {
        wrl_net_abortaccept(s->listen);
        return rc;
    }
    rc = wrl_net_accept(s->listen, c->ep);
    if (rc == WRL_OK) rc = StartRead(c);
    if (rc != WRL_OK || !PeerAllowed(s, c)) RemoveClient(s, c);
    const int armed = wrl_net_armaccept(s->listen, s);
    return rc != WRL_OK ? rc : armed;
}

// Waits for the next completion (at most timeout_us when that is not negative: *timed_out
// then says whether none came) and acts on it. WRL_OK, or the code that ends the loop.
int WaitAndDispatch(wrl_msgsrv* s, int64_t timeout_us = -1, bool* timed_out = nullptr) {
    int direction = -1;
    void* user = nullptr;
    int rc = timeout_us < 0 ? wrl_net_wait(s->listen, &direction, &user)
                            : wrl_net_waitbrief(s->listen, timeout_us, &direction, &user);
    if (s->stop.load()) return WRL_ESHUTDOWN;
    if (timeout_us >= 0 && rc == WRL_OK && user == nullptr) {
        *timed_out = true;
        return WRL_OK;
    }

    if (user == s) {
        if (rc != WRL_OK) {
            // A failed accept concerns one would-be client only; keep listening.
            io_log("wrl_msgsrv_run: accept failed: %s\n", wrl_strerror(rc));
            wrl_net_abortaccept(s->listen);
            return wrl_net_armaccept(s->listen, s);
        }
        return Accept(s);
    }
    if (user == nullptr) return WRL_EFAIL;  // the wait itself failed

    Client* c = static_cast<Client*>(user);
    if (rc != WRL_OK) {
        // A broken connection (or any other failure of this client's transfer) ends the
        // client, not the server.
        if (rc != WRL_EBROKEN) io_log("wrl_msgsrv_run: client %u: %s\n", c->id, wrl_strerror(rc));
        RemoveClient(s, c);
        return WRL_OK;
    }
    if (direction == WRL_NET_WRITE) {
        WriteDone(s, c);
    } else if (direction == WRL_NET_READ) {
        return ReadDone(s, c, wrl_net_done(c->ep, WRL_NET_READ));
    }
    return WRL_OK;
}

// Before the batch is finished, waits a little for the clients of the previous batch that
// have not sent again yet, as long as the gather handler allows, handling what arrives
// meanwhile (at most `room` completions). 0, or the code that ends the loop.
int Gather(wrl_msgsrv* s, int room) {
    if (s->gather_handler == nullptr || s->batch_clients == 0) return WRL_OK;
    if (s->returned_clients >= s->previous_batch_clients) return WRL_OK;
    const int64_t allowed_us = s->gather_handler(s->gather_user);
    if (allowed_us <= 0) return WRL_OK;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(allowed_us);
    for (; room > 0 && s->returned_clients < s->previous_batch_clients; --room) {
        const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        bool timed_out = false;
        const int rc = WaitAndDispatch(s, left.count(), &timed_out);
        if (rc != WRL_OK || timed_out) return rc;
    }
    return WRL_OK;
}

int CreateServer(const wrl_address* address, const char* text, wrl_msgsrv** out) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    wrl_msgsrv* s = NewServer();
    if (s == nullptr) return WRL_ENOMEM;
    int rc = wrl_net_createwith(&s->listen, PeerNotingInterfaces());
    if (rc == WRL_OK) {
        rc = address != nullptr ? wrl_net_listenat(s->listen, address)
                                : wrl_net_listen(s->listen, text);
    }
    if (rc != WRL_OK) {
        if (s->listen != nullptr) wrl_net_destroy(s->listen);
        DeleteServer(s);
        return rc;
    }
    *out = s;
    return WRL_OK;
}

}  // namespace

}  // namespace wrl

using wrl::Client;

extern "C" {

int wrl_msgsrv_create(const char* address, wrl_msgsrv** out) {
    return wrl::CreateServer(nullptr, address, out);
}

int wrl_msgsrv_createat(const wrl_address* address, wrl_msgsrv** out) {
    if (address == nullptr) return WRL_EFAIL;
    return wrl::CreateServer(address, nullptr, out);
}

int wrl_msgsrv_port(const wrl_msgsrv* server) {
    return server != nullptr ? wrl_net_localport(server->listen) : -1;
}

void wrl_msgsrv_setmsghandler(wrl_msgsrv* server, wrl_msghandler_t handler, void* user) {
    server->msg_handler = handler;
    server->msg_user = user;
}

void wrl_msgsrv_setconnecthandler(wrl_msgsrv* server, wrl_connecthandler_t handler, void* user) {
    server->connect_handler = handler;
    server->connect_user = user;
}

void wrl_msgsrv_setdisconnecthandler(wrl_msgsrv* server, wrl_disconnecthandler_t handler,
                                     void* user) {
    server->disconnect_handler = handler;
    server->disconnect_user = user;
}

void wrl_msgsrv_setidlehandler(wrl_msgsrv* server, wrl_idlehandler_t handler, void* user) {
    server->idle_handler = handler;
    server->idle_user = user;
}

void wrl_msgsrv_setbatchhandler(wrl_msgsrv* server, wrl_batchhandler_t handler, void* user) {
    server->batch_handler = handler;
    server->batch_user = user;
}

void wrl_msgsrv_setgatherhandler(wrl_msgsrv* server, wrl_gatherhandler_t handler, void* user) {
    server->gather_handler = handler;
    server->gather_user = user;
}

void wrl_msgsrv_setlimits(wrl_msgsrv* server, size_t backlog_total, size_t receiving_total) {
    server->backlog_limit = backlog_total;
    server->receiving.limit = receiving_total;
}

void wrl_msgsrv_setpeerfilter(wrl_msgsrv* server, wrl_peerfilter_t filter, void* user) {
    server->peer_filter = filter;
    server->peer_user = user;
}

void wrl_msgsrv_setreleasehandler(wrl_msgsrv* server, wrl_releasehandler_t handler, void* user) {
    server->release_handler = handler;
    server->release_user = user;
}

void wrl_msgsrv_stop(wrl_msgsrv* server) {
    server->stop.store(true);
    wrl_net_wake(server->listen);
}

int wrl_msgsrv_run(wrl_msgsrv* s) {
    if (s == nullptr || s->listen == nullptr) return WRL_EFAIL;
    int rc = wrl_net_armaccept(s->listen, s);
    if (rc != WRL_OK) return rc;
    for (;;) {
        if (s->stop.load()) return WRL_ESHUTDOWN;
        wrl::DropSlowConsumers(s);
        rc = wrl::FinishBatch(s);
        if (rc != WRL_OK) return rc;

        if (!wrl_net_pending(s->listen)) {
            if (s->idle_handler != nullptr) s->idle_handler(s->idle_user);
            wrl::ReleaseIfDue(s);
        }
        // Everything that is ready is handled before the next send pass (up to a bound, so
        // that replies keep leaving under a steady stream): the batch handler then makes
        // the work of all of them durable at once.
        int handled = 0;
        for (; handled < wrl::kMaxBatch; ++handled) {
            rc = wrl::WaitAndDispatch(s);
            if (rc != WRL_OK) return rc;
            if (!wrl_net_pending(s->listen)) break;
        }
        rc = wrl::Gather(s, wrl::kMaxBatch - handled);
        if (rc != WRL_OK) return rc;
    }
}

void wrl_msgsrv_close(wrl_msgsrv* s) {
    if (s == nullptr) return;
    while (s->clients != nullptr) {
        Client* c = s->clients;
        s->clients = c->next;
        wrl::FreeClientRecord(c);
    }
    while (s->queue != nullptr) {
        wrl_msg* m = s->queue;
        s->queue = m->next;
        s->pool.Release(m);
    }
    s->queue_tail = nullptr;
    if (s->listen != nullptr) wrl_net_destroy(s->listen);
    wrl::DeleteServer(s);
}

}  // extern "C"
