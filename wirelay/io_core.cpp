// The I/O core proper: cores, connections, requests, queueing, completion and collection.
// Application threads call these; interface threads only call io_complete and
// io_adoptconn, neither of which waits for the core lock.
#include "wirelay/io_core.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "wirelay/io_interfaces.h"

namespace {
constexpr int kMaxInterfaces = 8;
}  // namespace

struct io_core_s {
    io_lock_s* lock = nullptr;  // guards `conns` and every connection's request list
    io_conn_s* conns = nullptr;
    io_conn_s* resume = nullptr;  // where io_getrequest starts looking; null: the head
    io_semaphore_s* completion = nullptr;
    // Connections accepted by an interface thread, waiting to be linked into `conns` by
    // the next application-side call that holds the core lock.
    std::atomic<io_conn_s*> adopted{nullptr};
    io_interface_s table[kMaxInterfaces + 1] = {};
    // The first initialised interface that lets waiting threads run its loop, and how many
    // threads are in (or about to enter) its poll: completions by other threads wake them.
    std::atomic<io_interface_s*> poll_iface{nullptr};
    std::atomic<int> pollers{0};
};

namespace {

// REQUIRES the core lock.
void LinkAdopted(io_core_s* core) {
    io_conn_s* list = core->adopted.exchange(nullptr, std::memory_order_acquire);
    // The stack holds the newest first; push them in arrival order so the newest ends at
    // the head, as if each had been linked when it was accepted.
    io_conn_s* reversed = nullptr;
    while (list != nullptr) {
        io_conn_s* next = list->next;
        list->next = reversed;
        reversed = list;
        list = next;
    }
    while (reversed != nullptr) {
        io_conn_s* next = reversed->next;
        reversed->next = core->conns;
        core->conns = reversed;
        reversed = next;
    }
}

// First completed request listed on the connection, in queue order. REQUIRES the core lock.
io_request_s* FirstCompleted(io_conn_s* c) {
    if (c->completed.load(std::memory_order_acquire) == 0) return nullptr;
    io_request_s* found = nullptr;
    io_lock(c->lock);
    for (io_request_s* r = c->requests; r != nullptr; r = r->next) {
        if (r->flags.load() & IO_FLAG_COMPLETED) {
            found = r;
            break;
        }
    }
    io_unlock(c->lock);
    return found;
}

// A count of `sem` may have been added by a thread other than the one polling: the poller
// must look again. The load pairs with the poller's increment of `pollers` (both sequentially
// consistent, as is the semaphore's count): either the poller sees the count before it
// sleeps, or this sees the poller and wakes it.
void WakePoller(io_core_s* core) {
    if (core->pollers.load(std::memory_order_seq_cst) == 0) return;
    if (io_interface_s* d = core->poll_iface.load(std::memory_order_acquire)) d->wake(d->context);
}

// Waits for one count of `sem` (a negative time-out waits without limit), running the
// interface's loop on this thread meanwhile when the interface lets it.
int WaitPolling(io_core_s* core, io_semaphore_s* sem, int64_t timeout_us) {
    if (io_waitsemaphore(sem, 0) == IO_OK) return IO_OK;
    io_interface_s* d = core->poll_iface.load(std::memory_order_acquire);
    if (timeout_us == 0 || d == nullptr) return io_waitsemaphore(sem, timeout_us);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::microseconds(timeout_us);
    for (;;) {
        int64_t left_us = -1;
        if (timeout_us > 0) {
            left_us = std::max<int64_t>(
                0, std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now()).count());
        }
        core->pollers.fetch_add(1, std::memory_order_seq_cst);
        const bool ran = d->poll(d->context, sem, left_us);
        core->pollers.fetch_sub(1, std::memory_order_seq_cst);
        if (!ran) return io_waitsemaphore(sem, left_us < 0 ? IO_INFINITE : left_us);
        if (io_waitsemaphore(sem, 0) == IO_OK) return IO_OK;
        // The count the poll saw went to a thread sleeping on the semaphore: wait on.
        if (timeout_us > 0 && Clock::now() >= deadline) return IO_ETIMEOUT;
    }
}

void TakeAndDropLock(io_lock_s* lock, const char* failure_format) {
    int rc = io_lock(lock);
    if (rc != IO_OK) {
        if (failure_format != nullptr) io_log(failure_format, rc);
        return;
    }
    io_unlock(lock);
}

}  // namespace

