// Endpoints over the I/O core: address handling, request bookkeeping and the mapping of
// I/O core codes to transport codes (connection broken stays distinguishable, memory and
// address-in-use where the caller can act on them, everything else is a plain failure).
#include "wirelay/endpoint.h"

#include <cstring>

#include "wirelay/io_core.h"
#include "wirelay/io_serial.h"
#include "wirelay/io_tcpip.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

struct wrl_net {
    uint32_t state;  // 0 closed, 1 open
    io_core_s* core;
    io_conn_s* conn;
    io_request_s* rreq;  // reads and accepts
    io_request_s* wreq;
    bool owns_core;
};

namespace {

int MapResult(int io_code) {
    if (io_code == IO_OK) return WRL_OK;
    if (io_code == IO_EBROKEN) return WRL_EBROKEN;
    return WRL_EFAIL;
}

int MapOpen(int io_code, bool listening) {
    if (io_code == IO_ENOMEM) return WRL_ENOMEM;
    if (listening && io_code == IO_EADDRINUSE) return WRL_EADDRINUSE;
    return WRL_EFAIL;
}

int CreateRequests(wrl_net* ep) {
    int rc = io_createrequest(&ep->rreq);
    if (rc == IO_OK) rc = io_createrequest(&ep->wreq);
    if (rc == IO_OK) return WRL_OK;
    if (ep->rreq != nullptr) io_freerequest(ep->rreq);
    ep->rreq = nullptr;
    ep->wreq = nullptr;
    return rc == IO_ENOMEM ? WRL_ENOMEM : WRL_EFAIL;
}

bool IsQueued(const io_request_s* req) {
    return req != nullptr && (req->flags.load() & IO_FLAG_QUEUED) != 0;
}

// True when an accept completed successfully and its connection was not taken over yet.
bool HoldsAcceptedConnection(const io_request_s* req) {
    return req != nullptr && req->kind == IO_ACCEPT && req->buffer != nullptr &&
           req->result == IO_OK && (req->flags.load() & IO_FLAG_COMPLETED) != 0;
}

int Open(wrl_net* ep, uint32_t mode, const wrl_address& address) {
    if (ep == nullptr || ep->state != 0 || ep->core == nullptr) return WRL_EFAIL;
    io_tcpip_addr_s record{};
    io_serial_addr_s serial{};
    const void* chosen = &record;
    if (address.iftype == IO_IF_SERIAL) {
        // A serial port has no listening side: nobody could ever be accepted.
        if (mode == IO_PASSIVE) return WRL_EFAIL;
        static_assert(sizeof serial.device == sizeof address.device);
        std::memcpy(serial.device, address.device, sizeof serial.device);
        serial.device[sizeof serial.device - 1] = '\0';
        serial.baud = address.baud;
        serial.bytesize = address.bytesize;
        serial.parity = address.parity;
        serial.stopbits = address.stopbits;
        chosen = &serial;
    } else {
        std::memcpy(record.host, address.host, sizeof record.host);
        record.port = address.port;
    }
    io_conn_s* conn = nullptr;
    const int rc = io_open(mode, ep->core, address.iftype, chosen, &conn);
    if (rc != IO_OK) return MapOpen(rc, mode == IO_PASSIVE);
    ep->conn = conn;
    ep->state = 1;
    if (CreateRequests(ep) != WRL_OK) {
        io_close(conn);
        ep->conn = nullptr;
        ep->state = 0;
        return WRL_EFAIL;
    }
    return WRL_OK;
}

int CreateWith(wrl_net** out, const io_interface_s* table) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    auto* ep = static_cast<wrl_net*>(wrl_calloc(sizeof(wrl_net)));
    if (ep == nullptr) return WRL_ENOMEM;
    const int rc = table != nullptr ? io_init_with(&ep->core, table) : io_init(&ep->core);
    if (rc != IO_OK) {
        wrl_free(ep);
        return rc == IO_ENOMEM ? WRL_ENOMEM : WRL_EFAIL;
    }
    ep->owns_core = true;
    *out = ep;
    return WRL_OK;
}

