// Level-triggered readiness poller over many sockets: the socket thread's one place to
// sleep. A descriptor is reported for as long as a selected condition holds, so the caller
// selects exactly the conditions it has work for.
#pragma once

#include <cstdint>

namespace port {

enum : uint32_t {
    kPollReadable = 0x1,  // data, a pending connection, or end of stream
    kPollWritable = 0x2,
    kPollPeerClosed = 0x4,  // the peer shut its sending side (selectable)
    kPollHangup = 0x8,      // both directions closed (always reported)
    kPollError = 0x10,      // pending socket error (always reported)
};

struct PollEvent {
    uint32_t events;  // kPoll* bits
    void* data;       // as given to Add/Modify
};

class SocketPoller {
  public:
    SocketPoller();  // check Valid()
    ~SocketPoller();
    SocketPoller(const SocketPoller&) = delete;
    SocketPoller& operator=(const SocketPoller&) = delete;

    bool Valid() const { return fd_ >= 0; }
    // Start, change or stop watching `fd` for the selectable bits in `events`.
    // Hangup and error are reported whenever the descriptor is watched.
    bool Add(int fd, uint32_t events, void* data);
    bool Modify(int fd, uint32_t events, void* data);
    bool Remove(int fd);
    // Waits up to timeout_us microseconds (negative: no limit) and fills at most `max`
    // events. Returns the count (0 on time-out or interruption), -1 on failure.
    int Wait(PollEvent* out, int max, int64_t timeout_us);

  private:
    int fd_;
};

}  // namespace port
