// Semaphores and locks of the I/O core: thin handles over the platform's counting semaphore,
// with the transport's codes and diagnostic lines on failure.
#include <new>

#include "port/semaphore.h"
#include "wirelay/io_core.h"

struct io_semaphore_s {
    port::Semaphore sem;
    io_semaphore_s(int32_t initial, int32_t maximum) : sem(initial, maximum) {}
};

// A binary semaphore rather than a mutex: a mutex must be unlocked by the thread that locked
// it, and a request's lock changes threads with the interface's loop.
struct io_lock_s {
    port::Semaphore sem{1, 1};
};

int io_createsemaphore(io_semaphore_s** sem, int32_t initial, int32_t maximum) {
    *sem = nullptr;
    if (initial < 0 || maximum < 1 || initial > maximum) return IO_EFAIL;
    *sem = new (std::nothrow) io_semaphore_s(initial, maximum);
    return *sem != nullptr ? IO_OK : IO_EFAIL;
}

int io_waitsemaphore(io_semaphore_s* sem, int64_t timeout_us) {
    if (sem == nullptr) {
        io_log("io_waitsemaphore: WaitForSingleObject failed, %ld\n", -1L);
        return IO_EFAIL;
    }
    return sem->sem.Acquire(io_semaphore_wait_ms(timeout_us)) ? IO_OK : IO_ETIMEOUT;
}

int io_signalsemaphore(io_semaphore_s* sem, int32_t count) {
    if (sem == nullptr) return IO_EFAIL;
    return sem->sem.Release(count) ? IO_OK : IO_EFAIL;
}

int32_t io_semaphorecount(io_semaphore_s* sem) {
    return sem != nullptr ? sem->sem.Count() : 0;
}

void io_closesemaphore(io_semaphore_s* sem) {
    delete sem;
}

int io_createlock(io_lock_s** lock) {
    *lock = new (std::nothrow) io_lock_s;
    return *lock != nullptr ? IO_OK : IO_EFAIL;
}

int io_lock(io_lock_s* lock) {
    if (lock == nullptr) {
        io_log("io_lock: WaitForSingleObject failed, %ld\n", -1L);
        return IO_EFAIL;
    }
    lock->sem.Acquire(-1);
    return IO_OK;
}

int io_unlock(io_lock_s* lock) {
    if (lock == nullptr) {
        io_log("io_unlock: ReleaseMutex failed\n");
        return IO_EFAIL;
    }
    if (!lock->sem.Release(1)) {
        io_log("io_unlock: ReleaseMutex failed\n");
        return IO_EFAIL;
    }
    return IO_OK;
}

void io_closelock(io_lock_s* lock) {
    delete lock;
}