// Collects one completed request after io_wait said one is pending.
int Collect(wrl_net* ep, int* direction, void** user) {
    io_request_s* req = nullptr;
    const int rc = io_getrequest(ep->core, &req);
    if (rc != IO_OK) return MapResult(rc);
    *direction = static_cast<int>(req->kind);
    *user = req->user;
    return MapResult(static_cast<int>(req->result));
}

}  // namespace

int wrl_net_create(wrl_net** out) {
    return CreateWith(out, nullptr);
}

int wrl_net_createwith(wrl_net** out, const io_interface_s* table) {
    return CreateWith(out, table);
}

int wrl_net_destroy(wrl_net* ep) {
    if (ep == nullptr) return WRL_OK;
    wrl_net_close(ep);
    if (ep->owns_core && ep->core != nullptr) io_term(ep->core);
    wrl_free(ep);
    return WRL_OK;
}

int wrl_net_alloc(wrl_net** out) {
    *out = static_cast<wrl_net*>(wrl_calloc(sizeof(wrl_net)));
    return *out != nullptr ? WRL_OK : WRL_ENOMEM;
}

void wrl_net_free(wrl_net* ep) {
    if (ep == nullptr) return;
    wrl_net_close(ep);
    wrl_free(ep);
}

int wrl_net_listen(wrl_net* ep, const char* address) {
    wrl_address parsed;
    const int rc = wrl_net_parseaddress(address, &parsed);
    if (rc != WRL_OK) return rc;
    return Open(ep, IO_PASSIVE, parsed);
}

int wrl_net_listenat(wrl_net* ep, const wrl_address* address) {
    if (address == nullptr || address->port < 0) return WRL_EFAIL;
    return Open(ep, IO_PASSIVE, *address);
}

int wrl_net_connect(wrl_net* ep, const char* address) {
    wrl_address parsed;
    const int rc = wrl_net_parseaddress(address, &parsed);
    if (rc != WRL_OK) return rc;
    return Open(ep, IO_ACTIVE, parsed);
}

int wrl_net_open(wrl_net* ep, const char* address) {
    return wrl_net_connect(ep, address);
}

int wrl_net_localport(const wrl_net* ep) {
    if (ep == nullptr || ep->state == 0 || ep->conn->iface->type != IO_IF_TCPIP) return -1;
    return io_tcpip_localport(ep->conn);
}

int wrl_net_accept(wrl_net* listening, wrl_net* newep) {
    io_request_s* acc = listening->rreq;
    if (IsQueued(acc) || !HoldsAcceptedConnection(acc) || newep->state != 0) return WRL_EFAIL;
    auto* conn = static_cast<io_conn_s*>(acc->buffer);
    acc->buffer = nullptr;
    newep->core = listening->core;
    newep->owns_core = false;
    newep->conn = conn;
    const int rc = CreateRequests(newep);
    if (rc != WRL_OK) {
        io_close(conn);
        newep->conn = nullptr;
        return rc;
    }
    newep->state = 1;
    return WRL_OK;
}

int wrl_net_close(wrl_net* ep) {
    if (ep == nullptr || ep->state == 0) return WRL_OK;
    const int rc = io_close(ep->conn);  // leaves both requests idle
    ep->conn = nullptr;
    ep->state = 0;
    // An accepted connection that nobody took over would otherwise stay with the core.
    if (HoldsAcceptedConnection(ep->rreq)) io_close(static_cast<io_conn_s*>(ep->rreq->buffer));
    io_freerequest(ep->rreq);
    io_freerequest(ep->wreq);
    ep->rreq = nullptr;
    ep->wreq = nullptr;
    return rc == IO_OK ? WRL_OK : WRL_EFAIL;
}

int wrl_net_armaccept(wrl_net* listening, void* user) {
    if (listening == nullptr || listening->state == 0) return WRL_EFAIL;
    if (IsQueued(listening->rreq)) return WRL_OK;
    return wrl_net_queueio(listening, WRL_NET_ACCEPT, nullptr, 0, user);
}

