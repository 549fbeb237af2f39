// The serial thread: sleeps on its wake-up descriptor and on the ports of the transfers that
// wait, runs the posted command, then moves what each port takes or gives. Per connection
// and direction only the oldest request it holds is worked on, so bytes keep queue order.
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "port/serial.h"
#include "wirelay/io_serial.h"
#include "wirelay/io_serial_internal.h"

namespace {

bool IsWrite(const io_request_s* r) {
    return r->kind == IO_WRITE;
}

// Unlinks `req` from the held list; false when the thread does not hold it.
bool Drop(io_serial_ctx_s* ctx, io_request_s* req) {
    for (io_request_s** p = &ctx->held; *p != nullptr; p = &(*p)->iface_next) {
        if (*p == req) {
            *p = req->iface_next;
            req->iface_next = nullptr;
            return true;
        }
    }
    return false;
}

void Hold(io_serial_ctx_s* ctx, io_request_s* req) {
    req->iface_next = nullptr;
    io_request_s** p = &ctx->held;
    while (*p != nullptr) p = &(*p)->iface_next;
    *p = req;
}

// Completes a held request and lets go of it.
void Finish(io_serial_ctx_s* ctx, io_request_s* req, uint32_t result) {
    Drop(ctx, req);
    io_complete(req, result);
    io_unlock(req->lock);
}

// True when `req` is the oldest held request of its connection and direction.
bool IsFirstOfItsKind(const io_serial_ctx_s* ctx, const io_request_s* req) {
    for (const io_request_s* r = ctx->held; r != req; r = r->iface_next) {
        if (r->conn == req->conn && IsWrite(r) == IsWrite(req)) return false;
    }
    return true;
}

// One step of a transfer; true when it still waits for its port.
bool Step(io_serial_ctx_s* ctx, io_request_s* req, bool hung_up) {
    const int fd = req->conn->handle;
    char* at = static_cast<char*>(req->buffer) + req->done;
    const uint32_t left = req->length - req->done;
    if (req->kind == IO_READ) {
        const int64_t n = left > 0 ? port::SerialRead(fd, at, left) : 0;
        if (n < 0) {
            Finish(ctx, req, IO_EFAIL);
        } else if (n > 0 || !req->partial || left == 0) {
            req->done += static_cast<uint32_t>(n);
            Finish(ctx, req, IO_OK);
        } else if (hung_up) {
            Finish(ctx, req, IO_EBROKEN);
        } else {
            return true;
        }
        return false;
    }
    if (req->kind == IO_WRITE) {
        while (req->done < req->length) {
            const int64_t n = port::SerialWrite(fd, static_cast<char*>(req->buffer) + req->done,
                                                req->length - req->done);
            if (n < 0) {
                Finish(ctx, req, IO_EFAIL);
                return false;
            }
            if (n == 0) {
                if (!hung_up) return true;
                Finish(ctx, req, IO_EBROKEN);
                return false;
            }
            req->done += static_cast<uint32_t>(n);
        }
        Finish(ctx, req, IO_OK);
        return false;
    }
    Finish(ctx, req, IO_EFAIL);  // accepts and unknown kinds have no transfer
    return false;
}

// Works on every request that may move now; fills `wait` with the ports of those that
// still wait (the wake-up descriptor stays entry 0).
void Serve(io_serial_ctx_s* ctx, std::vector<port::SerialWaitEntry>* wait,
           const std::vector<int>& hung_up) {
    wait->resize(1);
    for (io_request_s* r = ctx->held; r != nullptr;) {
        io_request_s* next = r->iface_next;
        if (!(r->flags.load() & IO_FLAG_SUSPENDED) && IsFirstOfItsKind(ctx, r)) {
            const int fd = r->conn->handle;
            bool down = false;
            for (int h : hung_up) down = down || h == fd;
            if (Step(ctx, r, down)) {
                wait->push_back(port::SerialWaitEntry{fd, r->kind == IO_READ, r->kind == IO_WRITE,
                                                      false, false, false});
            }
        }
        r = next;
    }
}

// Runs the posted command. false after IO_SERIALCMD_QUIT.
bool RunCommand(io_serial_ctx_s* ctx) {
    uint32_t command;
    void* what;
    {
        std::lock_guard<std::mutex> guard(ctx->slot_mutex);
        if (!ctx->posted) return true;  // a wake-up without a command (a resumed request)
        ctx->posted = false;
        command = ctx->command;
        what = ctx->what;
        ctx->what = nullptr;
    }
    switch (command) {
        case IO_SERIALCMD_QUEUE: {
            auto* req = static_cast<io_request_s*>(what);
            const int rc = io_lock(req->lock);
            if (rc == IO_OK) {
                Hold(ctx, req);
            } else {
                io_log("io_serial_thread: IO_SERIALCMD_QUEUE: io_lock failed, error = %d!\n", rc);
            }
            break;
        }
        case IO_SERIALCMD_REMOVE: {
            // Dropping it ends its transfer: nothing touches the request or its buffer
            // after the acknowledgement.
            auto* req = static_cast<io_request_s*>(what);
            if (Drop(ctx, req)) io_unlock(req->lock);
            break;
        }
        case IO_SERIALCMD_CLOSE: {
            auto* conn = static_cast<io_conn_s*>(what);
            for (io_request_s* r = ctx->held; r != nullptr;) {
                io_request_s* next = r->iface_next;
                if (r->conn == conn && Drop(ctx, r)) io_unlock(r->lock);
                r = next;
            }
            break;
        }
        case IO_SERIALCMD_QUIT:
            io_log("io_serial_thread: IO_SERIALCMD_QUIT\n");
            return false;
        default:
            io_log("io_serial_thread: unknown cmd %d\n", static_cast<int>(command));
            break;
    }
    io_signalsemaphore(ctx->ack, 1);
    return true;
}

}  // namespace

void io_serial_thread(io_serial_ctx_s* ctx) {
    std::vector<port::SerialWaitEntry> wait;
    std::vector<int> hung_up;
    wait.reserve(8);
    hung_up.reserve(8);
    io_signalsemaphore(ctx->ack, 1);
    for (;;) {
        Serve(ctx, &wait, hung_up);
        wait[0] = port::SerialWaitEntry{ctx->wakeup.Fd(), true, false, false, false, false};
        const int n = port::SerialWait(wait.data(), wait.size(), -1);
        if (n < 0) {
            // The thread cannot sleep any more, and requests it holds would never complete.
            io_log("io_serial_thread: WaitForSingleObject returned %d\n", errno);
            std::abort();
        }
        hung_up.clear();
        for (size_t i = 1; i < wait.size(); ++i) {
            if (wait[i].hung_up) hung_up.push_back(wait[i].fd);
        }
        if (wait[0].readable) {
            ctx->wakeup.Drain();
            if (!RunCommand(ctx)) return;
        }
    }
}