int io_init_with(io_core_s** core, const io_interface_s* table) {
    *core = nullptr;
    io_core_s* c = new (std::nothrow) io_core_s;
    if (c == nullptr) {
        return IO_ENOMEM;
    }
    if (io_createsemaphore(&c->completion, 0, 0x7fffffff) != IO_OK ||
        io_createlock(&c->lock) != IO_OK) {
        io_closesemaphore(c->completion);
        io_closelock(c->lock);
        delete c;
        return IO_EFAIL;
    }
    for (int i = 0; i < kMaxInterfaces && table[i].type != IO_IF_END; ++i) {
        c->table[i] = table[i];
        c->table[i].initialised = 0;
        c->table[i].context = nullptr;
    }
    *core = c;
    return IO_OK;
}

int io_init(io_core_s** core) {
    return io_init_with(core, io_builtin_interfaces());
}

void io_term(io_core_s* core) {
    if (core == nullptr) return;
    // An interface thread may still adopt a connection while others are being closed;
    // repeat until both the list and the hand-over stack are empty.
    for (;;) {
        io_lock(core->lock);
        LinkAdopted(core);
        io_conn_s* first = core->conns;
        io_unlock(core->lock);
        if (first == nullptr) break;
        io_close(first);
    }
    core->poll_iface.store(nullptr);
    for (io_interface_s* d = core->table; d->type != IO_IF_END; ++d) {
        if (d->initialised) {
            d->term(core, d->context, d);
            d->initialised = 0;
            d->context = nullptr;
        }
    }
    io_closelock(core->lock);
    io_closesemaphore(core->completion);
    delete core;
}

io_conn_s* io_newconn() {
    io_conn_s* conn = new (std::nothrow) io_conn_s();
    if (conn == nullptr) return nullptr;
    if (io_createlock(&conn->lock) != IO_OK) {
        delete conn;
        return nullptr;
    }
    conn->handle = -1;
    conn->timeout_ms = -1;
    return conn;
}

void io_freeconn(io_conn_s* conn) {
    if (conn == nullptr) return;
    io_closelock(conn->lock);
    delete conn;
}

void io_adoptconn(io_core_s* core, io_conn_s* conn) {
    io_conn_s* head = core->adopted.load(std::memory_order_relaxed);
    do {
        conn->next = head;
    } while (!core->adopted.compare_exchange_weak(head, conn, std::memory_order_release,
                                                  std::memory_order_relaxed));
}

int io_open(uint32_t mode, io_core_s* core, uint32_t type, const void* address, io_conn_s** conn) {
    *conn = nullptr;
    io_interface_s* d = core->table;
    while (d->type != IO_IF_END && d->type != type) ++d;
    if (d->type == IO_IF_END || type == IO_IF_END) return IO_ENOIF;

    if (!d->initialised) {
        void* context = nullptr;
        int rc = d->init(core, &context, d, address);
        if (rc != IO_OK) return rc;
        d->context = context;
        d->initialised = 1;
        io_interface_s* none = nullptr;
        if (d->poll != nullptr && d->wake != nullptr) {
            core->poll_iface.compare_exchange_strong(none, d, std::memory_order_release);
        }
    }
    io_conn_s* c = io_newconn();
    if (c == nullptr) return IO_ENOMEM;
    c->iface = d;
    c->mode = mode;
    c->core = core;
    int rc = d->open(d->context, mode, address, c);
    if (rc != IO_OK) {
        io_freeconn(c);
        return rc;
    }
    io_lock(core->lock);
    LinkAdopted(core);
    c->next = core->conns;
    core->conns = c;
    io_unlock(core->lock);
    *conn = c;
    return IO_OK;
}

int io_close(io_conn_s* conn) {
    if (conn == nullptr) return IO_OK;
    io_core_s* core = conn->core;
    io_lock(core->lock);
    LinkAdopted(core);
    conn->iface->close(conn->iface->context, conn);
    if (core->resume == conn) core->resume = conn->next;
    for (io_conn_s** p = &core->conns; *p != nullptr; p = &(*p)->next) {
        if (*p == conn) {
            *p = conn->next;
            break;
        }
    }
    io_lock(conn->lock);
    io_unlock(core->lock);

    // The interface has let go of every request (close is synchronous with its thread).
    // Completed ones are no longer collectable, so their counts go; all are left idle so
    // that their owners may free them or queue them elsewhere.
    for (io_request_s* r = conn->requests; r != nullptr;) {
        io_request_s* next = r->next;
        if (r->flags.load() & IO_FLAG_COMPLETED) {
            int rc = io_waitsemaphore(core->completion, 0);
            if (rc != IO_OK) io_log("io_close: io_waitsemaphore returned %d!\n", rc);
            io_waitsemaphore(r->sem, 0);
        }
        r->flags.fetch_and(~(IO_FLAG_ACTIVE | IO_FLAG_QUEUED));
        r->conn = nullptr;
        r->next = nullptr;
        r = next;
    }
    conn->requests = nullptr;
    io_unlock(conn->lock);
    io_freeconn(conn);
    return IO_OK;
}

