// I/O core of the message transport: asynchronous read, write and accept requests over
// pluggable interfaces (TCP/IP first, then serial), completion counting, and the semaphores,
// locks, time-outs, debug log and error texts that every layer of the transport uses.
// Codes: IO_OK on success, the other IO_* codes (small positive numbers) on failure
// (io_strerror gives the text).
// Threads: application threads call everything below except io_complete and io_adoptconn,
// which belong to the interfaces' own threads; no core function makes an interface thread
// wait for the core lock.
#pragma once

#include <atomic>
#include <cstdint>

// ---- codes -------------------------------------------------------------------------------
enum : int {
    IO_OK = 0,           // "(iolib) ok"
    IO_EFAIL = 1,        // "(iolib) fail"
    IO_ENOMEM = 2,       // "(iolib) no memory"
    IO_ENOIF = 3,        // "(iolib) no such interface"
    IO_EBROKEN = 4,      // "(iolib) connection broken"
    IO_ENOREQ = 5,       // "(iolib) no requests"
    IO_EINVAL = 6,       // "(iolib) invalid argument"
    IO_EINVOP = 7,       // "(iolib) invalid operation"
    IO_EWOULDBLOCK = 8,  // "(iolib) operation would block"
    IO_ETIMEOUT = 9,     // "(iolib) timeout"
    IO_EADDRINUSE = 10,  // "(iolib) address already in use"
};

// Request kinds.
enum : uint32_t { IO_READ = 0, IO_WRITE = 1, IO_ACCEPT = 2 };

// Connection modes for io_open.
enum : uint32_t { IO_PASSIVE = 0, IO_ACTIVE = 1 };

// Interface types; the descriptor table lists TCP/IP first, then serial (IO_IF_END ends it).
enum : uint32_t { IO_IF_END = 0, IO_IF_TCPIP = 1, IO_IF_SERIAL = 2 };

// Request flags (io_request_s::flags).
enum : uint32_t {
    IO_FLAG_ACTIVE = 0x1,        // the interface works on it
    IO_FLAG_WRITE = 0x2,         // a write
    IO_FLAG_READ = 0x4,          // a read or an accept
    IO_FLAG_FAILED = 0x8,        // completed with a non-zero result
    IO_FLAG_SUSPENDED = 0x20,    // the interface passes it over
    IO_FLAG_QUEUED = 0x40,       // listed on a connection
    IO_FLAG_COMPLETED = 0x1000,  // completed, result set
};

// Wait without limit (time-outs of io_wait, io_waitsemaphore, io_settimeout).
constexpr int64_t IO_INFINITE = -1;

struct io_core_s;
struct io_conn_s;
struct io_request_s;
struct io_semaphore_s;  // opaque counting semaphore
struct io_lock_s;       // opaque lock

// ---- interface descriptor -----------------------------------------------------------------
// One per transport. Each core keeps its own copy of the table, so `initialised` and
// `context` are per core. The core never knows which interface it drives.
struct io_interface_s {
    uint32_t type;         // IO_IF_TCPIP, IO_IF_SERIAL; IO_IF_END ends a table
    uint32_t initialised;  // set by io_open after a successful init on this core
    void* context;         // set by init
    int (*init)(io_core_s* core, void** context, io_interface_s* iface, const void* address);
    void (*term)(io_core_s* core, void* context, io_interface_s* iface);
    int (*open)(void* context, uint32_t mode, const void* address, io_conn_s* conn);
    int (*accept)(void* context, io_conn_s* listening, io_conn_s* newconn);
    void (*close)(void* context, io_conn_s* conn);
    int (*queue)(void* context, io_conn_s* conn, io_request_s* req);
    int (*remove)(void* context, io_request_s* req);
    int64_t (*recv)(void* context, io_conn_s* conn, void* buffer, uint32_t length);
    int64_t (*send)(void* context, io_conn_s* conn, const void* buffer, uint32_t length);
    // Optional (may be null): the suspended flag of a queued request changed, so the
    // interface recomputes what it waits for. Called by io_suspend and io_resume.
    void (*reselect)(void* context, io_request_s* req);
    // Optional pair (both null or both set): lets a thread that waits in io_wait or
    // io_waitrequest run the interface's event loop itself, instead of sleeping while the
    // interface's thread runs it and wakes the waiter -- a thread switch per completion,
    // which under load costs more than the transfer itself.
    // `poll` runs the loop on the calling thread until `until` has a count (it takes none)
    // or timeout_us microseconds pass (negative: no limit), and returns true; it returns
    // false when it cannot run the loop here (another thread polls already, or the interface
    // is ending), and the caller then waits on the semaphore as usual.
    bool (*poll)(void* context, io_semaphore_s* until, int64_t timeout_us);
    // Wakes a thread that sleeps in `poll`, because some count it may wait for was added by
    // another thread. Safe from any thread, cheap when nobody sleeps there.
    void (*wake)(void* context);
};

