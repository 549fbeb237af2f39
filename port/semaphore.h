// Counting semaphore with a timed wait, the one the transport's completion and
// acknowledgement hand-overs rely on. A waiter spins briefly before it blocks, because the
// count is usually released by the other thread within microseconds.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace port {

class Semaphore {
  public:
    // REQUIRES 0 <= initial <= maximum.
    Semaphore(int32_t initial, int32_t maximum);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Takes one count if there is one; never blocks.
    bool TryAcquire();
    // Takes one count, waiting at most timeout_ms milliseconds (negative: no limit; 0: only
    // try). false on time-out.
    bool Acquire(int64_t timeout_ms);
    // Adds `count` (> 0) and wakes waiters. false (and nothing added) when the count would
    // exceed the maximum.
    bool Release(int32_t count);
    // Current count; a snapshot for diagnostics.
    int32_t Count() const { return count_.load(std::memory_order_acquire); }

  private:
    bool SpinAcquire();

    std::atomic<int32_t> count_;
    const int32_t maximum_;
    std::atomic<int32_t> sleepers_{0};
    std::mutex mutex_;
    std::condition_variable wakeup_;
};

}  // namespace port
