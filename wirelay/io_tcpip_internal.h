// Private records of the TCP/IP interface shared by its application-side operations
// (io_tcpip.cpp) and its socket thread (io_tcpip_thread.cpp).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "port/eventfd.h"
#include "port/socket_poller.h"
#include "wirelay/io_core.h"

// Command characters posted to the socket thread.
enum : char {
    IO_TCPIP_QUIT = 'q',
    IO_TCPIP_CLOSE = 'C',  // synchronous
    IO_TCPIP_QUEUEREQUEST = 'r',
    IO_TCPIP_REMOVEREQUEST = 'R',  // synchronous
    IO_TCPIP_RESELECT = 's',       // a queued request was suspended or resumed
};

struct io_tcpip_cmd_s {
    char command;
    void* what;  // io_request_s* or io_conn_s*
};

// io_request_s::iface_bits of the TCP/IP interface.
enum : uint32_t {
    // The queueing thread found the socket not ready a moment ago (it tried the transfer,
    // or the last read drained the socket): the socket thread waits for a readiness report
    // instead of trying once more at once.
    IO_TCPIP_NOT_READY = 0x1,
};

// The socket thread's own record of one socket. Created with the connection (by open on
// the application thread before any command names it, or by accept on the socket thread);
// from then on touched only by the socket thread, which frees it after 'C' -- except for
// the atomics and queue_mutex, which the queueing threads use too.
struct io_tcpip_sock_s {
    int fd = -1;
    io_conn_s* conn = nullptr;
    bool listening = false;
    io_request_s* held = nullptr;  // requests the thread holds (lock taken), queue order
    // Poller selection in force. Written by the socket thread before it sleeps; read by
    // queueing threads under the command mutex to decide whether a new request needs a
    // wake-up (it does not when the thread already waits for what the request needs).
    std::atomic<uint32_t> applied{0};
    // Requests handed to the socket thread and not yet let go by it, per direction (reads
    // and accepts, writes). A queueing thread transfers on its own only while the thread
    // holds nothing of that direction, so bytes never overtake an earlier request.
    std::atomic<uint32_t> reads_held{0};
    std::atomic<uint32_t> writes_held{0};
    // The last recv came up short: the socket was drained then, so the next read is handed
    // to the socket thread without a recv that would only say "would block".
    std::atomic<bool> drained{false};
    // Serialises the queueing threads' own transfers and hand-overs on this socket.
    std::mutex queue_mutex;
    // Readable was reported while no read was held: the kept read interest is dropped
    // (level triggering would report it again and again) unless a read takes it.
    bool unserved_read = false;
    bool registered = false;   // known to the poller
    bool dirty = false;        // selection must be recomputed before the next sleep
    bool peer_closed = false;  // the peer's end of stream was reported once
    bool hung_up = false;      // hangup or error reported: only requests may wake it
    bool closed = false;       // 'C' done; freed at the end of the current round
    bool paused = false;       // listening socket resting after resource exhaustion
    int64_t resume_at_ms = 0;  // steady clock, when paused
    io_tcpip_sock_s* dirty_next = nullptr;
};

// Who runs the loop's rounds (io_tcpip_round) at the moment: nobody, the socket thread, or
// an application thread that waits in io_wait/io_waitrequest (io_tcpip_poll).
enum class io_tcpip_owner { kNone, kSocketThread, kWaiter };

struct io_tcpip_ctx_s {
    io_semaphore_s* ack = nullptr;  // once when the thread is ready, once per sync command
    io_lock_s* lock = nullptr;      // one synchronous command in flight at a time
    io_core_s* core = nullptr;
    std::thread thread;
    std::atomic<bool> died{false};  // the thread ended before it was ready
    port::WakeupFd wakeup;
    port::SocketPoller poller;

    std::mutex cmd_mutex;  // guards cmds and sleeping
    std::vector<io_tcpip_cmd_s> cmds;
    bool sleeping = false;  // the loop's runner is (about to be) asleep in the poller

    // Ownership of the loop (io_tcpip_thread.cpp); guarded by loop_mutex, which may be held
    // while cmd_mutex is taken, never the other way round.
    std::mutex loop_mutex;
    io_tcpip_owner owner = io_tcpip_owner::kNone;
    std::condition_variable socket_cv;  // the socket thread stands by here
    std::condition_variable waiter_cv;  // waiters wait here for the socket thread to let go
    // Waiters that wait for the socket thread to let go; a runner does not sleep meanwhile.
    std::atomic<int> waiters_queued{0};
    int refused = 0;               // waiters turned away while a waiter ran the loop
    bool standby_untimed = false;  // the socket thread waits for a notification only
    bool kicked = false;           // commands wait that nobody may run soon: take over now
    std::chrono::steady_clock::time_point waiter_left{};  // when a waiter last let go
    std::atomic<bool> quit{false};                        // 'q' has been run

    // Whoever runs the loop (the owner) only.
    std::vector<io_tcpip_cmd_s> batch;
    io_tcpip_sock_s* dirty = nullptr;
    std::vector<io_tcpip_sock_s*> paused;
    std::vector<io_tcpip_sock_s*> graveyard;
    int accept_error = 0;  // errno of the last failed accept
};

// Socket thread body.
void io_tcpip_thread(io_tcpip_ctx_s* ctx);

// One round of the loop: selections applied, at most one sleep in the poller (at most
// timeout_us microseconds, negative: no limit; none while commands wait, while a waiter
// wants the loop, or once `until` has a count), then the commands and the readiness
// reports. true when 'q' was among the commands. REQUIRES the caller owns the loop.
bool io_tcpip_round(io_tcpip_ctx_s* ctx, int64_t timeout_us, io_semaphore_s* until);

// The last selections and frees after 'q'. REQUIRES the caller owns the loop.
void io_tcpip_finish(io_tcpip_ctx_s* ctx);

// The interface's poll and wake (see io_interface_s).
bool io_tcpip_poll(void* context, io_semaphore_s* until, int64_t timeout_us);
void io_tcpip_wake(void* context);

// A command that somebody waits for (a synchronous one, or 'q') has been posted: when
// nobody runs the loop, the socket thread takes it over at once instead of standing by.
void io_tcpip_kick(io_tcpip_ctx_s* ctx);

// Posts a command; wakes the thread only when it sleeps. IO_OK, or IO_EFAIL (logged).
// With `sock` and `need` (kPoll* bits): no wake-up either when the sleeping thread already
// waits for `need` on that socket; the readiness report wakes it, and it runs the
// commands before it sleeps again.
int io_tcpip_sendcmd(io_tcpip_ctx_s* ctx, char command, void* what,
                     const io_tcpip_sock_s* sock = nullptr, uint32_t need = 0);

// Accepts one pending connection on `listening` into `newconn` (a record from io_newconn)
// and hands it to the core. IO_OK; IO_EWOULDBLOCK when nothing is pending; IO_EFAIL for
// another failure (errno in ctx->accept_error); IO_ENOMEM for memory.
int io_tcpip_accept(void* context, io_conn_s* listening, io_conn_s* newconn);

// Maps a socket errno: 0 -> IO_OK, would block -> IO_EWOULDBLOCK, address in use ->
// IO_EADDRINUSE, else IO_EFAIL.
int io_tcpip_error(int error);
