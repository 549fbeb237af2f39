// The message server's life cycle and main loop: accepting clients, driving each client's
// reading state machine, writing queued messages to idle clients, removing clients.
// Socketless clients (message_server_detached.h) share every step but the socket calls.
#include "wirelay/message_server.h"

#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/message_server_registry.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

// Each read of a client takes whatever has arrived, up to this many bytes, and feeds it to
// the client's reader: a small frame costs one read, and frames sent back to back share one.
constexpr size_t kReadBytes = 8 * 1024;
// A write buffer up to this size is kept for the client's next frames.
constexpr size_t kKeepWriteBuffer = 64 * 1024;
// Frames queued for one client leave together in one write up to this many bytes (a single
// frame may be larger): an acknowledgement and its reply then cost one write, not two.
constexpr size_t kBatchBytes = 16 * 1024;

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

// Queues the client's next read of whatever arrives. Socketless clients are fed instead.
int StartRead(Client* c) {
    if (c->ep == nullptr) return WRL_OK;
    if (c->rbuf == nullptr) {
        c->rbuf = static_cast<uint8_t*>(wrl_malloc(2 * kReadBytes));
        if (c->rbuf == nullptr) return WRL_ENOMEM;
    }
    const int rc = wrl_net_queuesome(c->ep, c->rbuf + c->rhalf * kReadBytes,
                                     static_cast<uint32_t>(kReadBytes), c);
    if (rc != WRL_OK) c->reader.Reset();
    return rc;
}

// Acts on one step of a client's reader. 0, or the code that ends the loop.
int HandleReaderStep(wrl_msgsrv* s, Client* c, FrameReader::Step step) {
    switch (step) {
        case FrameReader::Step::kNeedMore:
            return WRL_OK;  // the caller feeds (or reads) more
        case FrameReader::Step::kDrop:
            RemoveClient(s, c);
            return WRL_OK;
        case FrameReader::Step::kNoMemory:
            return WRL_ENOMEM;
        case FrameReader::Step::kMessage:
        case FrameReader::Step::kLastMessage:
            break;
    }
    FrameHeader h;
    uint8_t* block = nullptr;
    uint8_t* payload = nullptr;
    c->reader.TakeMessage(&h, &block, &payload);
    wrl_msg* m = s->pool.Acquire();
    if (m == nullptr) {
        if (block != nullptr) wrl_free(block);
        return WRL_ENOMEM;
    }
    m->magic = h.magic;
    m->version = h.version;
    m->kind = h.kind;
    m->status = h.status;
    m->priority = h.priority;
    std::memcpy(m->to, h.to, kNameSize);
    std::memcpy(m->from, h.from, kNameSize);
    MsgSetPayload(m, block, payload, h.length);
    m->client_id = c->id;
    if (step == FrameReader::Step::kLastMessage) c->mismatch = true;
    return ProcessMessage(s, m);
}

int SendPending(wrl_msgsrv* s);

// Feeds `size` bytes from the client into its reader and processes every message they
// complete. 0, or the code that ends the loop. The client may be gone afterwards (a bad
// frame removes it): *gone says so.
int FeedBytes(wrl_msgsrv* s, Client* c, const uint8_t* data, size_t size, bool* gone) {
    *gone = false;
    int failure = WRL_OK;
    const FrameReader::Step last = c->reader.Feed(data, size, [&](FrameReader::Step step) {
        failure = HandleReaderStep(s, c, step);
        // A connected client's answers leave before its next frame is processed, as they
        // did when every frame came with a read of its own.
        if (failure == WRL_OK && c->ep != nullptr) failure = SendPending(s);
        return failure == WRL_OK;
    });
    if (failure != WRL_OK) return failure;
    if (last == FrameReader::Step::kDrop) {
        RemoveClient(s, c);
        *gone = true;
        return WRL_OK;
    }
    if (last == FrameReader::Step::kNoMemory) return WRL_ENOMEM;
    return WRL_OK;
}

// A read of a connected client brought `size` bytes into one half of its read buffer. The
// next read is queued into the other half first, so that it waits for the client's next
// frame while these bytes are fed to the reader and answered (answered before it was
// queued, a frame would find no read to take it). Unless reading has stopped.
int ReadDone(wrl_msgsrv* s, Client* c, size_t size) {
    const uint8_t* data = c->rbuf + c->rhalf * kReadBytes;
    if (!c->reader.Stopped()) {
        c->rhalf ^= 1;
        const int rc = StartRead(c);
        if (rc != WRL_OK) return rc;
    }
    bool gone = false;
    return FeedBytes(s, c, data, size, &gone);
}

// Makes room for `need` bytes in the client's write buffer, keeping the first `keep`.
bool GrowWriteBuffer(Client* c, size_t need, size_t keep) {
    if (c->wcap >= need) return true;
    size_t cap = need > 2 * c->wcap ? need : 2 * c->wcap;  // a large frame gets just its size
    if (cap < 256) cap = 256;
    auto* buf = static_cast<uint8_t*>(wrl_malloc(cap));
    if (buf == nullptr) return false;
    if (keep > 0) std::memcpy(buf, c->wbuf, keep);
    if (c->wbuf != nullptr) wrl_free(c->wbuf);
    c->wbuf = buf;
    c->wcap = cap;
    return true;
}