int wrl_net_abortaccept(wrl_net* listening) {
    io_request_s* acc = listening->rreq;
    if (acc == nullptr || acc->kind != IO_ACCEPT) return WRL_OK;
    if (IsQueued(acc)) io_abort(acc);
    if (HoldsAcceptedConnection(acc)) io_close(static_cast<io_conn_s*>(acc->buffer));
    acc->buffer = nullptr;
    return WRL_OK;
}

bool wrl_net_queued(const wrl_net* ep, int direction) {
    if (ep == nullptr || ep->state == 0) return false;
    return IsQueued(direction == WRL_NET_WRITE ? ep->wreq : ep->rreq);
}

namespace {

int QueueIo(wrl_net* ep, int direction, void* buffer, uint32_t length, void* user, bool some) {
    if (ep == nullptr || ep->state == 0 || direction < 0 || direction > 2) return WRL_EFAIL;
    io_request_s* req = direction == WRL_NET_WRITE ? ep->wreq : ep->rreq;
    if (IsQueued(req)) {
        io_log("wrl_net_queueio: IO already queued!\n");
        return WRL_EFAIL;
    }
    req->kind = static_cast<uint32_t>(direction);
    req->buffer = direction == WRL_NET_ACCEPT ? nullptr : buffer;
    req->length = direction == WRL_NET_ACCEPT ? 0 : length;
    req->user = user;
    req->partial = some;
    return io_queue(ep->conn, req) == IO_OK ? WRL_OK : WRL_EFAIL;
}

}  // namespace

int wrl_net_queueio(wrl_net* ep, int direction, void* buffer, uint32_t length, void* user) {
    return QueueIo(ep, direction, buffer, length, user, false);
}

int wrl_net_queuesome(wrl_net* ep, void* buffer, uint32_t length, void* user) {
    return QueueIo(ep, WRL_NET_READ, buffer, length, user, true);
}

bool wrl_net_takedone(wrl_net* ep, int direction) {
    if (ep == nullptr || ep->state == 0) return false;
    io_request_s* req = direction == WRL_NET_WRITE ? ep->wreq : ep->rreq;
    if (req == nullptr) return false;
    const uint32_t flags = req->flags.load();
    if (!(flags & IO_FLAG_QUEUED) || !(flags & IO_FLAG_COMPLETED) || req->result != IO_OK) {
        return false;
    }
    // Completed: its own count and one of the core's are there, so this does not wait.
    return io_waitrequest(req) == IO_OK;
}

uint32_t wrl_net_done(const wrl_net* ep, int direction) {
    if (ep == nullptr || ep->state == 0) return 0;
    const io_request_s* req = direction == WRL_NET_WRITE ? ep->wreq : ep->rreq;
    return req != nullptr ? req->done : 0;
}

int wrl_net_wait(wrl_net* ep, int* direction, void** user) {
    *direction = -1;
    *user = nullptr;
    const int rc = io_wait(ep->core, IO_INFINITE);
    if (rc != IO_OK) return MapResult(rc);
    return Collect(ep, direction, user);
}

int wrl_net_poll(wrl_net* ep, int* direction, void** user) {
    *direction = -1;
    *user = nullptr;
    const int rc = io_wait(ep->core, 0);
    if (rc == IO_ETIMEOUT) return WRL_OK;
    if (rc != IO_OK) return MapResult(rc);
    return Collect(ep, direction, user);
}

int wrl_net_waitbrief(wrl_net* ep, int64_t timeout_us, int* direction, void** user) {
    *direction = -1;
    *user = nullptr;
    const int rc = io_waitbrief(ep->core, timeout_us);
    if (rc == IO_ETIMEOUT) return WRL_OK;
    if (rc != IO_OK) return MapResult(rc);
    return Collect(ep, direction, user);
}

bool wrl_net_pending(const wrl_net* ep) {
    return ep != nullptr && ep->core != nullptr &&
           io_semaphorecount(io_completionsemaphore(ep->core)) > 0;
}

void wrl_net_wake(wrl_net* ep) {
    if (ep != nullptr && ep->core != nullptr) {
        io_wake(ep->core);
    }
}

