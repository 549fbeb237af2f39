// TCP/IP interface, application side: start and stop the socket thread, open listening and
// connecting sockets, do reads and writes at once on a socket that is ready, hand the other
// requests and closes to the socket thread by command, and the interface's descriptor.
#include "wirelay/io_tcpip.h"

#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

#include "port/socket.h"
#include "port/thread.h"
#include "wirelay/io_tcpip_internal.h"

namespace {

std::atomic<bool> s_ipv6{true};

io_tcpip_ctx_s* Ctx(void* context) {
    return static_cast<io_tcpip_ctx_s*>(context);
}

// Non-zero code for an open that failed: the mapped error, never 0.
int OpenFailure(int error) {
    int rc = io_tcpip_error(error);
    return rc == IO_OK ? IO_EFAIL : rc;
}

// Posts a synchronous command and waits for the thread's acknowledgement.
int SendSync(io_tcpip_ctx_s* ctx, char command, void* what, const char* wait_failure) {
    io_lock(ctx->lock);
    int rc = io_tcpip_sendcmd(ctx, command, what);
    if (rc == IO_OK) {
        rc = io_waitsemaphore(ctx->ack, IO_INFINITE);
        if (rc != IO_OK) io_log(wait_failure, rc);
    }
    io_unlock(ctx->lock);
    return rc;
}

void FreeContext(io_tcpip_ctx_s* ctx) {
    io_closesemaphore(ctx->ack);
    io_closelock(ctx->lock);
    delete ctx;
}

int OpenListening(const io_tcpip_addr_s* addr, int* out_fd) {
    std::vector<port::ResolvedAddress> found;
    if (port::ResolveStream(nullptr, addr->port, true, &found) != 0) {
        return OpenFailure(port::LastSocketError());
    }
    int fd = -1;
    int last_error = 0;
    // IPv6 first (such a socket takes IPv4 clients too), then IPv4.
    for (int pass = s_ipv6.load() ? 0 : 1; pass < 2 && fd < 0; ++pass) {
        const int family = pass == 0 ? AF_INET6 : AF_INET;
        for (const port::ResolvedAddress& a : found) {
            if (a.family != family) continue;
            int s = port::SocketCreate(a);
            if (s < 0) {
                last_error = port::LastSocketError();
                continue;
            }
            // Before bind, so that a restarted server can take its port back while
            // connections of its previous run linger in TIME_WAIT; a port that another
            // socket listens on is still refused.
            if (!port::SetReuseAddress(s)) {
                io_log("io_tcpip_opensocket: setsockopt(SO_REUSEADDR) failed\n");
            }
            if (family == AF_INET6) {
                bool v6only = true;
                if (!port::SetV6Only(s, false)) io_log("io_tcpip_opensocket: v6only set failed\n");
                if (!port::GetV6Only(s, &v6only))
                    io_log("io_tcpip_opensocket: v6only get failed\n");
            }
            if (port::SocketBind(s, a)) {
                fd = s;
                break;
            }
            last_error = port::LastSocketError();
            port::SocketClose(s);
        }
    }
    if (fd < 0) return OpenFailure(last_error);
    if (!port::SocketListen(fd, 50)) {
        int err = port::LastSocketError();
        port::SocketClose(fd);
        return OpenFailure(err);
    }
    if (!port::SetNonBlocking(fd)) io_log("io_tcpip_opensocket: io_tcpip_setnonblocking failed\n");
    *out_fd = fd;
    return IO_OK;
}

int OpenConnecting(const io_tcpip_addr_s* addr, int* out_fd) {
    char host[sizeof addr->host];
    std::memcpy(host, addr->host, sizeof host);
    host[sizeof host - 1] = '\0';
    std::vector<port::ResolvedAddress> found;
    if (port::ResolveStream(host, addr->port, false, &found) != 0) {
        return OpenFailure(port::LastSocketError());
    }
    int fd = -1;
    int last_error = 0;
    const bool ipv6 = s_ipv6.load();
    for (const port::ResolvedAddress& a : found) {
        if (a.family == AF_INET6 && !ipv6) continue;
        int s = port::SocketCreate(a);
        if (s < 0) {
            last_error = port::LastSocketError();
            continue;
        }
        if (port::SocketConnect(s, a)) {
            fd = s;
            break;
        }
        last_error = port::LastSocketError();
        port::SocketClose(s);
    }
    if (fd < 0) return OpenFailure(last_error);
    if (!port::SetNonBlocking(fd)) {
        int err = port::LastSocketError();
        port::SocketClose(fd);
        return OpenFailure(err);
    }
    if (!port::SetTcpNoDelay(fd)) {
        io_log("io_tcpip_open: setting tcp options failed: %s\n",
               std::strerror(port::LastSocketError()));
    }
    *out_fd = fd;
    return IO_OK;
}

int io_tcpip_init(io_core_s* core, void** context, io_interface_s*, const void*) {
    *context = nullptr;
    io_tcpip_ctx_s* ctx = new (std::nothrow) io_tcpip_ctx_s;
    if (ctx == nullptr) return IO_ENOMEM;
    ctx->core = core;
    if (io_createsemaphore(&ctx->ack, 0, 0x7fffffff) != IO_OK ||
        io_createlock(&ctx->lock) != IO_OK || !ctx->wakeup.Valid() || !ctx->poller.Valid()) {
        FreeContext(ctx);
        return IO_EFAIL;
    }
    ctx->cmds.reserve(16);
    ctx->batch.reserve(16);
    ctx->thread = port::StartThread([ctx] { io_tcpip_thread(ctx); }, true,
                                    "io_tcpip_init: can't set thread priority to BELOW_NORMAL!\n");
    if (!ctx->thread.joinable()) {
        io_log("io_tcpip_init: can't resume thread!\n");
        FreeContext(ctx);
        return IO_EFAIL;
    }
    // The thread acknowledges once, whether it became ready or died on the way.
    int rc = io_waitsemaphore(ctx->ack, IO_INFINITE);
    if (rc != IO_OK || ctx->died.load()) {
        if (rc != IO_OK) {
            io_log("io_tcpip_init: WaitForMultipleObjects = %d\n", rc);
            io_tcpip_sendcmd(ctx, IO_TCPIP_QUIT, nullptr);
        } else {
            io_log("io_tcpip_init: child died!\n");
        }
        ctx->thread.join();
        FreeContext(ctx);
        return IO_EFAIL;
    }
    *context = ctx;
    return IO_OK;
}

void io_tcpip_term(io_core_s*, void* context, io_interface_s*) {
    io_tcpip_ctx_s* ctx = Ctx(context);
    if (ctx == nullptr) return;
    io_tcpip_sendcmd(ctx, IO_TCPIP_QUIT, nullptr);
    if (ctx->thread.joinable()) ctx->thread.join();
    FreeContext(ctx);
}

int io_tcpip_open(void*, uint32_t mode, const void* address, io_conn_s* conn) {
    const auto* addr = static_cast<const io_tcpip_addr_s*>(address);
    if (addr == nullptr || addr->port < 0 || addr->port > 65535) return IO_EINVAL;
    int fd = -1;
    int rc = mode == IO_PASSIVE ? OpenListening(addr, &fd) : OpenConnecting(addr, &fd);
    if (rc != IO_OK) return rc;
    io_tcpip_sock_s* sock = new (std::nothrow) io_tcpip_sock_s;
    if (sock == nullptr) {
        port::SocketClose(fd);
        return IO_ENOMEM;
    }
    sock->fd = fd;
    sock->conn = conn;
    sock->listening = (mode == IO_PASSIVE);
    conn->handle = fd;
    conn->iface_data = sock;
    return IO_OK;
}

void io_tcpip_close(void* context, io_conn_s* conn) {
    SendSync(Ctx(context), IO_TCPIP_CLOSE, conn, "io_tcpip_close: io_waitsemaphore returned %d!\n");
    port::SocketShutdownBoth(conn->handle);
    port::SocketClose(conn->handle);
    conn->handle = -1;
    conn->iface_data = nullptr;
}

// The queueing thread's own attempt at a read or write: what the socket takes now, under
// the request's lock as the socket thread would hold it. true when the request completed
// (all bytes through, a partial read with some bytes in, or the connection broke); false
// when the rest must wait for the socket, with `done` telling how far it got.
bool TransferAtOnce(io_tcpip_sock_s* sock, io_request_s* req) {
    io_lock(req->lock);
    uint32_t result = IO_OK;
    bool finished = false;
    while (!finished) {
        char* at = static_cast<char*>(req->buffer) + req->done;
        const uint32_t left = req->length - req->done;
        const bool reading = req->kind == IO_READ;
        const int64_t n =
            reading ? port::SocketRecv(sock->fd, at, left) : port::SocketSend(sock->fd, at, left);
        if (n > 0) {
            req->done += static_cast<uint32_t>(n);
            if (reading) sock->drained.store(static_cast<uint64_t>(n) < left);
            finished = req->done == req->length || (reading && req->partial);
            // A short transfer means the socket is drained (or full) now.
            if (!finished && static_cast<uint64_t>(n) < left) break;
            continue;
        }
        if (n < 0 && io_tcpip_error(port::LastSocketError()) == IO_EWOULDBLOCK) {
            if (reading) sock->drained.store(true);
            break;
        }
        result = IO_EBROKEN;  // end of stream or a socket error
        finished = true;
    }
    if (finished) io_complete(req, result);
    io_unlock(req->lock);
    return finished;
}

// A read or write on a socket that is ready already is done here at once and completes
// without the socket thread; everything else (and the rest of a transfer the socket could
// not take whole) goes to the socket thread with QUEUEREQUEST.
int io_tcpip_queue(void* context, io_conn_s* conn, io_request_s* req) {
    io_tcpip_ctx_s* ctx = Ctx(context);
    int rc = io_default_queue(context, conn, req);
    if (rc != IO_OK) return rc;
    auto* sock = static_cast<io_tcpip_sock_s*>(conn->iface_data);
    if (sock == nullptr) {
        rc = io_tcpip_sendcmd(ctx, IO_TCPIP_QUEUEREQUEST, req);
        if (rc != IO_OK) io_default_remove(context, req);
        return rc;
    }
    const bool writing = req->kind == IO_WRITE;
    const bool transfer = req->kind != IO_ACCEPT && req->length > 0;
    std::atomic<uint32_t>& held = writing ? sock->writes_held : sock->reads_held;
    std::lock_guard<std::mutex> guard(sock->queue_mutex);
    if (transfer && held.load() == 0 && !(req->flags.load() & IO_FLAG_SUSPENDED)) {
        if (!writing && sock->drained.load()) {
            req->iface_bits |= IO_TCPIP_NOT_READY;
        } else {
            if (TransferAtOnce(sock, req)) return IO_OK;
            req->iface_bits |= IO_TCPIP_NOT_READY;
        }
    }
    const uint32_t need = !transfer ? 0
                          : writing ? uint32_t{port::kPollWritable}
                                    : uint32_t{port::kPollReadable};
    held.fetch_add(1);
    rc = io_tcpip_sendcmd(ctx, IO_TCPIP_QUEUEREQUEST, req, sock, need);
    if (rc != IO_OK) {
        held.fetch_sub(1);
        io_default_remove(context, req);
    }
    return rc;
}

int io_tcpip_remove(void* context, io_request_s* req) {
    // A completed request was let go by the socket thread when it completed (its selection
    // recomputed, its lock released right after io_complete), which is all that
    // REMOVEREQUEST would do; only a request still in progress needs the round trip.
    if (!(req->flags.load() & IO_FLAG_COMPLETED)) {
        int rc = SendSync(Ctx(context), IO_TCPIP_REMOVEREQUEST, req,
                          "io_tcpip_remove: io_waitsemaphore returned %d!\n");
        if (rc != IO_OK) return rc;
    }
    return io_default_remove(context, req);
}

// Synchronous, so that the request cannot be collected and freed while the command that
// names it is still on its way.
void io_tcpip_reselect(void* context, io_request_s* req) {
    SendSync(Ctx(context), IO_TCPIP_RESELECT, req,
             "io_tcpip_reselect: io_waitsemaphore returned %d!\n");
}

int64_t io_tcpip_recv(void*, io_conn_s* conn, void* buffer, uint32_t length) {
    return port::SocketRecv(conn->handle, buffer, length);
}

int64_t io_tcpip_send(void*, io_conn_s* conn, const void* buffer, uint32_t length) {
    return port::SocketSend(conn->handle, buffer, length);
}

}  // namespace