// ---- connection ----------------------------------------------------------------------------
// Created by io_open (or by an interface's accept), freed by io_close or io_term.
// Users read `mode` and `handle`; everything else belongs to the core and the interface.
struct io_conn_s {
    io_conn_s* next;  // in the core's connection list
    io_lock_s* lock;  // taken while the request list is searched, and while closing
    io_core_s* core;
    io_interface_s* iface;            // this core's copy of the descriptor
    io_request_s* requests;           // queued requests, in queue order (guarded by the core lock)
    uint32_t mode;                    // IO_PASSIVE or IO_ACTIVE
    int handle;                       // socket or file descriptor
    int32_t timeout_ms;               // io_waitrequest's limit; -1 = none (-1 when opened)
    void* iface_data;                 // the interface's own per-connection record
    std::atomic<uint32_t> completed;  // completed requests still listed (a cheap pre-check)
};

// ---- request -------------------------------------------------------------------------------
// Created by io_createrequest and freed by io_freerequest, by its user; the core never frees
// one. The user sets kind, buffer, length and user before io_queue and reads result, done,
// flags and (for an accept) buffer after collecting it.
struct io_request_s {
    uint32_t kind;                // IO_READ, IO_WRITE, IO_ACCEPT
    void* buffer;                 // bytes to transfer; for an accept: receives the new io_conn_s*
                                  // (whatever it held is replaced; queue accepts with null)
    uint32_t length;              // bytes to transfer (io_queue sets 8 for an accept)
    void* user;                   // returned untouched with the completion
    uint32_t result;              // an IO_* code, valid once IO_FLAG_COMPLETED is set
    std::atomic<uint32_t> flags;  // IO_FLAG_*; read it freely (e.g. flags & IO_FLAG_QUEUED)
    io_conn_s* conn;              // the connection it is queued on
    io_request_s* next;           // in the connection's request list (core lock)
    uint32_t done;                // bytes done, valid once completed
    io_lock_s* lock;              // held by the interface's thread while the interface holds it
    io_semaphore_s* sem;          // released once when the request completes
    io_request_s* iface_next;     // the interface thread's own list of the requests it holds
    // A read with `partial` set completes as soon as some bytes are in (1 up to length)
    // instead of waiting for all of them; `done` says how many. Set by the user before
    // io_queue, which keeps it. Lets a reader take whatever has arrived with one request.
    bool partial;
    uint32_t iface_bits;  // the interface's own marks while the request is queued
};

// ---- core ----------------------------------------------------------------------------------
// Creates a core with its own copy of the built-in descriptor table. IO_OK, or IO_ENOMEM (no
// memory) / IO_EFAIL (semaphore or lock could not be made). The first io_init of the process
// creates the log lock.
int io_init(io_core_s** core);

// Test seam: as io_init, but the core copies `table` (ended by an IO_IF_END entry) instead of
// the built-in table. REQUIRES table to hold at most 8 descriptors.
int io_init_with(io_core_s** core, const io_interface_s* table);

// Closes every connection of the core, terminates every interface this core initialised,
// frees the core. REQUIRES no other thread still uses the core, its connections or
// requests queued on them (their locks are released; they are left idle).
void io_term(io_core_s* core);

