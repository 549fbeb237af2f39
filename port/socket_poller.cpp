// SocketPoller over a level-triggered epoll instance.
#include "port/socket_poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

namespace port {

namespace {
uint32_t ToEpoll(uint32_t events) {
    uint32_t e = 0;
    if (events & kPollReadable) e |= EPOLLIN;
    if (events & kPollWritable) e |= EPOLLOUT;
    if (events & kPollPeerClosed) e |= EPOLLRDHUP;
    return e;
}

uint32_t FromEpoll(uint32_t e) {
    uint32_t events = 0;
    if (e & EPOLLIN) events |= kPollReadable;
    if (e & EPOLLOUT) events |= kPollWritable;
    if (e & EPOLLRDHUP) events |= kPollPeerClosed;
    if (e & EPOLLHUP) events |= kPollHangup;
    if (e & EPOLLERR) events |= kPollError;
    return events;
}

constexpr int kBatch = 64;
}  // namespace

SocketPoller::SocketPoller() : fd_(::epoll_create1(EPOLL_CLOEXEC)) {}

SocketPoller::~SocketPoller() {
    if (fd_ >= 0) ::close(fd_);
}

bool SocketPoller::Add(int fd, uint32_t events, void* data) {
    epoll_event ev{};
    ev.events = ToEpoll(events);
    ev.data.ptr = data;
    return ::epoll_ctl(fd_, EPOLL_CTL_ADD, fd, &ev) == 0;
}

bool SocketPoller::Modify(int fd, uint32_t events, void* data) {
    epoll_event ev{};
    ev.events = ToEpoll(events);
    ev.data.ptr = data;
    return ::epoll_ctl(fd_, EPOLL_CTL_MOD, fd, &ev) == 0;
}

bool SocketPoller::Remove(int fd) {
    epoll_event ev{};
    return ::epoll_ctl(fd_, EPOLL_CTL_DEL, fd, &ev) == 0;
}

int SocketPoller::Wait(PollEvent* out, int max, int64_t timeout_us) {
    epoll_event evs[kBatch];
    if (max > kBatch) max = kBatch;
    int n;
    if (timeout_us < 0 || timeout_us % 1000 == 0) {
        const int64_t ms = timeout_us < 0 ? -1 : std::min<int64_t>(timeout_us / 1000, INT_MAX);
        n = ::epoll_wait(fd_, evs, max, static_cast<int>(ms));
    } else {
        // A wait shorter than a millisecond (a server gathering the next requests before a
        // disk flush) needs the finer clock.
        const timespec limit{static_cast<time_t>(timeout_us / 1000000),
                             static_cast<long>(timeout_us % 1000000) * 1000};
        n = ::epoll_pwait2(fd_, evs, max, &limit, nullptr);
    }
    if (n < 0) return errno == EINTR ? 0 : -1;
    for (int i = 0; i < n; ++i) {
        out[i].events = FromEpoll(evs[i].events);
        out[i].data = evs[i].data.ptr;
    }
    return n;
}

}  // namespace port
