// Serial interface, application side: starting and ending the serial thread, opening and
// closing ports, and handing requests to the thread through the command slot. A request
// is listed on its connection before the thread may start its transfer, and taken back
// only after the thread has dropped it, so a transfer never outlives its listing.
#include "wirelay/io_serial.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "port/serial.h"
#include "port/thread.h"
#include "wirelay/io_serial_internal.h"

namespace {

io_serial_ctx_s* Ctx(void* context) {
    return static_cast<io_serial_ctx_s*>(context);
}

void FreeContext(io_serial_ctx_s* ctx) {
    io_closesemaphore(ctx->ack);
    io_closelock(ctx->lock);
    delete ctx;
}

// Stores a command in the slot, wakes the thread and (unless `wait` is false) waits for its
// acknowledgement, all while holding the slot.
int SendCommand(io_serial_ctx_s* ctx, uint32_t command, void* what, bool wait) {
    int rc = io_lock(ctx->lock);
    if (rc != IO_OK) return rc;
    {
        std::lock_guard<std::mutex> guard(ctx->slot_mutex);
        ctx->command = command;
        ctx->what = what;
        ctx->posted = true;
    }
    if (!ctx->wakeup.Signal()) {
        std::lock_guard<std::mutex> guard(ctx->slot_mutex);
        ctx->posted = false;
        io_log("io_serial_sendcmd: wake-up failed for cmd %u\n", command);
        io_unlock(ctx->lock);
        return IO_EFAIL;
    }
    if (wait) {
        rc = io_waitsemaphore(ctx->ack, IO_INFINITE);
        if (rc != IO_OK) io_log("io_serial_sendcmd: io_waitsemaphore returned %d\n", rc);
    }
    io_unlock(ctx->lock);
    return rc;
}

int io_serial_init(io_core_s* core, void** context, io_interface_s*, const void*) {
    *context = nullptr;
    io_serial_ctx_s* ctx = new (std::nothrow) io_serial_ctx_s;
    if (ctx == nullptr) return IO_ENOMEM;
    ctx->core = core;
    int rc = io_createlock(&ctx->lock);
    if (rc == IO_OK) rc = io_createsemaphore(&ctx->ack, 0, 0x7fffffff);
    if (rc == IO_OK && !ctx->wakeup.Valid()) rc = IO_EFAIL;
    if (rc != IO_OK) {
        FreeContext(ctx);
        return rc;
    }
    ctx->thread = port::StartThread([ctx] { io_serial_thread(ctx); }, false, nullptr);
    if (!ctx->thread.joinable()) {
        FreeContext(ctx);
        return IO_EFAIL;
    }
    rc = io_waitsemaphore(ctx->ack, IO_INFINITE);
    if (rc != IO_OK) {
        // The thread's state is unknown: nothing can be released safely.
        io_log("io_serial_init: io_waitsemaphore returned %d\n", rc);
        std::abort();
    }
    *context = ctx;
    return IO_OK;
}

void io_serial_term(io_core_s*, void* context, io_interface_s*) {
    io_serial_ctx_s* ctx = Ctx(context);
    if (ctx == nullptr) return;
    SendCommand(ctx, IO_SERIALCMD_QUIT, nullptr, false);
    if (ctx->thread.joinable()) ctx->thread.join();
    FreeContext(ctx);
}

int io_serial_open(void*, uint32_t, const void* address, io_conn_s* conn) {
    const auto* addr = static_cast<const io_serial_addr_s*>(address);
    if (addr == nullptr || std::memchr(addr->device, '\0', sizeof addr->device) == nullptr) {
        return IO_EINVAL;
    }
    const port::SerialSettings settings{addr->baud, addr->bytesize, addr->parity, addr->stopbits};
    // Refused before the device is opened, so a bad setting never disturbs the line.
    if (port::SerialCheckSettings(settings) != port::SerialCheck::kOk) return IO_EINVAL;
    const int fd = port::SerialOpen(addr->device);
    if (fd < 0) return IO_EFAIL;
    if (!port::SerialConfigure(fd, settings)) {
        port::SerialClose(fd);
        return IO_EFAIL;
    }
    conn->handle = fd;
    return IO_OK;
}

int io_serial_accept(void*, io_conn_s*, io_conn_s*) {
    return IO_EINVOP;
}

// The thread drops the connection's requests before the port closes, so it never touches
// a closed (or reused) descriptor.
void io_serial_close(void* context, io_conn_s* conn) {
    SendCommand(Ctx(context), IO_SERIALCMD_CLOSE, conn, true);
    port::SerialClose(conn->handle);
    conn->handle = -1;
}

// Listed first, started only once listed: a request queued twice is refused here and never
// gets a second transfer into the same buffer.
int io_serial_queue(void* context, io_conn_s* conn, io_request_s* req) {
    int rc = io_default_queue(context, conn, req);
    if (rc != IO_OK) return rc;
    rc = SendCommand(Ctx(context), IO_SERIALCMD_QUEUE, req, true);
    if (rc != IO_OK) io_default_remove(context, req);
    return rc;
}

// A completed request was dropped by the thread when it completed (its lock is released
// right after); one still in progress is dropped by the thread before the acknowledgement,
// so its buffer is free to go once this returns.
int io_serial_remove(void* context, io_request_s* req) {
    if (!(req->flags.load() & IO_FLAG_COMPLETED)) {
        const int rc = SendCommand(Ctx(context), IO_SERIALCMD_REMOVE, req, true);
        if (rc != IO_OK) return rc;
    }
    return io_default_remove(context, req);
}

// A suspended request was resumed: the thread looks at its work again.
void io_serial_reselect(void* context, io_request_s*) {
    Ctx(context)->wakeup.Signal();
}

// Every transfer goes through requests; a negative result says none took place.
int64_t io_serial_recv(void*, io_conn_s*, void*, uint32_t) {
    return -IO_EINVOP;
}

int64_t io_serial_send(void*, io_conn_s*, const void*, uint32_t) {
    return -IO_EINVOP;
}

}  // namespace

const io_interface_s io_serial_interface = {
    .type = IO_IF_SERIAL,
    .initialised = 0,
    .context = nullptr,
    .init = io_serial_init,
    .term = io_serial_term,
    .open = io_serial_open,
    .accept = io_serial_accept,
    .close = io_serial_close,
    .queue = io_serial_queue,
    .remove = io_serial_remove,
    .recv = io_serial_recv,
    .send = io_serial_send,
    .reselect = io_serial_reselect,
    .poll = nullptr,
    .wake = nullptr,
};
