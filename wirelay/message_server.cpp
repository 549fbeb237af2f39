// The message server's life cycle and main loop: creating it on an address, accepting
// clients, and dispatching every completed read and write to the steps of
// message_server_loop.h until the server is stopped; closing it with its clients.
#include "wirelay/message_server.h"

#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/message_server_loop.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

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
    if (rc != WRL_OK) RemoveClient(s, c);
    const int armed = wrl_net_armaccept(s->listen, s);
    return rc != WRL_OK ? rc : armed;
}

int CreateServer(const wrl_address* address, const char* text, wrl_msgsrv** out) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    wrl_msgsrv* s = NewServer();
    if (s == nullptr) return WRL_ENOMEM;
    int rc = wrl_net_create(&s->listen);
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
        rc = wrl::SendPending(s);
        if (rc != WRL_OK) return rc;

        if (s->idle_handler != nullptr && !wrl_net_pending(s->listen))
            s->idle_handler(s->idle_user);
        int direction = -1;
        void* user = nullptr;
        rc = wrl_net_wait(s->listen, &direction, &user);
        if (s->stop.load()) return WRL_ESHUTDOWN;

        if (user == s) {
            if (rc != WRL_OK) {
                // A failed accept concerns one would-be client only; keep listening.
                io_log("wrl_msgsrv_run: accept failed: %s\n", wrl_strerror(rc));
                wrl_net_abortaccept(s->listen);
                rc = wrl_net_armaccept(s->listen, s);
                if (rc != WRL_OK) return rc;
                continue;
            }
            rc = wrl::Accept(s);
            if (rc != WRL_OK) return rc;
            continue;
        }
        if (user == nullptr) return WRL_EFAIL;  // the wait itself failed

        Client* c = static_cast<Client*>(user);
        if (rc != WRL_OK) {
            // A broken connection (or any other failure of this client's transfer) ends the
            // client, not the server.
            if (rc != WRL_EBROKEN)
                io_log("wrl_msgsrv_run: client %u: %s\n", c->id, wrl_strerror(rc));
            wrl::RemoveClient(s, c);
            continue;
        }
        if (direction == WRL_NET_WRITE) {
            wrl::WriteDone(s, c);
        } else if (direction == WRL_NET_READ) {
            rc = wrl::ReadDone(s, c, wrl_net_done(c->ep, WRL_NET_READ));
            if (rc != WRL_OK) return rc;
        }
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
