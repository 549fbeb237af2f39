// The TCP/IP interface's event loop, one round at a time: a level-triggered poller per core
// that performs every accept, recv and send of queued requests, and a command queue through
// which application threads hand it requests ('r', 'R') and closes ('C') and end it ('q').
// Rounds are run by the socket thread or by a thread waiting for a completion
// (io_tcpip_thread.cpp), one at a time; "the thread" below is whichever runs them.
// The selection of a socket is recomputed wherever a request arrives, leaves or completes,
// and applied just before the thread sleeps, so that it names the conditions some held
// request can use (level triggering would spin otherwise) -- plus read interest kept on a
// quiet socket until readable is reported with no read to take it, so that handing the
// next read over costs neither a selection change nor a wake-up.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "port/socket.h"
#include "wirelay/io_tcpip_internal.h"

// Accepts one pending connection on `listening` into `newconn` and adopts it into the
// core; the round calls it when the listening socket is readable and an accept is queued.
int io_tcpip_accept(void* context, io_conn_s* listening, io_conn_s* newconn) {
    io_tcpip_ctx_s* ctx = static_cast<io_tcpip_ctx_s*>(context);
    int fd = port::SocketAccept(listening->handle);
    if (fd < 0) {
        ctx->accept_error = port::LastSocketError();
        int rc = io_tcpip_error(ctx->accept_error);
        return rc == IO_OK ? IO_EFAIL : rc;
    }
    if (!port::SetTcpNoDelay(fd)) {
        io_log("io_tcpip_acceptsocket: setting tcp options failed: %s\n",
               std::strerror(port::LastSocketError()));
    }
    io_tcpip_sock_s* sock = new (std::nothrow) io_tcpip_sock_s;
    if (sock == nullptr) {
        port::SocketClose(fd);
        ctx->accept_error = ENOMEM;
        return IO_ENOMEM;
    }
    sock->fd = fd;
    sock->conn = newconn;
    newconn->iface = listening->iface;
    newconn->core = listening->core;
    newconn->mode = IO_ACTIVE;
    newconn->handle = fd;
    newconn->timeout_ms = -1;
    newconn->iface_data = sock;
    io_adoptconn(listening->core, newconn);
    return IO_OK;
}