// Opens a connection on the interface `type` (initialising that interface on first use in
// this core) with the interface's address record (TCP/IP: io_tcpip_addr_s). mode:
// IO_PASSIVE listens, IO_ACTIVE connects. IO_OK; IO_ENOIF for no such interface; IO_ENOMEM for
// memory; or the interface's init/open code (TCP/IP: IO_EADDRINUSE when the port is already in
// use).
int io_open(uint32_t mode, io_core_s* core, uint32_t type, const void* address, io_conn_s** conn);

// Closes the connection and frees it. Completed requests still listed on it are no longer
// collectable: the core's completion count drops by one per such request. Every request
// still listed is left idle (unlisted, no connection), so it may be freed or queued on
// another connection. Returns IO_OK.
int io_close(io_conn_s* conn);

// A zero-filled request with its lock and semaphore. IO_OK; IO_ENOMEM for memory; IO_EFAIL for
// the lock/semaphore.
int io_createrequest(io_request_s** req);
// Frees the request; one still queued is aborted first.
void io_freerequest(io_request_s* req);

// Queues a request (kind, buffer, length, user set by the caller). IO_OK; IO_EFAIL for an
// unknown kind, or the request is still queued (logged; the request is left untouched);
// IO_EINVAL for a null connection or request, or no buffer for a read/write of length > 0;
// IO_EINVOP for an accept on an active connection; or the interface's queue code.
// REQUIRES the buffer stays valid until the request is collected or aborted.
// An interface may complete the request before io_queue returns (TCP/IP does when the
// socket takes or gives all of it at once); it is then collected like any other.
int io_queue(io_conn_s* conn, io_request_s* req);

// Waits until some request of the core has completed and consumes one count of the
// completion semaphore; follow it with io_getrequest. A time-out from 0 up to 9999 us is
// raised to 10000 us (10 ms); a negative time-out waits without limit.
// IO_OK: a completion is pending; IO_ETIMEOUT for a time-out; IO_EFAIL for a failure.
// While it waits, the calling thread may run the interface's event loop itself (see
// io_interface_s::poll); requests then complete on this thread.
int io_wait(io_core_s* core, int64_t timeout_us);

// As io_wait, but for a short wait: the time-out is kept as given (microseconds, below 10 ms
// too; negative counts as 0), so that the caller can wait a fraction of a millisecond for
// what is about to arrive.
int io_waitbrief(io_core_s* core, int64_t timeout_us);

// Adds one count to the core's completion semaphore without a completed request, so that
// a thread waiting in io_wait (sleeping, or polling an interface) returns. Safe from any
// thread.
void io_wake(io_core_s* core);

// Collects a completed request: it is unlisted and idle again; its result, done and
// buffer are final. Connections are searched in list order but taken in turn (the search
// starts after the connection collected from last, so no busy client starves the others);
// within a connection requests come in queue order.
// IO_OK; IO_ENOREQ when nothing completed; or the remove/semaphore code.
// REQUIRES a count consumed by io_wait beforehand.
int io_getrequest(io_core_s* core, io_request_s** req);

// Waits for this request, using its connection's time-out (io_settimeout), and collects
// it. It takes one of the core's completion counts too, so a core whose completions are
// collected with io_wait/io_getrequest on one thread must not be waited on with
// io_waitrequest on another: either could take the count meant for the other. IO_OK (then
// see req->result); IO_ETIMEOUT for a time-out (the request stays queued: io_abort it before
// reusing it); or another code.
int io_waitrequest(io_request_s* req);

// Takes a queued request back (completed or not). IO_OK; IO_EFAIL when it is not queued
// (nothing changes); or the remove code.
int io_abort(io_request_s* req);

// io_waitrequest's limit for this connection in milliseconds; -1 = none.
void io_settimeout(io_conn_s* conn, int32_t ms);

// Set or clear the suspended flag; the interface passes a suspended request over.
void io_suspend(io_request_s* req);
void io_resume(io_request_s* req);

