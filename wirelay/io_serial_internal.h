// Private records of the serial interface shared by its application-side operations
// (io_serial.cpp) and its serial thread (io_serial_thread.cpp).
#pragma once

#include <cstdint>
#include <mutex>
#include <thread>

#include "port/eventfd.h"
#include "wirelay/io_core.h"

struct io_serial_ctx_s {
    io_core_s* core = nullptr;
    // The command slot belongs to one sender from storing its command until the thread has
    // acknowledged it, so that no sender takes another's acknowledgement.
    io_lock_s* lock = nullptr;
    io_semaphore_s* ack = nullptr;  // once when the thread is ready, once per command
    port::WakeupFd wakeup;          // a command is posted, or a request was resumed
    std::thread thread;

    std::mutex slot_mutex;  // hands the slot's contents to the thread
    bool posted = false;
    uint32_t command = 0;
    void* what = nullptr;  // io_request_s* or io_conn_s*

    // The serial thread's own list of the requests it holds (their locks taken), in queue
    // order, linked through io_request_s::iface_next.
    io_request_s* held = nullptr;
};

// Serial thread body: acknowledges once when ready, then serves commands and transfers
// until IO_SERIALCMD_QUIT.
void io_serial_thread(io_serial_ctx_s* ctx);
