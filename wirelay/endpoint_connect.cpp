// The timed connect runs inside the endpoint's own I/O core: the endpoint is made with a
// copy of the built-in interface table whose TCP/IP open step connects without blocking and
// polls against the caller's deadline, then hands the socket over exactly as the built-in
// open would. The deadline and the time-out verdict travel in thread-local variables, as
// the open step runs on the connecting thread.
#include "wirelay/endpoint_connect.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <vector>

#include "port/clock.h"
#include "port/socket.h"
#include "wirelay/address.h"
#include "wirelay/endpoint.h"
#include "wirelay/io_interfaces.h"
#include "wirelay/io_tcpip.h"
#include "wirelay/io_tcpip_internal.h"
#include "wirelay/wrl_errors.h"

namespace {

constexpr int kMaxInterfaces = 8;

thread_local uint64_t t_deadline_ns = 0;
thread_local bool t_timed_out = false;

int RemainingMs() {
    const uint64_t now = port_monotonic_ns();
    if (now >= t_deadline_ns) return 0;
    const uint64_t left = (t_deadline_ns - now + 999999u) / 1000000u;
    return left > 0x7fffffff ? 0x7fffffff : static_cast<int>(left);
}

// One address: a non-blocking connect and a poll until it answers or the deadline passes.
// The connected socket (non-blocking), or -1 with errno set (ETIMEDOUT for the deadline).
int ConnectOne(const port::ResolvedAddress& a) {
    const int fd = port::SocketCreate(a);
    if (fd < 0) return -1;
    if (!port::SetNonBlocking(fd)) {
        port::SocketClose(fd);
        return -1;
    }
    int error = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a.addr), a.length) != 0) {
        error = errno;
        while (error == EINPROGRESS || error == EINTR) {
            pollfd p{fd, POLLOUT, 0};
            const int remaining = RemainingMs();
            if (remaining == 0) {
                error = ETIMEDOUT;
                t_timed_out = true;
                break;
            }
            const int ready = ::poll(&p, 1, remaining);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) {
                error = errno;
                break;
            }
            if (ready == 0) continue;  // the next round sees the deadline passed
            socklen_t length = sizeof error;
            if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
            break;
        }
    }
    if (error != 0) {
        port::SocketClose(fd);
        errno = error;
        return -1;
    }
    port::SetTcpNoDelay(fd);
    return fd;
}

int TimedOpen(void* context, uint32_t mode, const void* address, io_conn_s* conn) {
    if (mode != IO_ACTIVE) return io_tcpip_interface.open(context, mode, address, conn);
    const auto* addr = static_cast<const io_tcpip_addr_s*>(address);
    if (addr == nullptr || addr->port < 0 || addr->port > 65535) return IO_EINVAL;
    char host[sizeof addr->host];
    std::copy(addr->host, addr->host + sizeof host, host);
    host[sizeof host - 1] = '\0';
    std::vector<port::ResolvedAddress> found;
    if (port::ResolveStream(host, addr->port, false, &found) != 0) return IO_EFAIL;
    int fd = -1;
    for (const port::ResolvedAddress& a : found) {
        fd = ConnectOne(a);
        if (fd >= 0 || t_timed_out) break;
    }
    if (fd < 0) return IO_EFAIL;
    io_tcpip_sock_s* sock = new (std::nothrow) io_tcpip_sock_s;
    if (sock == nullptr) {
        port::SocketClose(fd);
        return IO_ENOMEM;
    }
    sock->fd = fd;
    sock->conn = conn;
    conn->handle = fd;
    conn->iface_data = sock;
    return IO_OK;
}

const io_interface_s* TimedInterfaces() {
    static const struct table_s {
        io_interface_s entries[kMaxInterfaces + 1] = {};
        table_s() {
            const io_interface_s* builtin = io_builtin_interfaces();
            for (int i = 0; builtin[i].type != IO_IF_END && i < kMaxInterfaces; ++i) {
                entries[i] = builtin[i];
                if (entries[i].type == IO_IF_TCPIP) entries[i].open = TimedOpen;
            }
        }
    } table;
    return table.entries;
}

}  // namespace

int wrl_net_createconnected(wrl_net** out, const char* address, int32_t timeout_ms) {
    if (out == nullptr) return WRL_EFAIL;
    *out = nullptr;
    wrl_address parsed;
    if (address == nullptr || wrl_net_parseaddress(address, &parsed) != WRL_OK) return WRL_EFAIL;
    wrl_net* ep = nullptr;
    const bool timed = timeout_ms >= 0 && parsed.iftype == IO_IF_TCPIP;
    int rc = timed ? wrl_net_createwith(&ep, TimedInterfaces()) : wrl_net_create(&ep);
    if (rc != WRL_OK) return rc;
    t_deadline_ns =
        port_monotonic_ns() + static_cast<uint64_t>(timeout_ms < 0 ? 0 : timeout_ms) * 1000000u;
    t_timed_out = false;
    rc = wrl_net_connect(ep, address);
    if (rc != WRL_OK) {
        wrl_net_destroy(ep);
        return timed && t_timed_out ? static_cast<int>(WRL_ETIMEOUT) : rc;
    }
    *out = ep;
    return WRL_OK;
}