// ---- for interfaces only -------------------------------------------------------------------
// Stores the result, sets completed (and failed when result != IO_OK), clears active, releases
// the core's completion semaphore and the request's semaphore by one each.
void io_complete(io_request_s* req, uint32_t result);
// Appends the request to its connection's list under the core lock. IO_OK, or IO_EFAIL when
// it is already listed (logged).
int io_default_queue(void* context, io_conn_s* conn, io_request_s* req);
// Unlinks the request under the core lock and clears its active and queued flags.
// IO_OK, or IO_EFAIL when it is not listed.
int io_default_remove(void* context, io_request_s* req);
// Allocates a zero-filled connection record (lock included) for an interface's accept;
// null on failure. io_close frees it.
io_conn_s* io_newconn();
// Frees a connection record that never became visible to the core (an accept that failed).
void io_freeconn(io_conn_s* conn);
// Makes an accepted connection a connection of `core` (head of its list) without waiting
// for the core lock: safe from an interface's thread while the application thread holds
// the core lock. It becomes visible to io_getrequest/io_close/io_term at their next call.
void io_adoptconn(io_core_s* core, io_conn_s* conn);

// ---- texts, time, log ----------------------------------------------------------------------
// "(iolib) ..." text of a code; "(iolib) unknown error" for any code not in the table.
const char* io_strerror(int code);

// Sleeps the given milliseconds. IO_OK.
int io_sleep(int32_t ms);
// Wall clock in seconds and microseconds (millisecond resolution).
void io_gettime(int64_t* seconds, int64_t* microseconds);
// Microseconds since (seconds, microseconds) as given by io_gettime.
int64_t io_elapsed(int64_t seconds, int64_t microseconds);
// The arithmetic of io_elapsed, with the current time passed in:
// (now_s - s) * 1000000 + now_us - us.
int64_t io_elapsed_between(int64_t seconds, int64_t microseconds, int64_t now_seconds,
                           int64_t now_microseconds);
// Milliseconds that io_waitsemaphore waits for a time-out in microseconds: -1 (no limit)
// for a negative value, else the whole milliseconds contained (so under 1000 gives 0).
int64_t io_semaphore_wait_ms(int64_t timeout_us);
// Microseconds that io_wait passes on: negative stays negative, 0..9999 becomes 10000.
int64_t io_wait_timeout_us(int64_t timeout_us);

// Debug log: formats one line (cut to 1023 characters) under the process-wide log lock and
// hands it to the debug sink (the file named by WIRELAY_DEBUG_LOG; never the console).
void io_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// ---- semaphores and locks ------------------------------------------------------------------
// Counting semaphore. IO_OK, or IO_EFAIL.
int io_createsemaphore(io_semaphore_s** sem, int32_t initial, int32_t maximum);
// Waits for a count: see io_semaphore_wait_ms for the time-out. IO_OK; IO_ETIMEOUT for a
// time-out; IO_EFAIL for a failure.
int io_waitsemaphore(io_semaphore_s* sem, int64_t timeout_us);
// Adds `count`. IO_OK, or IO_EFAIL when the count would exceed the maximum (nothing added).
int io_signalsemaphore(io_semaphore_s* sem, int32_t count);
// Current count (diagnostics and tests).
int32_t io_semaphorecount(io_semaphore_s* sem);
void io_closesemaphore(io_semaphore_s* sem);

// Lock, not tied to a thread: a request's lock is taken by whichever thread runs the
// interface's loop when the request is handed over and let go by whichever runs it when the
// request completes. Not recursive. io_lock waits without limit. Each returns IO_OK,
// or IO_EFAIL (logged; io_unlock of a lock that is not taken is refused).
int io_createlock(io_lock_s** lock);
int io_lock(io_lock_s* lock);
int io_unlock(io_lock_s* lock);
void io_closelock(io_lock_s* lock);

// The core's completion semaphore (counts completed, uncollected requests).
io_semaphore_s* io_completionsemaphore(io_core_s* core);
