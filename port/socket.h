// Thin BSD socket helpers for the TCP/IP interface: name resolution, creating, binding,
// listening, connecting, accepting, non-blocking transfers and socket options. Functions
// that fail leave the cause in LastSocketError(), which ClassifySocketError sorts into the
// few cases the transport distinguishes.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <vector>

namespace port {

struct ResolvedAddress {
    int family;  // AF_INET or AF_INET6
    int socktype;
    int protocol;
    sockaddr_storage addr;
    socklen_t length;
};

// Resolves host (null: all local addresses, for listening when passive) and port for
// stream sockets of any family, in the resolver's order. 0, or an errno-style value
// (also left in LastSocketError).
int ResolveStream(const char* host, int port, bool passive, std::vector<ResolvedAddress>* out);

// -1 on failure for every call returning a descriptor; false for every bool.
int SocketCreate(const ResolvedAddress& a);  // close-on-exec, blocking
bool SocketBind(int fd, const ResolvedAddress& a);
bool SocketListen(int fd, int backlog);
bool SocketConnect(int fd, const ResolvedAddress& a);  // blocking connect
// Accepts one pending connection, already non-blocking and close-on-exec.
int SocketAccept(int listening_fd);
bool SetNonBlocking(int fd);
bool SetBlocking(int fd);
bool SetTcpNoDelay(int fd);
bool SetReuseAddress(int fd);
bool SetV6Only(int fd, bool on);
bool GetV6Only(int fd, bool* on);
// Bytes moved, 0 when the peer has closed (recv only), -1 on failure (see the error).
// Sending never raises SIGPIPE.
int64_t SocketRecv(int fd, void* buffer, uint32_t length);
int64_t SocketSend(int fd, const void* buffer, uint32_t length);
void SocketShutdownBoth(int fd);
void SocketClose(int fd);
// Local port of a bound socket, -1 on failure.
int SocketLocalPort(int fd);
// Address family of a socket, -1 on failure.
int SocketFamily(int fd);

int LastSocketError();  // errno of the last failing call on this thread

enum class SocketErrorKind {
    kNone,          // 0
    kWouldBlock,    // EAGAIN/EWOULDBLOCK/EINPROGRESS
    kAddressInUse,  // EADDRINUSE
    kInterrupted,   // EINTR: simply retry
    kExhausted,     // EMFILE, ENFILE, ENOBUFS, ENOMEM: resources run out, retry later
    kTransient,     // ECONNABORTED, EPROTO, EPERM and friends: this attempt failed only
    kOther,
};
SocketErrorKind ClassifySocketError(int error);

// Test seam: the next `count` SocketAccept calls fail with `error` before touching the
// socket (count 0 switches it off). Process-wide.
void InjectAcceptFailures(int error, int count);

}  // namespace port
