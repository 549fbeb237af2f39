// Test support: a blocking loopback client that speaks the frame protocol with time-outs
// on every wait, and a runner that drives a message server's loop on its own thread.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "wirelay/frame.h"
#include "wirelay/message_server.h"

namespace wrl::test {

// Appends one normal frame to `bytes`; several make one write that arrives together.
inline void AppendNormal(std::vector<uint8_t>& bytes, const char* to, const char* from,
                         int32_t priority, const std::string& payload) {
    FrameHeader h;
    h.kind = kKindNormal;
    h.priority = priority;
    h.length = static_cast<uint32_t>(payload.size());
    CopyName(h.to, to);
    CopyName(h.from, from);
    const size_t at = bytes.size();
    bytes.resize(at + kHeaderSize + payload.size());
    EncodeHeader(h, bytes.data() + at);
    if (!payload.empty())
        std::memcpy(bytes.data() + at + kHeaderSize, payload.data(), payload.size());
}

// Makes `reply` a copy of the request (names, priority, payload) addressed to the request's
// sender or, when `to_sender` is false, to its destination; what test handlers usually do.
inline void EchoRequest(wrl_msg* request, wrl_msg* reply, bool to_sender) {
    const char* to;
    const char* from;
    int32_t priority;
    void* data;
    uint32_t length;
    wrl_msgsrv_getmsg(request, &to, &from, &priority, &data, &length);
    wrl_msgsrv_setmsg(reply, to, from, priority, data, length);
    wrl_msgsrv_addrecipient(reply, to_sender ? from : to);
}

struct Frame {
    FrameHeader header;
    std::vector<uint8_t> payload;
    size_t wire_size = 0;
};

class TestClient {
  public:
    TestClient() = default;
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;
    ~TestClient() { Close(); }

    bool Connect(int port) {
        if (fd_ < 0) fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return false;
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
        int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return true;
    }

    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    int fd() const { return fd_; }

    bool SendRaw(const void* data, size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        while (size > 0) {
            const ssize_t n = ::send(fd_, p, size, MSG_NOSIGNAL);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    // Sends a full 88-byte header (whatever the status) and the payload.
    bool Send(const FrameHeader& h, const void* payload = nullptr, size_t size = 0) {
        std::vector<uint8_t> buf(kHeaderSize + size);
        FrameHeader copy = h;
        copy.status = 0;  // keep the encoder from writing a short frame
        EncodeHeader(copy, buf.data());
        const uint32_t status = h.status;
        for (int i = 0; i < 4; ++i) buf[kOffStatus + i] = static_cast<uint8_t>(status >> (8 * i));
        if (size > 0) std::memcpy(buf.data() + kHeaderSize, payload, size);
        return SendRaw(buf.data(), buf.size());
    }

    bool SendNormal(const char* to, const char* from, int32_t priority, const std::string& data) {
        std::vector<uint8_t> bytes;
        AppendNormal(bytes, to, from, priority, data);
        return SendRaw(bytes.data(), bytes.size());
    }

    bool SendIdentify(const char* name) {
        FrameHeader h;
        h.kind = kKindIdentify;
        CopyName(h.from, name);
        return Send(h);
    }

    // Reads exactly `size` bytes, failing after `timeout_ms` or when the peer closes.
    bool ReadExact(void* data, size_t size, int timeout_ms = 5000) {
        auto* p = static_cast<uint8_t*>(data);
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (size > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
            const ssize_t n = ::recv(fd_, p, size, 0);
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }

    // Reads one frame: 24 bytes, and unless the status is WRL_EPROTOCOL or WRL_EVERSION
    // the names and payload.
    bool Receive(Frame* f, int timeout_ms = 5000) {
        uint8_t head[kHeaderSize];
        if (!ReadExact(head, kPrefixSize, timeout_ms)) return false;
        f->header = FrameHeader{};
        DecodePrefix(head, &f->header);
        f->payload.clear();
        f->wire_size = kPrefixSize;
        if (IsShortStatus(f->header.status)) return true;
        if (!ReadExact(head + kPrefixSize, kNamesSize, timeout_ms)) return false;
        DecodeNames(head + kPrefixSize, &f->header);
        f->payload.resize(f->header.length);
        if (f->header.length > 0 && !ReadExact(f->payload.data(), f->header.length, timeout_ms)) {
            return false;
        }
        f->wire_size = kHeaderSize + f->header.length;
        return true;
    }

    // True when nothing arrives within `ms` milliseconds (the connection stays open).
    bool Silent(int ms) {
        pollfd pfd{fd_, POLLIN, 0};
        return ::poll(&pfd, 1, ms) == 0;
    }

    // True when the server closes the connection within `timeout_ms` without sending
    // anything more.
    bool ClosedByPeer(int timeout_ms = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        uint8_t byte;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fd_, &byte, 1, 0);
            if (n > 0) return false;
            if (n == 0 || (errno != EAGAIN && errno != EINTR)) return true;
        }
        return false;
    }

    // Reads and discards everything until the server closes the connection (true) or
    // `timeout_ms` passes (false).
    bool DrainUntilClosed(int timeout_ms = 5000) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        std::vector<uint8_t> sink(1 << 16);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{fd_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(fd_, sink.data(), sink.size(), 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
        }
        return false;
    }

    // Shrinks the receive buffer; call before Connect.
    bool SmallReceiveBuffer() {
        if (fd_ < 0) fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int size = 4096;
        return ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) == 0;
    }

    // Identifies and returns the reply's status (or -1 when none arrives).
    int64_t Identify(const char* name) {
        if (!SendIdentify(name)) return -1;
        Frame f;
        if (!Receive(&f) || f.header.kind != kKindIdentify) return -1;
        return f.header.status;
    }

  private:
    int fd_ = -1;
};

// Runs a server on a free loopback port with its loop on a thread of its own.
class ServerRunner {
  public:
    explicit ServerRunner(std::function<void(wrl_msgsrv*)> setup = nullptr) {
        wrl_address a{};
        a.iftype = 1;
        std::strcpy(a.host, "localhost");
        a.port = 0;
        create_rc_ = wrl_msgsrv_createat(&a, &server_);
        if (create_rc_ != 0) return;
        if (setup) setup(server_);
        port_ = wrl_msgsrv_port(server_);
        thread_ = std::thread([this] { run_rc_ = wrl_msgsrv_run(server_); });
    }
    ~ServerRunner() { Stop(); }

    // Stops the loop and closes the server; returns the loop's code.
    int Stop() {
        if (server_ == nullptr) return run_rc_;
        wrl_msgsrv_stop(server_);
        if (thread_.joinable()) thread_.join();
        wrl_msgsrv_close(server_);
        server_ = nullptr;
        return run_rc_;
    }

    // Waits until the loop ended by itself (true) or `timeout_ms` passed (false).
    bool WaitEnded(int timeout_ms) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        while (std::chrono::steady_clock::now() < deadline) {
            if (run_rc_ >= 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    bool ok() const { return create_rc_ == 0 && port_ > 0; }
    int port() const { return port_; }
    wrl_msgsrv* server() { return server_; }

  private:
    wrl_msgsrv* server_ = nullptr;
    int create_rc_ = -1;
    int port_ = -1;
    std::atomic<int> run_rc_{-1};
    std::thread thread_;
};

}  // namespace wrl::test
