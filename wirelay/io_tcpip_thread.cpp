// Who runs the TCP/IP interface's event loop. Normally the socket thread does; but a thread
// that waits for a completion (the message server's loop, a client waiting for its answer)
// runs the rounds itself while it waits, so that a completion costs no thread switch. The
// socket thread stands by meanwhile, and for a short while after the waiter lets go, since
// under load the waiter is back within microseconds; then it takes the loop back, so that
// requests keep completing while nobody waits.
#include <algorithm>
#include <chrono>
#include <climits>

#include "wirelay/io_tcpip_internal.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long the socket thread stands by after a waiter let go of the loop. Longer saves
// more hand-overs under load; it is also the longest a request queued by a thread that
// does not wait may sit before the socket thread looks at it.
constexpr auto kStandby = std::chrono::milliseconds(2);

// The loop this thread is running rounds of, if any: its own completions need no wake-up.
thread_local const io_tcpip_ctx_s* t_running = nullptr;

io_tcpip_ctx_s* Ctx(void* context) {
    return static_cast<io_tcpip_ctx_s*>(context);
}

// Wakes the loop's runner when it sleeps in the poller. REQUIRES cmd_mutex not held.
void WakeSleeper(io_tcpip_ctx_s* ctx) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(ctx->cmd_mutex);
        wake = ctx->sleeping;
        ctx->sleeping = false;
    }
    if (wake && !ctx->wakeup.Signal()) io_log("io_tcpip_wake: signal failed\n");
}

// The socket thread's turn: it waits while a waiter runs the loop or wants it, and while
// the last waiter let go less than kStandby ago -- unless commands wait that nobody else
// may run soon, or the interface is ending.
void TakeForSocketThread(io_tcpip_ctx_s* ctx) {
    std::unique_lock<std::mutex> lock(ctx->loop_mutex);
    for (;;) {
        if (ctx->owner == io_tcpip_owner::kNone) {
            if (ctx->quit.load()) break;
            if (ctx->waiters_queued.load() == 0) {
                const Clock::time_point until = ctx->waiter_left + kStandby;
                if (ctx->kicked || Clock::now() >= until) break;
                ctx->socket_cv.wait_until(lock, until);
                continue;
            }
        }
        // Whoever lets go next notifies: no timed wake-ups while a waiter sleeps in the
        // poller of an idle server.
        ctx->standby_untimed = true;
        ctx->socket_cv.wait(lock);
        ctx->standby_untimed = false;
    }
    ctx->kicked = false;
    ctx->owner = io_tcpip_owner::kSocketThread;
}

void ReleaseFromSocketThread(io_tcpip_ctx_s* ctx) {
    std::lock_guard<std::mutex> guard(ctx->loop_mutex);
    ctx->owner = io_tcpip_owner::kNone;
    if (ctx->waiters_queued.load() > 0) ctx->waiter_cv.notify_all();
}

// A waiter's turn. false when another waiter runs the loop (this one then sleeps on its
// semaphore) or the interface is ending.
bool TakeForWaiter(io_tcpip_ctx_s* ctx) {
    std::unique_lock<std::mutex> lock(ctx->loop_mutex);
    if (ctx->owner == io_tcpip_owner::kSocketThread && !ctx->quit.load()) {
        // Queued before the wake-up: a runner between rounds sees the queue and does not
        // sleep; one asleep already is woken.
        ctx->waiters_queued.fetch_add(1);
        WakeSleeper(ctx);
        ctx->waiter_cv.wait(lock, [ctx] { return ctx->owner != io_tcpip_owner::kSocketThread; });
        ctx->waiters_queued.fetch_sub(1);
    }
    if (ctx->owner != io_tcpip_owner::kNone || ctx->quit.load()) {
        ++ctx->refused;
        return false;
    }
    ctx->owner = io_tcpip_owner::kWaiter;
    ctx->refused = 0;
    return true;
}

void ReleaseFromWaiter(io_tcpip_ctx_s* ctx) {
    std::lock_guard<std::mutex> guard(ctx->loop_mutex);
    bool pending;
    {
        std::lock_guard<std::mutex> cmd_guard(ctx->cmd_mutex);
        pending = !ctx->cmds.empty();
    }
    ctx->owner = io_tcpip_owner::kNone;
    ctx->waiter_left = Clock::now();
    // Commands posted after the last round, and waiters turned away meanwhile (they sleep on
    // their semaphores now), must not wait for the stand-by to end.
    if (pending || ctx->refused > 0) ctx->kicked = true;
    if (ctx->kicked || ctx->standby_untimed || ctx->quit.load()) ctx->socket_cv.notify_one();
}

int64_t RoundTimeout(bool limited, Clock::time_point deadline) {
    if (!limited) return -1;
    const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - Clock::now());
    return std::max<int64_t>(left.count(), 0);
}

}  // namespace

void io_tcpip_thread(io_tcpip_ctx_s* ctx) {
    // A null data pointer marks the wake-up descriptor.
    if (!ctx->poller.Add(ctx->wakeup.Fd(), port::kPollReadable, nullptr)) {
        io_log("io_tcpip_thread: CreateWindow failed: %d\n", errno);
        ctx->died.store(true);
        io_signalsemaphore(ctx->ack, 1);
        return;
    }
    io_signalsemaphore(ctx->ack, 1);  // ready

    t_running = ctx;
    for (;;) {
        TakeForSocketThread(ctx);
        if (ctx->quit.load()) break;
        if (io_tcpip_round(ctx, -1, nullptr)) ctx->quit.store(true);
        ReleaseFromSocketThread(ctx);
    }
    io_tcpip_finish(ctx);
    ReleaseFromSocketThread(ctx);
    t_running = nullptr;
}

bool io_tcpip_poll(void* context, io_semaphore_s* until, int64_t timeout_us) {
    io_tcpip_ctx_s* ctx = Ctx(context);
    if (!TakeForWaiter(ctx)) return false;
    t_running = ctx;
    const bool limited = timeout_us >= 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::microseconds(limited ? timeout_us : 0);
    bool ran = true;
    for (;;) {
        if (io_tcpip_round(ctx, RoundTimeout(limited, deadline), until)) {
            ctx->quit.store(true);
            ran = false;
            break;
        }
        if (io_semaphorecount(until) > 0) break;
        if (limited && Clock::now() >= deadline) break;
    }
    t_running = nullptr;
    ReleaseFromWaiter(ctx);
    return ran;
}

void io_tcpip_wake(void* context) {
    io_tcpip_ctx_s* ctx = Ctx(context);
    if (t_running == ctx) return;  // the runner looks at its semaphore after every round
    WakeSleeper(ctx);
}

void io_tcpip_kick(io_tcpip_ctx_s* ctx) {
    std::lock_guard<std::mutex> guard(ctx->loop_mutex);
    // A runner sees the command: it was woken by its posting, or takes it in its next round
    // (a waiter that lets go first finds it pending and kicks then).
    if (ctx->owner != io_tcpip_owner::kNone) return;
    ctx->kicked = true;
    ctx->socket_cv.notify_one();
}
