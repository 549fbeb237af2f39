// WakeupFd over a non-blocking eventfd: many signals collapse into one readable state.
#include "port/eventfd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace port {

WakeupFd::WakeupFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeupFd::~WakeupFd() {
    if (fd_ >= 0) ::close(fd_);
}

bool WakeupFd::Signal() {
    uint64_t one = 1;
    for (;;) {
        ssize_t n = ::write(fd_, &one, sizeof one);
        if (n == static_cast<ssize_t>(sizeof one)) return true;
        if (n < 0 && errno == EINTR) continue;
        // EAGAIN means the counter is saturated: it is readable already.
        return n < 0 && errno == EAGAIN;
    }
}

void WakeupFd::Drain() {
    uint64_t value = 0;
    while (::read(fd_, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

}  // namespace port