// Writes the message's frame (header, then payload unless the frame is short) to `out`.
void EncodeFrame(const wrl_msg* m, uint8_t* out) {
    FrameHeader h;
    h.kind = m->kind;
    h.status = m->status;
    h.length = m->length;
    h.priority = m->priority;
    std::memcpy(h.to, m->to, kNameSize);
    std::memcpy(h.from, m->from, kNameSize);
    const size_t header = EncodeHeader(h, out);
    if (header == kHeaderSize && m->length > 0) std::memcpy(out + header, m->payload, m->length);
}

bool AddressedTo(const Client* c, const wrl_msg* m) {
    for (const wrl_recipient* r = m->recipients; r != nullptr; r = r->next) {
        if (IsRecipient(c, r)) return true;
    }
    return false;
}

void WriteDone(wrl_msgsrv* s, Client* c);

// Starts one write to an idle client: the frame of `first` and, while they fit in a batch,
// the frames of the later queued messages addressed to it, in queue order. The client then
// is no longer a recipient of any of them. 0, or the code that ends the loop.
int Transmit(wrl_msgsrv* s, Client* c, wrl_msg* first) {
    size_t total = 0;
    for (wrl_msg* m = first; m != nullptr; m = m->next) {
        if (m != first && !AddressedTo(c, m)) continue;
        const size_t size = FrameSize(m->status, m->length);
        if (m != first && total + size > kBatchBytes) break;
        if (!GrowWriteBuffer(c, total + size, total)) return WRL_ENOMEM;
        EncodeFrame(m, c->wbuf + total);
        total += size;
        MsgRemoveRecipient(m, c->id, c->name);
        c->backlog -= c->backlog < size ? c->backlog : size;
        m->sent = true;
        if (c->mismatch && m->kind == kKindIdentify && IsShortStatus(m->status)) {
            c->close_after_write = true;  // nothing after this reply will be read
            break;
        }
    }
    if (c->ep != nullptr) {
        const int rc =
            wrl_net_queueio(c->ep, WRL_NET_WRITE, c->wbuf, static_cast<uint32_t>(total), c);
        if (rc != WRL_OK) return rc;
        // The socket usually takes the frames at once: the client is idle again right away,
        // so that what it is sent keeps the order in which its requests were processed.
        // A client to be closed after this write goes through the loop's removal instead.
        c->writing = true;
        if (!c->close_after_write && wrl_net_takedone(c->ep, WRL_NET_WRITE)) WriteDone(s, c);
        return WRL_OK;
    } else {
        if (s->sink != nullptr) s->sink(c->id, c->wbuf, total, s->sink_user);
        try {
            s->sink_done.push_back(c->id);
        } catch (const std::bad_alloc&) {
            return WRL_ENOMEM;
        }
    }
    c->writing = true;
    return WRL_OK;
}

// Writes queued messages to every idle recipient: each idle client gets the first messages
// in queue order that are addressed to it. A message leaves the queue once it has been
// written and no registered client is a recipient any more. 0, or the code of a failed write.
int SendPending(wrl_msgsrv* s) {
    if (!s->send_pending) return WRL_OK;
    s->send_pending = false;
    wrl_msg* prev = nullptr;
    wrl_msg* m = s->queue;
    while (m != nullptr) {
        wrl_recipient* r = m->recipients;
        while (r != nullptr) {
            Client* c = FindRecipient(s, r);
            if (c == nullptr || c->writing) {
                r = r->next;
                continue;
            }
            const int rc = Transmit(s, c, m);
            if (rc != WRL_OK) return rc;
            r = m->recipients;  // the list changed under us
        }
        wrl_msg* next = m->next;
        if (m->sent && !AnyRegisteredRecipient(s, m)) {
            Unlink(s, prev, m);
            s->pool.Release(m);
        } else {
            prev = m;
        }
        m = next;
    }
    return WRL_OK;
}

void WriteDone(wrl_msgsrv* s, Client* c) {
    c->writing = false;
    s->send_pending = true;
    if (c->wcap > kKeepWriteBuffer) {
        wrl_free(c->wbuf);
        c->wbuf = nullptr;
        c->wcap = 0;
    }
    // A client refused for its protocol or version has nothing more to say.
    if (c->close_after_write) RemoveClient(s, c);
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
    if (rc != WRL_OK) RemoveClient(s, c);
    const int armed = wrl_net_armaccept(s->listen, s);
    return rc != WRL_OK ? rc : armed;
}

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
    return SendPendingDetached(server);
}

void DetachClient(wrl_msgsrv* server, uint32_t client_id) {
    if (Client* c = FindClient(server, client_id)) RemoveClient(server, c);
}

bool HasClient(const wrl_msgsrv* server, uint32_t client_id) {
    return server->by_id.count(client_id) != 0;
}

size_t QueuedMessages(const wrl_msgsrv* server) {
    return server->queued;
}

// Drops the entries of a client that is gone: those with its id, and with `name` also
// those with its name. Messages left without any recipient entry are released, since
// nothing could ever send them.
void PurgeClientFromQueue(wrl_msgsrv* s, uint32_t id, const char* name) {
    wrl_msg* prev = nullptr;
    wrl_msg* m = s->queue;
    while (m != nullptr) {
        wrl_msg* next = m->next;
        MsgRemoveRecipient(m, id, name);
        if (m->recipients == nullptr) {
            Unlink(s, prev, m);
            s->pool.Release(m);
        } else {
            prev = m;
        }
        m = next;
    }
}

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
