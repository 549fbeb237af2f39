// Private records of the TCP/IP interface shared by its application-side operations
// (io_tcpip.cpp) and its socket thread (io_tcpip_thread.cpp).
#pragma once

#include <atomic>
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
    IO_TCPIP_CLOSE = 'C',          // synchronous
    IO_TCPIP_QUEUEREQUEST = 'r',
    IO_TCPIP_REMOVEREQUEST = 'R',  // synchronous
    IO_TCPIP_RESELECT = 's',       // a queued request was suspended or resumed
};

struct io_tcpip_cmd_s {
    char command;
    void* what;  // io_request_s* or io_conn_s*
};

// The socket thread's own record of one socket. Created with the connection (by open on
// the application thread before any command names it, or by accept on the socket thread);
// from then on touched only by the socket thread, which frees it after 'C'.
struct io_tcpip_sock_s {
    int fd = -1;
    io_conn_s* conn = nullptr;
    bool listening = false;
    io_request_s* held = nullptr;  // requests the thread holds (lock taken), queue order
    uint32_t applied = 0;          // poller selection in force
    bool registered = false;       // known to the poller
    bool dirty = false;            // selection must be recomputed before the next sleep
    bool peer_closed = false;      // the peer's end of stream was reported once
    bool hung_up = false;          // hangup or error reported: only requests may wake it
    bool closed = false;           // 'C' done; freed at the end of the current round
    bool paused = false;           // listening socket resting after resource exhaustion
    int64_t resume_at_ms = 0;      // steady clock, when paused
    io_tcpip_sock_s* dirty_next = nullptr;
};

struct io_tcpip_ctx_s {
    io_semaphore_s* ack = nullptr;    // once when the thread is ready, once per sync command
    io_lock_s* lock = nullptr;        // one synchronous command in flight at a time
    io_core_s* core = nullptr;
    std::thread thread;
    std::atomic<bool> died{false};    // the thread ended before it was ready
    port::WakeupFd wakeup;
    port::SocketPoller poller;

    std::mutex cmd_mutex;             // guards cmds and sleeping
    std::vector<io_tcpip_cmd_s> cmds;
    bool sleeping = false;            // the thread is (about to be) asleep in the poller

    // Socket thread only.
    std::vector<io_tcpip_cmd_s> batch;
    io_tcpip_sock_s* dirty = nullptr;
    std::vector<io_tcpip_sock_s*> paused;
    std::vector<io_tcpip_sock_s*> graveyard;
    int accept_error = 0;             // errno of the last failed accept
};

// Socket thread body.
void io_tcpip_thread(io_tcpip_ctx_s* ctx);

// Posts a command; wakes the thread only when it sleeps. 0, or 1 (logged).
int io_tcpip_sendcmd(io_tcpip_ctx_s* ctx, char command, void* what);

// Accepts one pending connection on `listening` into `newconn` (a record from io_newconn)
// and hands it to the core. 0; 8 nothing pending; 1 other failure (errno in
// ctx->accept_error); 2 memory.
int io_tcpip_accept(void* context, io_conn_s* listening, io_conn_s* newconn);

// Maps a socket errno: 0 -> 0, would block -> 8, address in use -> 10, else 1.
int io_tcpip_error(int error);