int io_createrequest(io_request_s** req) {
    *req = nullptr;
    io_request_s* r = new (std::nothrow) io_request_s();
    if (r == nullptr) return IO_ENOMEM;
    if (io_createlock(&r->lock) != IO_OK) {
        delete r;
        return IO_EFAIL;
    }
    if (io_createsemaphore(&r->sem, 0, 0x7fffffff) != IO_OK) {
        io_closelock(r->lock);
        delete r;
        return IO_EFAIL;
    }
    *req = r;
    return IO_OK;
}

void io_freerequest(io_request_s* req) {
    if (req == nullptr) return;
    // Freed while still queued: take it back first, or the interface would use freed memory.
    if (req->conn != nullptr && (req->flags.load() & IO_FLAG_QUEUED)) io_abort(req);
    io_closelock(req->lock);
    io_closesemaphore(req->sem);
    delete req;
}

int io_queue(io_conn_s* conn, io_request_s* req) {
    if (conn == nullptr || req == nullptr) return IO_EINVAL;
    // A request in flight belongs to the interface: touching it here would corrupt it.
    if (req->flags.load() & IO_FLAG_QUEUED) {
        io_log("io_queue: request 0x%lx already queued!\n",
               static_cast<unsigned long>(reinterpret_cast<uintptr_t>(req)));
        return IO_EFAIL;
    }
    if (req->kind != IO_ACCEPT && req->buffer == nullptr && req->length > 0) return IO_EINVAL;
    uint32_t flags = IO_FLAG_ACTIVE | IO_FLAG_QUEUED;
    switch (req->kind) {
        case IO_READ:
            flags |= IO_FLAG_READ;
            break;
        case IO_WRITE:
            flags |= IO_FLAG_WRITE;
            break;
        case IO_ACCEPT:
            if (conn->mode != IO_PASSIVE) return IO_EINVOP;
            req->length = sizeof(io_conn_s*);
            flags |= IO_FLAG_READ;
            break;
        default:
            return IO_EFAIL;
    }
    req->conn = conn;
    req->done = 0;
    req->result = 0;
    req->iface_bits = 0;
    req->flags.store(flags);
    return conn->iface->queue(conn->iface->context, conn, req);
}

int io_wait(io_core_s* core, int64_t timeout_us) {
    return WaitPolling(core, core->completion, io_wait_timeout_us(timeout_us));
}

int io_waitbrief(io_core_s* core, int64_t timeout_us) {
    return WaitPolling(core, core->completion, timeout_us < 0 ? 0 : timeout_us);
}

void io_wake(io_core_s* core) {
    io_signalsemaphore(core->completion, 1);
    WakePoller(core);
}

int io_getrequest(io_core_s* core, io_request_s** req) {
    *req = nullptr;
    io_request_s* found = nullptr;
    io_lock(core->lock);
    LinkAdopted(core);
    // The search goes round from the connection after the one served last, so that a
    // client keeping its own requests busy cannot starve the others.
    io_conn_s* start = core->resume != nullptr ? core->resume : core->conns;
    io_conn_s* c = start;
    for (int lap = 0; c != nullptr && found == nullptr;) {
        found = FirstCompleted(c);
        if (found != nullptr) break;
        c = c->next;
        if (c == nullptr && lap++ == 0) c = core->conns;
        if (c == start) break;
    }
    if (found != nullptr) core->resume = c->next;
    io_unlock(core->lock);
    if (found == nullptr) return IO_ENOREQ;

    io_conn_s* conn = found->conn;
    int rc = conn->iface->remove(conn->iface->context, found);
    if (rc != IO_OK) return rc;
    TakeAndDropLock(found->lock, nullptr);
    rc = io_waitsemaphore(found->sem, 0);
    if (rc != IO_OK) {
        io_log("io_getrequest: io_waitsemaphore returned %d!\n", rc);
        return rc;
    }
    *req = found;
    return IO_OK;
}

