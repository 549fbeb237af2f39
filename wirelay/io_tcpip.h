// TCP/IP interface of the I/O core (interface type IO_IF_TCPIP): listening and connecting sockets
// (IPv6 and IPv4) and one socket thread per core that performs the accepts, recvs and sends
// of queued requests from a level-triggered epoll loop fed by a command queue. A read or
// write queued on a socket that is ready already is done by the queueing thread at once
// and completes before io_queue returns; only what has to wait goes to the loop. A thread
// waiting in io_wait or io_waitrequest runs the loop itself while it waits (the socket
// thread stands by meanwhile), so that under load a completion costs no thread switch.
#pragma once

#include <cstdint>

#include "wirelay/io_core.h"

// Address record of the TCP/IP interface, built by the endpoint layer.
struct io_tcpip_addr_s {
    char host[65];  // up to 64 characters and a terminating zero; unused when listening
    int32_t port;   // listening: 0 picks a free port (see io_tcpip_localport)
};

// The interface's descriptor (the core's built-in table copies it).
extern const io_interface_s io_tcpip_interface;

// Process-wide IPv6 switch, initially on. On: listening tries IPv6 first (the socket also
// takes IPv4 clients) and connecting may use IPv6 addresses. Off: IPv4 only. Returns IO_OK.
int io_tcpip_setipv6(int on);

// The local port a TCP/IP connection is bound to (e.g. after listening on port 0);
// -1 when it cannot be read.
int io_tcpip_localport(const io_conn_s* conn);
