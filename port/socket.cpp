// Socket helpers over the BSD socket calls of Linux.
#include "port/socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace port {

namespace {
std::atomic<int> s_inject_error{0};
std::atomic<int> s_inject_count{0};
}  // namespace

int ResolveStream(const char* host, int port, bool passive, std::vector<ResolvedAddress>* out) {
    out->clear();
    char service[16];
    std::snprintf(service, sizeof service, "%d", port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    if (passive) hints.ai_flags = AI_PASSIVE;
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(host, service, &hints, &list);
    if (rc != 0) {
        int err = (rc == EAI_SYSTEM && errno != 0) ? errno : (rc == EAI_MEMORY ? ENOMEM : EINVAL);
        if (list != nullptr) ::freeaddrinfo(list);
        errno = err;
        return err;
    }
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage)) continue;
        if (ai->ai_family != AF_INET && ai->ai_family != AF_INET6) continue;
        ResolvedAddress a{};
        a.family = ai->ai_family;
        a.socktype = ai->ai_socktype;
        a.protocol = ai->ai_protocol;
        std::memcpy(&a.addr, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        out->push_back(a);
    }
    ::freeaddrinfo(list);
    return 0;
}

int SocketCreate(const ResolvedAddress& a) {
    return ::socket(a.family, a.socktype | SOCK_CLOEXEC, a.protocol);
}

bool SocketBind(int fd, const ResolvedAddress& a) {
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&a.addr), a.length) == 0;
}

bool SocketListen(int fd, int backlog) {
    return ::listen(fd, backlog) == 0;
}

bool SocketConnect(int fd, const ResolvedAddress& a) {
    for (;;) {
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.addr), a.length) == 0) return true;
        if (errno != EINTR) return false;
        // An interrupted blocking connect goes on in the background; wait for its outcome.
        int err = 0;
        socklen_t len = sizeof err;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        if (::select(fd + 1, nullptr, &set, nullptr, nullptr) < 0) return false;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return false;
        if (err == 0) return true;
        errno = err;
        return false;
    }
}

int SocketAccept(int listening_fd) {
    if (s_inject_count.load(std::memory_order_relaxed) > 0 &&
        s_inject_count.fetch_sub(1, std::memory_order_relaxed) > 0) {
        errno = s_inject_error.load(std::memory_order_relaxed);
        return -1;
    }
    return ::accept4(listening_fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

bool SetNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool SetBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SetTcpNoDelay(int fd) {
    int one = 1;
    return ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0;
}

bool SetReuseAddress(int fd) {
    int one = 1;
    return ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
}

bool SetV6Only(int fd, bool on) {
    int v = on ? 1 : 0;
    return ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v, sizeof v) == 0;
}

bool GetV6Only(int fd, bool* on) {
    int v = 0;
    socklen_t len = sizeof v;
    if (::getsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &v, &len) != 0) return false;
    *on = (v != 0);
    return true;
}

int64_t SocketRecv(int fd, void* buffer, uint32_t length) {
    ssize_t n;
    do {
        n = ::recv(fd, buffer, length, 0);
    } while (n < 0 && errno == EINTR);
    return n;
}

int64_t SocketSend(int fd, const void* buffer, uint32_t length) {
    ssize_t n;
    do {
        n = ::send(fd, buffer, length, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n;
}

void SocketShutdownBoth(int fd) {
    ::shutdown(fd, SHUT_RDWR);
}

void SocketClose(int fd) {
    if (fd >= 0) ::close(fd);
}

int SocketLocalPort(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return -1;
    if (ss.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port);
    return -1;
}

int SocketFamily(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return -1;
    return ss.ss_family;
}

int LastSocketError() {
    return errno;
}

SocketErrorKind ClassifySocketError(int error) {
    switch (error) {
        case 0:
            return SocketErrorKind::kNone;
        case EAGAIN:
#if EWOULDBLOCK != EAGAIN
        case EWOULDBLOCK:
#endif
        case EINPROGRESS:
            return SocketErrorKind::kWouldBlock;
        case EADDRINUSE:
            return SocketErrorKind::kAddressInUse;
        case EINTR:
            return SocketErrorKind::kInterrupted;
        case EMFILE:
        case ENFILE:
        case ENOBUFS:
        case ENOMEM:
            return SocketErrorKind::kExhausted;
        case ECONNABORTED:
        case EPROTO:
        case EPERM:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
        case ETIMEDOUT:
            return SocketErrorKind::kTransient;
        default:
            return SocketErrorKind::kOther;
    }
}

void InjectAcceptFailures(int error, int count) {
    s_inject_error.store(error, std::memory_order_relaxed);
    s_inject_count.store(count, std::memory_order_relaxed);
}

}  // namespace port