int io_waitrequest(io_request_s* req) {
    if (req == nullptr) return IO_EINVAL;
    io_conn_s* conn = req->conn;
    if (conn == nullptr || !(req->flags.load() & IO_FLAG_QUEUED)) return IO_EFAIL;
    const int64_t timeout_us =
        conn->timeout_ms < 0 ? IO_INFINITE : static_cast<int64_t>(conn->timeout_ms) * 1000;
    int rc = WaitPolling(conn->core, req->sem, timeout_us);
    if (rc != IO_OK) {
        io_log("io_waitrequest: io_waitsemaphore failed, err=%d!\n", rc);
        return rc;
    }
    rc = io_waitsemaphore(conn->core->completion, 0);
    if (rc != IO_OK) {
        io_log("io_waitrequest: io_waitsemaphore returned %d!\n", rc);
        return rc;
    }
    rc = conn->iface->remove(conn->iface->context, req);
    int lrc = io_lock(req->lock);
    if (lrc == IO_OK) lrc = io_unlock(req->lock);
    return rc != IO_OK ? rc : lrc;
}

int io_abort(io_request_s* req) {
    if (req == nullptr) return IO_EFAIL;
    io_conn_s* conn = req->conn;
    if (conn == nullptr || !(req->flags.load() & IO_FLAG_QUEUED)) return IO_EFAIL;
    int rc = conn->iface->remove(conn->iface->context, req);
    if (rc != IO_OK) return rc;
    TakeAndDropLock(req->lock, "io_abort: io_lock failed, err=%d\n");
    if (req->flags.load() & IO_FLAG_COMPLETED) {
        rc = io_waitsemaphore(req->sem, 0);
        if (rc != IO_OK) io_log("io_abort: io_waitsemaphore returned %d!\n", rc);
        rc = io_waitsemaphore(conn->core->completion, 0);
        if (rc != IO_OK) io_log("io_abort: io_waitsemaphore returned %d!\n", rc);
    }
    return IO_OK;
}

void io_settimeout(io_conn_s* conn, int32_t ms) {
    conn->timeout_ms = ms;
}

void io_suspend(io_request_s* req) {
    req->flags.fetch_or(IO_FLAG_SUSPENDED);
    io_conn_s* conn = req->conn;
    if (conn != nullptr && (req->flags.load() & IO_FLAG_QUEUED) && conn->iface->reselect) {
        conn->iface->reselect(conn->iface->context, req);
    }
}

void io_resume(io_request_s* req) {
    req->flags.fetch_and(~IO_FLAG_SUSPENDED);
    io_conn_s* conn = req->conn;
    if (conn != nullptr && (req->flags.load() & IO_FLAG_QUEUED) && conn->iface->reselect) {
        conn->iface->reselect(conn->iface->context, req);
    }
}

void io_complete(io_request_s* req, uint32_t result) {
    req->result = result;
    uint32_t add = IO_FLAG_COMPLETED | (result != 0 ? uint32_t{IO_FLAG_FAILED} : 0u);
    uint32_t old = req->flags.load(std::memory_order_relaxed);
    while (!req->flags.compare_exchange_weak(old, (old | add) & ~IO_FLAG_ACTIVE)) {
    }
    io_conn_s* conn = req->conn;
    io_core_s* core = conn->core;
    conn->completed.fetch_add(1, std::memory_order_release);
    io_signalsemaphore(core->completion, 1);
    io_signalsemaphore(req->sem, 1);
    WakePoller(core);
}

int io_default_queue(void*, io_conn_s* conn, io_request_s* req) {
    io_core_s* core = conn->core;
    io_lock(core->lock);
    io_request_s** tail = &conn->requests;
    for (; *tail != nullptr; tail = &(*tail)->next) {
        if (*tail == req) {
            io_unlock(core->lock);
            io_log("io_default_queue: request 0x%lx already queued!\n",
                   static_cast<unsigned long>(reinterpret_cast<uintptr_t>(req)));
            return IO_EFAIL;
        }
    }
    req->next = nullptr;
    *tail = req;
    io_unlock(core->lock);
    return IO_OK;
}

int io_default_remove(void*, io_request_s* req) {
    io_conn_s* conn = req->conn;
    if (conn == nullptr) return IO_EFAIL;
    io_core_s* core = conn->core;
    io_lock(core->lock);
    io_request_s** p = &conn->requests;
    while (*p != nullptr && *p != req) p = &(*p)->next;
    if (*p == nullptr) {
        io_unlock(core->lock);
        return IO_EFAIL;
    }
    *p = req->next;
    req->next = nullptr;
    if (req->flags.load() & IO_FLAG_COMPLETED) {
        conn->completed.fetch_sub(1, std::memory_order_relaxed);
    }
    req->flags.fetch_and(~(IO_FLAG_ACTIVE | IO_FLAG_QUEUED));
    io_unlock(core->lock);
    return IO_OK;
}

io_semaphore_s* io_completionsemaphore(io_core_s* core) {
    return core->completion;
}