namespace {

// A serial read completes with whatever has arrived; reading exactly `length` bytes takes
// reads that each wait for at least one byte, until all are in. The time-out applies to
// each of them.
int SerialRead(wrl_net* ep, io_request_s* req, char* buffer, uint32_t length, int32_t timeout_ms) {
    io_settimeout(ep->conn, timeout_ms < 0 ? -1 : timeout_ms);
    uint32_t got = 0;
    int rc = IO_OK;
    while (rc == IO_OK && got < length) {
        req->kind = IO_READ;
        req->buffer = buffer + got;
        req->length = length - got;
        req->user = nullptr;
        req->partial = true;
        rc = io_queue(ep->conn, req);
        if (rc != IO_OK) break;
        rc = io_waitrequest(req);
        if (rc != IO_OK) {
            if (IsQueued(req)) io_abort(req);
            break;
        }
        rc = static_cast<int>(req->result);
        got += req->done;
    }
    io_settimeout(ep->conn, -1);
    req->partial = false;
    return MapResult(rc);
}

int Transfer(wrl_net* ep, io_request_s* req, uint32_t kind, void* buffer, uint32_t length,
             int32_t timeout_ms, const char* who) {
    if (IsQueued(req)) {
        io_log("%s: ioreq already queued!\n", who);
        return WRL_EFAIL;
    }
    if (kind == IO_READ && ep->conn->iface->type == IO_IF_SERIAL) {
        return SerialRead(ep, req, static_cast<char*>(buffer), length, timeout_ms);
    }
    req->kind = kind;
    req->buffer = buffer;
    req->length = length;
    req->user = nullptr;
    req->partial = false;
    if (io_queue(ep->conn, req) != IO_OK) return WRL_EFAIL;
    io_settimeout(ep->conn, timeout_ms < 0 ? -1 : timeout_ms);
    const int rc = io_waitrequest(req);
    io_settimeout(ep->conn, -1);
    if (rc != IO_OK) {
        if (IsQueued(req)) io_abort(req);  // a timed-out request must not stay queued
        return MapResult(rc);
    }
    return MapResult(static_cast<int>(req->result));
}

}  // namespace

int wrl_net_read(wrl_net* ep, void* buffer, uint32_t length, int32_t timeout_ms) {
    if (ep == nullptr || ep->state == 0) return WRL_EFAIL;
    return Transfer(ep, ep->rreq, IO_READ, buffer, length, timeout_ms, "wrl_net_read");
}

int wrl_net_write(wrl_net* ep, const void* buffer, uint32_t length, int32_t timeout_ms) {
    if (ep == nullptr || ep->state == 0) return WRL_EFAIL;
    // The request's buffer is not const because reads share the record; a write only reads it.
    return Transfer(ep, ep->wreq, IO_WRITE, const_cast<void*>(buffer), length, timeout_ms,
                    "wrl_net_write");
}

int wrl_net_waitreadable(wrl_net* ep, int64_t timeout_us) {
    if (ep == nullptr || ep->state == 0) return WRL_EFAIL;
    io_request_s* req = ep->rreq;
    if (!IsQueued(req)) {
        req->kind = IO_READ;
        req->buffer = nullptr;
        req->length = 0;
        req->user = nullptr;
        req->partial = false;
        if (io_queue(ep->conn, req) != IO_OK) return WRL_EFAIL;
    }
    int rc = io_wait(ep->core, timeout_us);
    int code = WRL_OK;
    if (rc == IO_OK) {
        io_request_s* done = nullptr;
        rc = io_getrequest(ep->core, &done);
        if (rc == IO_OK) rc = static_cast<int>(done->result);
    }
    if (rc == IO_OK) return WRL_OK;
    if (rc == IO_EBROKEN)
        code = WRL_EBROKEN;
    else if (rc == IO_ETIMEOUT)
        code = WRL_ETIMEOUT;
    else
        code = WRL_EFAIL;
    if (IsQueued(req)) io_abort(req);
    return code;
}