int io_tcpip_error(int error) {
    switch (port::ClassifySocketError(error)) {
        case port::SocketErrorKind::kNone:
            return IO_OK;
        case port::SocketErrorKind::kWouldBlock:
            return IO_EWOULDBLOCK;
        case port::SocketErrorKind::kAddressInUse:
            return IO_EADDRINUSE;
        default:
            return IO_EFAIL;
    }
}

int io_tcpip_sendcmd(io_tcpip_ctx_s* ctx, char command, void* what, const io_tcpip_sock_s* sock,
                     uint32_t need) {
    bool wake;
    try {
        std::lock_guard<std::mutex> guard(ctx->cmd_mutex);
        ctx->cmds.push_back(io_tcpip_cmd_s{command, what});
        // The thread stores its selection before it looks at the commands and sleeps (both
        // under this mutex), so a selection read here is the one it sleeps with.
        const bool awaited = sock != nullptr && need != 0 && (sock->applied.load() & need) == need;
        wake = ctx->sleeping && !awaited;
        if (wake) ctx->sleeping = false;  // one wake-up per sleep is enough
    } catch (const std::bad_alloc&) {
        io_log("io_tcpip_sendcmd: send returned %d!\n", IO_ENOMEM);
        return IO_EFAIL;
    }
    // The command is listed either way; a lost wake-up only delays it to the next one.
    if (wake && !ctx->wakeup.Signal()) {
        io_log("io_tcpip_sendcmd: send returned %d!\n", port::LastSocketError());
    }
    // Somebody waits for these: they must not wait for the socket thread's stand-by to end.
    if (command != IO_TCPIP_QUEUEREQUEST) io_tcpip_kick(ctx);
    return IO_OK;
}

int io_tcpip_setipv6(int on) {
    s_ipv6.store(on != 0);
    return 0;
}

int io_tcpip_localport(const io_conn_s* conn) {
    return conn == nullptr ? -1 : port::SocketLocalPort(conn->handle);
}

const io_interface_s io_tcpip_interface = {
    .type = IO_IF_TCPIP,
    .initialised = 0,
    .context = nullptr,
    .init = io_tcpip_init,
    .term = io_tcpip_term,
    .open = io_tcpip_open,
    .accept = io_tcpip_accept,
    .close = io_tcpip_close,
    .queue = io_tcpip_queue,
    .remove = io_tcpip_remove,
    .recv = io_tcpip_recv,
    .send = io_tcpip_send,
    .reselect = io_tcpip_reselect,
    .poll = io_tcpip_poll,
    .wake = io_tcpip_wake,
};
