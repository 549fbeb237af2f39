// Reference server of qm_bench. Deliberately bare: level-triggered epoll, one buffer per
// connection, whole frames answered with one write. Frames longer than the transport's
// payload limit close the connection.
#include "client/bench_reference_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "protocol/cdb_request.h"
#include "wirelay/frame.h"

namespace qm {
namespace {

struct connection {
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    size_t out_done = 0;
    bool watching_out = false;  // EPOLLOUT registered
};

// Appends the answer to one complete frame. Returns false when the frame is unusable.
bool answer_frame(const uint8_t* frame, const wrl::FrameHeader& header, std::vector<uint8_t>& out) {
    if (header.kind == wrl::kKindIdentify) {
        wrl::FrameHeader reply = header;
        reply.length = 0;
        const size_t at = out.size();
        out.resize(at + wrl::kHeaderSize);
        wrl::EncodeHeader(reply, out.data() + at);
        return true;
    }
    if (header.kind != wrl::kKindNormal) return false;
    wrl::FrameHeader ack;
    ack.kind = wrl::kKindAcknowledge;
    wrl::CopyName(ack.to, "ack");
    wrl::FrameHeader reply = header;
    const size_t at = out.size();
    out.resize(at + 2 * wrl::kHeaderSize + header.length);
    wrl::EncodeHeader(ack, out.data() + at);
    wrl::EncodeHeader(reply, out.data() + at + wrl::kHeaderSize);
    uint8_t* payload = out.data() + at + 2 * wrl::kHeaderSize;
    std::memcpy(payload, frame + wrl::kHeaderSize, header.length);
    if (header.length >= CDB_REQUEST_SIZE) {  // result 1, error 0, like a test connection
        const int32_t result = 1, error = 0;
        std::memcpy(payload + offsetof(cdb_request, result), &result, 4);
        std::memcpy(payload + offsetof(cdb_request, error), &error, 4);
    }
    return true;
}

// Answers every complete frame in `c.in`. Returns false when the connection must close.
bool consume_frames(connection& c) {
    size_t at = 0;
    while (c.in.size() - at >= wrl::kHeaderSize) {
        wrl::FrameHeader header;
        wrl::DecodePrefix(c.in.data() + at, &header);
        if (header.magic != wrl::kFrameMagic || header.version != wrl::kFrameVersion) return false;
        if (header.length > wrl::WRL_MAX_PAYLOAD) return false;
        const size_t size = wrl::kHeaderSize + header.length;
        if (c.in.size() - at < size) break;
        wrl::DecodeNames(c.in.data() + at + wrl::kPrefixSize, &header);
        if (!answer_frame(c.in.data() + at, header, c.out)) return false;
        at += size;
    }
    c.in.erase(c.in.begin(), c.in.begin() + static_cast<std::ptrdiff_t>(at));
    return true;
}

// Writes what is pending. Returns false on a broken connection.
bool flush(int fd, connection& c) {
    while (c.out_done < c.out.size()) {
        const ssize_t n =
            ::send(fd, c.out.data() + c.out_done, c.out.size() - c.out_done, MSG_NOSIGNAL);
        if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        c.out_done += static_cast<size_t>(n);
    }
    c.out.clear();
    c.out_done = 0;
    return true;
}

}  // namespace

reference_server_c::~reference_server_c() {
    stop();
}

bool reference_server_c::start(std::string* error) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (listen_fd_ < 0 || epoll_fd_ < 0 || wake_fd_ < 0 ||
        ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listen_fd_, 512) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (error) *error = std::string("reference server: ") + std::strerror(errno);
        stop();
        return false;
    }
    port_ = ntohs(addr.sin_port);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = listen_fd_;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, listen_fd_, &ev);
    ev.data.fd = wake_fd_;
    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev);
    thread_ = std::thread([this] { run(); });
    return true;
}

void reference_server_c::stop() {
    if (thread_.joinable()) {
        const uint64_t one = 1;
        if (::write(wake_fd_, &one, sizeof one) < 0) { /* the loop also ends on its own close */
        }
        thread_.join();
    }
    for (int* fd : {&listen_fd_, &epoll_fd_, &wake_fd_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void reference_server_c::run() {
    std::map<int, connection> connections;
    auto drop = [&](int fd) {
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
        ::close(fd);
        connections.erase(fd);
    };
    epoll_event events[64];
    uint8_t buffer[65536];
    for (;;) {
        const int n = ::epoll_wait(epoll_fd_, events, 64, -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        for (int i = 0; i < n; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wake_fd_) {
                for (auto& [cfd, c] : connections) ::close(cfd);
                return;
            }
            if (fd == listen_fd_) {
                for (;;) {
                    const int cfd =
                        ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                    if (cfd < 0) break;
                    const int one = 1;
                    ::setsockopt(cfd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
                    epoll_event ev{};
                    ev.events = EPOLLIN;
                    ev.data.fd = cfd;
                    ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, cfd, &ev);
                    connections[cfd];
                }
                continue;
            }
            auto it = connections.find(fd);
            if (it == connections.end()) continue;
            connection& c = it->second;
            bool alive = true;
            if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got > 0) {
                    c.in.insert(c.in.end(), buffer, buffer + got);
                    alive = consume_frames(c);
                } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                    alive = false;
                }
            }
            if (alive) alive = flush(fd, c);
            if (!alive) {
                drop(fd);
                continue;
            }
            if (c.watching_out == c.out.empty()) {  // only touch epoll when the interest changes
                c.watching_out = !c.out.empty();
                epoll_event ev{};
                ev.events = c.watching_out ? (EPOLLIN | EPOLLOUT) : EPOLLIN;
                ev.data.fd = fd;
                ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, fd, &ev);
            }
        }
    }
}

}  // namespace qm
