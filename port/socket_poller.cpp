// SocketPoller over a level-triggered epoll instance.
#include "port/socket_poller.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

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

int SocketPoller::Wait(PollEvent* out, int max, int timeout_ms) {
    epoll_event evs[kBatch];
    if (max > kBatch) max = kBatch;
    int n = ::epoll_wait(fd_, evs, max, timeout_ms);
    if (n < 0) return errno == EINTR ? 0 : -1;
    for (int i = 0; i < n; ++i) {
        out[i].events = FromEpoll(evs[i].events);
        out[i].data = evs[i].data.ptr;
    }
    return n;
}

}  // namespace port
