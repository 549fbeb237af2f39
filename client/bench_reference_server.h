// The reference server of qm_bench: a minimal single-threaded epoll loop that answers an
// identify frame with its 88-byte reply and every request frame with one write of an
// acknowledgement plus a reply (88 + 88 + payload bytes). It does no work per request, so
// driving it with the same client shows the machine's limit for the same traffic.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace qm {

class reference_server_c {
  public:
    reference_server_c() = default;
    ~reference_server_c();
    reference_server_c(const reference_server_c&) = delete;
    reference_server_c& operator=(const reference_server_c&) = delete;

    // Listens on 127.0.0.1 at a free port and starts the loop on its own thread.
    // Returns false with a readable `error` when the socket cannot be set up.
    bool start(std::string* error);
    // The port chosen by start().
    int port() const { return port_; }
    // Stops the loop, closes every connection and joins the thread. Idempotent.
    void stop();

  private:
    void run();

    int listen_fd_ = -1;
    int epoll_fd_ = -1;
    int wake_fd_ = -1;
    int port_ = 0;
    std::thread thread_;
};

}  // namespace qm
