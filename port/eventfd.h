// Wake-up object for a thread that sleeps in a poller: any thread signals it, the sleeping
// thread sees its descriptor become readable and drains it.
#pragma once

namespace port {

class WakeupFd {
  public:
    WakeupFd();  // check Valid()
    ~WakeupFd();
    WakeupFd(const WakeupFd&) = delete;
    WakeupFd& operator=(const WakeupFd&) = delete;

    bool Valid() const { return fd_ >= 0; }
    // The descriptor to watch for readability.
    int Fd() const { return fd_; }
    // Makes the descriptor readable until Drain. Safe from any thread. false on failure.
    bool Signal();
    // Clears the signalled state. Call from the watching thread.
    void Drain();

  private:
    int fd_;
};

}  // namespace port