namespace {

// Pause of a listening socket after an accept ran out of descriptors or memory.
constexpr int64_t kAcceptPauseMs = 100;
constexpr int kEventBatch = 64;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

unsigned long Addr(const void* p) {
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

io_tcpip_sock_s* SockOf(const io_request_s* req) {
    return req->conn != nullptr ? static_cast<io_tcpip_sock_s*>(req->conn->iface_data) : nullptr;
}

void MarkDirty(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock) {
    if (sock->dirty) return;
    sock->dirty = true;
    sock->dirty_next = ctx->dirty;
    ctx->dirty = sock;
}

// The count of requests of this one's direction handed to the thread and not let go.
std::atomic<uint32_t>& HeldCount(io_tcpip_sock_s* sock, const io_request_s* req) {
    return req->kind == IO_WRITE ? sock->writes_held : sock->reads_held;
}

// Detaches `req` from the socket's held list; false when the thread does not hold it.
bool Unhold(io_tcpip_sock_s* sock, io_request_s* req) {
    for (io_request_s** p = &sock->held; *p != nullptr; p = &(*p)->iface_next) {
        if (*p == req) {
            *p = req->iface_next;
            req->iface_next = nullptr;
            HeldCount(sock, req).fetch_sub(1);
            return true;
        }
    }
    return false;
}

bool Eligible(const io_tcpip_sock_s* sock, const io_request_s* req) {
    if (req->flags.load(std::memory_order_relaxed) & IO_FLAG_SUSPENDED) return false;
    return !(req->kind == IO_ACCEPT && sock->paused);
}

// Lets go of a request the thread has finished with: the selection drops it, the core
// learns of its completion, and the application side may take its lock.
void Complete(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock, io_request_s* req, uint32_t result) {
    Unhold(sock, req);
    MarkDirty(ctx, sock);
    io_complete(req, result);
    io_unlock(req->lock);
}

// Without a selection in force nothing would ever complete the socket's requests: they
// fail now instead of hanging.
void FailHeld(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock) {
    while (sock->held != nullptr) Complete(ctx, sock, sock->held, IO_EFAIL);
}

void ApplySelection(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock) {
    uint32_t want = 0;
    for (io_request_s* r = sock->held; r != nullptr; r = r->iface_next) {
        if (!Eligible(sock, r)) continue;
        want |= (r->kind == IO_WRITE) ? port::kPollWritable : port::kPollReadable;
    }
    if (!sock->hung_up && !sock->peer_closed && !sock->listening) {
        want |= port::kPollPeerClosed;
        // Read interest stays while the socket is quiet: the next read is then handed over
        // without changing the selection or waking the thread. It goes once readable was
        // reported with no read to take it.
        if ((sock->applied.load(std::memory_order_relaxed) & port::kPollReadable) &&
            !sock->unserved_read) {
            want |= port::kPollReadable;
        }
    }
    sock->unserved_read = false;
    // After a hangup only a request can make progress; without one the descriptor must
    // leave the poller, whose hangup report cannot be masked.
    if (sock->hung_up && !(want & (port::kPollReadable | port::kPollWritable))) want = 0;

    if (want == 0) {
        if (sock->registered) ctx->poller.Remove(sock->fd);
        sock->registered = false;
        sock->applied.store(0);
        return;
    }
    bool ok = true;
    if (!sock->registered) {
        ok = ctx->poller.Add(sock->fd, want, sock);
        sock->registered = ok;
    } else if (want != sock->applied.load(std::memory_order_relaxed)) {
        ok = ctx->poller.Modify(sock->fd, want, sock);
    }
    if (!ok) {
        io_log("io_tcpip_select: selecting events failed: %s\n", std::strerror(errno));
        FailHeld(ctx, sock);
        return;
    }
    sock->applied.store(want);
}

void PauseAccepts(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock) {
    if (sock->paused) return;
    sock->paused = true;
    sock->resume_at_ms = NowMs() + kAcceptPauseMs;
    ctx->paused.push_back(sock);
    MarkDirty(ctx, sock);
}

// An accept that failed for a reason other than "nothing pending" never ends the accept
// request (the server would stop listening): it is logged and the accept stays armed. When
// descriptors or memory ran out, the listening socket rests a moment first, so that the
// thread neither spins on the still-pending connection nor starves its other sockets.
void AcceptFailed(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock, int error) {
    io_log("io_tcpip_thread: accept failed: %s\n", std::strerror(error));
    auto kind = port::ClassifySocketError(error);
    if (kind != port::SocketErrorKind::kTransient && kind != port::SocketErrorKind::kInterrupted) {
        PauseAccepts(ctx, sock);
    }
}

// One I/O step: moves as many bytes as the socket takes now, completing the request when
// all are through or the connection broke. A request of length 0 completes at once.
void DoIo(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock, io_request_s* req) {
    uint32_t result = IO_OK;
    while (req->done < req->length) {
        if (req->kind == IO_ACCEPT) {
            io_conn_s* accepted = io_newconn();
            if (accepted == nullptr) {
                AcceptFailed(ctx, sock, ENOMEM);
                return;
            }
            int rc = io_tcpip_accept(ctx, sock->conn, accepted);
            if (rc == IO_OK) {
                // Watched from now on, so that a client leaving before its first request is
                // noticed too.
                MarkDirty(ctx, static_cast<io_tcpip_sock_s*>(accepted->iface_data));
                req->buffer = accepted;
                req->done = req->length;
                break;
            }
            io_freeconn(accepted);
            if (rc != IO_EWOULDBLOCK) AcceptFailed(ctx, sock, ctx->accept_error);
            return;
        }
        char* at = static_cast<char*>(req->buffer) + req->done;
        const uint32_t left = req->length - req->done;
        const bool reading = req->kind == IO_READ;
        if (reading) sock->unserved_read = false;
        const int64_t n =
            reading ? port::SocketRecv(sock->fd, at, left) : port::SocketSend(sock->fd, at, left);
        if (n > 0) {
            req->done += static_cast<uint32_t>(n);
            if (reading) sock->drained.store(static_cast<uint64_t>(n) < left);
            if (reading && req->partial) break;
            // A short transfer means the socket is drained (or full); the poller tells
            // when to go on, which saves a call that would only say "would block".
            if (static_cast<uint64_t>(n) < left) return;
            continue;
        }
        if (n == 0) {
            result = IO_EBROKEN;
            break;
        }
        if (io_tcpip_error(port::LastSocketError()) == IO_EWOULDBLOCK) {
            if (reading) sock->drained.store(true);
            return;
        }
        result = IO_EBROKEN;
        break;
    }
    Complete(ctx, sock, req, result);
}

enum Want { kWantRead, kWantWrite, kWantAccept, kWantAny };

bool Matches(const io_request_s* req, Want want) {
    switch (want) {
        case kWantRead:
            return req->kind == IO_READ;
        case kWantWrite:
            return req->kind == IO_WRITE;
        case kWantAccept:
            return req->kind == IO_ACCEPT;
        default:
            return true;
    }
}

// Runs one I/O step on the first held request of the wanted kind that the socket may
// serve. false when there is none.
bool Serve(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock, Want want) {
    for (io_request_s* r = sock->held; r != nullptr; r = r->iface_next) {
        if (Matches(r, want) && Eligible(sock, r)) {
            DoIo(ctx, sock, r);
            return true;
        }
    }
    return false;
}

Want WantOf(const io_request_s* req) {
    return req->kind == IO_READ ? kWantRead : req->kind == IO_WRITE ? kWantWrite : kWantAccept;
}

void OnSocketEvent(io_tcpip_ctx_s* ctx, io_tcpip_sock_s* sock, uint32_t events) {
    if (sock->closed) return;  // closed earlier in this round
    const uint32_t closing = port::kPollPeerClosed | port::kPollHangup | port::kPollError;
    bool served = false;
    if (sock->listening) {
        if (events & (port::kPollReadable | closing)) served = Serve(ctx, sock, kWantAccept);
        if (!served && (events & closing)) {
            sock->hung_up = true;
            MarkDirty(ctx, sock);
        }
        return;
    }
    if (events & port::kPollReadable) {
        if (Serve(ctx, sock, kWantRead)) {
            served = true;
        } else {
            sock->unserved_read = true;
            sock->drained.store(false);  // the next read is worth trying at once
            MarkDirty(ctx, sock);
        }
    }
    if (events & port::kPollWritable) served |= Serve(ctx, sock, kWantWrite);
    if (events & closing) {
        if (events & port::kPollPeerClosed) sock->peer_closed = true;
        if (events & (port::kPollHangup | port::kPollError)) sock->hung_up = true;
        MarkDirty(ctx, sock);
        // The end of the stream or an error surfaces through a step of the first request.
        if (!Serve(ctx, sock, kWantAny) && !served) {
            io_log("io_tcpip_thread: FD_CLOSE and no request!\n");
        }
    }
}

void OnQueueRequest(io_tcpip_ctx_s* ctx, io_request_s* req) {
    int rc = io_lock(req->lock);
    if (rc != IO_OK) {
        io_log("io_tcpip_thread: QUEUEREQUEST: io_lock failed, error = %d!\n", rc);
        io_log("io_tcpip_thread: 0x%lx cmd %d len %d\n", Addr(req), static_cast<int>(req->kind),
               static_cast<int>(req->length));
        if (io_tcpip_sock_s* sock = SockOf(req)) HeldCount(sock, req).fetch_sub(1);
        return;
    }
    io_tcpip_sock_s* sock = SockOf(req);
    if (sock == nullptr || sock->closed) {  // queued on a connection being closed
        io_log("io_tcpip_thread: 0x%lx cmd %d len %d\n", Addr(req), static_cast<int>(req->kind),
               static_cast<int>(req->length));
        if (sock != nullptr) HeldCount(sock, req).fetch_sub(1);
        io_unlock(req->lock);
        return;
    }
    io_request_s** tail = &sock->held;
    while (*tail != nullptr) tail = &(*tail)->iface_next;
    req->iface_next = nullptr;
    *tail = req;
    MarkDirty(ctx, sock);
    // Served at once when the socket may be ready already, as a readiness report of a
    // condition that holds would do. A request of length 0 waits for a real report: it
    // exists to learn when the socket becomes readable; so does one that the queueing
    // thread found not ready a moment ago (level triggering reports it if it is now).
    if (req->length > 0 && !(req->iface_bits & IO_TCPIP_NOT_READY) && Eligible(sock, req)) {
        Serve(ctx, sock, WantOf(req));
    }
}

void OnRemoveRequest(io_tcpip_ctx_s* ctx, io_request_s* req) {
    io_tcpip_sock_s* sock = SockOf(req);
    // Not held any more when it completed before this command arrived.
    if (sock != nullptr && Unhold(sock, req)) {
        MarkDirty(ctx, sock);
        int rc = io_unlock(req->lock);
        if (rc != IO_OK) {
            io_log("io_tcpip_thread: REMOVEREQUEST: io_unlock failed, error = %d!\n", rc);
            io_log("io_tcpip_thread: 0x%lx cmd %d len %d\n", Addr(req), static_cast<int>(req->kind),
                   static_cast<int>(req->length));
        }
    }
    io_signalsemaphore(ctx->ack, 1);
}

void OnReselect(io_tcpip_ctx_s* ctx, io_request_s* req) {
    io_tcpip_sock_s* sock = SockOf(req);
    if (sock != nullptr && !sock->closed) {
        bool held = false;
        for (io_request_s* r = sock->held; r != nullptr; r = r->iface_next) held |= (r == req);
        if (held) {
            MarkDirty(ctx, sock);
            if (req->length > 0 && Eligible(sock, req)) Serve(ctx, sock, WantOf(req));
        }
    }
    io_signalsemaphore(ctx->ack, 1);
}

void OnClose(io_tcpip_ctx_s* ctx, io_conn_s* conn) {
    auto* sock = static_cast<io_tcpip_sock_s*>(conn->iface_data);
    if (sock != nullptr && !sock->closed) {
        if (sock->registered) ctx->poller.Remove(sock->fd);
        sock->registered = false;
        // Requests still in progress are let go, so that their owners can free them.
        for (io_request_s* r = sock->held; r != nullptr;) {
            io_request_s* next = r->iface_next;
            r->iface_next = nullptr;
            HeldCount(sock, r).fetch_sub(1);
            io_unlock(r->lock);
            r = next;
        }
        sock->held = nullptr;
        sock->closed = true;
        auto& paused = ctx->paused;
        paused.erase(std::remove(paused.begin(), paused.end(), sock), paused.end());
        ctx->graveyard.push_back(sock);  // events of this round may still name it
    }
    io_signalsemaphore(ctx->ack, 1);
}

// Runs the queued commands in order; *quit is set when 'q' was among them. false when
// there was no command.
bool RunCommands(io_tcpip_ctx_s* ctx, bool* quit) {
    {
        std::lock_guard<std::mutex> guard(ctx->cmd_mutex);
        if (ctx->cmds.empty()) return false;
        std::swap(ctx->cmds, ctx->batch);
    }
    for (const io_tcpip_cmd_s& cmd : ctx->batch) {
        switch (cmd.command) {
            case IO_TCPIP_QUIT:
                *quit = true;
                break;
            case IO_TCPIP_CLOSE:
                OnClose(ctx, static_cast<io_conn_s*>(cmd.what));
                break;
            case IO_TCPIP_QUEUEREQUEST:
                OnQueueRequest(ctx, static_cast<io_request_s*>(cmd.what));
                break;
            case IO_TCPIP_REMOVEREQUEST:
                OnRemoveRequest(ctx, static_cast<io_request_s*>(cmd.what));
                break;
            case IO_TCPIP_RESELECT:
                OnReselect(ctx, static_cast<io_request_s*>(cmd.what));
                break;
            default:
                io_log("io_tcpip_thread: unknown control: %d\n", cmd.command);
                break;
        }
    }
    ctx->batch.clear();
    return true;
}

void ApplyDirty(io_tcpip_ctx_s* ctx) {
    while (ctx->dirty != nullptr) {
        io_tcpip_sock_s* sock = ctx->dirty;
        ctx->dirty = sock->dirty_next;
        sock->dirty = false;
        sock->dirty_next = nullptr;
        if (!sock->closed) ApplySelection(ctx, sock);
    }
}

void FreeGraveyard(io_tcpip_ctx_s* ctx) {
    for (io_tcpip_sock_s* sock : ctx->graveyard) delete sock;
    ctx->graveyard.clear();
}

// Milliseconds until the first paused listening socket may accept again; -1 for none.
int PauseTimeout(const io_tcpip_ctx_s* ctx) {
    if (ctx->paused.empty()) return -1;
    const int64_t now = NowMs();
    int64_t first = ctx->paused.front()->resume_at_ms;
    for (const io_tcpip_sock_s* s : ctx->paused) first = std::min(first, s->resume_at_ms);
    return static_cast<int>(std::clamp<int64_t>(first - now, 0, kAcceptPauseMs));
}

void ResumePaused(io_tcpip_ctx_s* ctx) {
    if (ctx->paused.empty()) return;
    const int64_t now = NowMs();
    std::vector<io_tcpip_sock_s*> due;
    auto& paused = ctx->paused;
    for (auto it = paused.begin(); it != paused.end();) {
        if ((*it)->resume_at_ms <= now) {
            due.push_back(*it);
            it = paused.erase(it);
        } else {
            ++it;
        }
    }
    for (io_tcpip_sock_s* sock : due) {
        sock->paused = false;
        MarkDirty(ctx, sock);
        Serve(ctx, sock, kWantAccept);
    }
}

}  // namespace

bool io_tcpip_round(io_tcpip_ctx_s* ctx, int64_t timeout_us, io_semaphore_s* until) {
    port::PollEvent events[kEventBatch];
    ApplyDirty(ctx);
    FreeGraveyard(ctx);
    const int pause_ms = PauseTimeout(ctx);
    int64_t timeout = pause_ms < 0 ? -1 : int64_t{pause_ms} * 1000;
    if (timeout_us >= 0 && (timeout < 0 || timeout_us < timeout)) timeout = timeout_us;
    {
        std::lock_guard<std::mutex> guard(ctx->cmd_mutex);
        // Looked at under the mutex that posters and wakers take, so that whatever arrives
        // after this look finds `sleeping` set and wakes the poller.
        if (!ctx->cmds.empty() || ctx->waiters_queued.load() > 0 ||
            (until != nullptr && io_semaphorecount(until) > 0)) {
            timeout = 0;
        } else if (timeout != 0) {
            ctx->sleeping = true;
        }
    }
    const int n = ctx->poller.Wait(events, kEventBatch, timeout);
    if (timeout != 0) {
        std::lock_guard<std::mutex> guard(ctx->cmd_mutex);
        ctx->sleeping = false;
    }
    if (n < 0) {
        io_log("io_tcpip_thread: poll failed: %s\n", std::strerror(errno));
        io_sleep(10);  // never a busy loop, whatever the poller's trouble
    }
    // Commands first: a request handed over while the runner slept (without a wake-up,
    // because the socket's selection already covered it) is then held when the readiness
    // report that woke it is served.
    bool quit = false;
    RunCommands(ctx, &quit);
    for (int i = 0; i < n; ++i) {
        if (events[i].data == nullptr) {
            ctx->wakeup.Drain();
        } else {
            OnSocketEvent(ctx, static_cast<io_tcpip_sock_s*>(events[i].data), events[i].events);
        }
    }
    ResumePaused(ctx);
    return quit;
}

void io_tcpip_finish(io_tcpip_ctx_s* ctx) {
    ApplyDirty(ctx);
    FreeGraveyard(ctx);
}
