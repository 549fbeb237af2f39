// Tests of the socket helpers, the poller and the wake-up descriptor over loopback.
#include "port/socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "port/eventfd.h"
#include "port/socket_poller.h"

namespace {

// A listening IPv4 loopback socket on a free port.
int ListenLoopback(int* port) {
    std::vector<port::ResolvedAddress> found;
    if (port::ResolveStream("127.0.0.1", 0, true, &found) != 0 || found.empty()) return -1;
    int fd = port::SocketCreate(found[0]);
    if (fd < 0 || !port::SocketBind(fd, found[0]) || !port::SocketListen(fd, 8)) return -1;
    port::SetNonBlocking(fd);
    *port = port::SocketLocalPort(fd);
    return fd;
}

int ConnectLoopback(int port) {
    std::vector<port::ResolvedAddress> found;
    if (port::ResolveStream("127.0.0.1", port, false, &found) != 0 || found.empty()) return -1;
    int fd = port::SocketCreate(found[0]);
    if (fd < 0 || !port::SocketConnect(fd, found[0])) return -1;
    return fd;
}

TEST(SocketErrors, Classification) {
    using K = port::SocketErrorKind;
    EXPECT_EQ(port::ClassifySocketError(0), K::kNone);
    EXPECT_EQ(port::ClassifySocketError(EAGAIN), K::kWouldBlock);
    EXPECT_EQ(port::ClassifySocketError(EADDRINUSE), K::kAddressInUse);
    EXPECT_EQ(port::ClassifySocketError(EMFILE), K::kExhausted);
    EXPECT_EQ(port::ClassifySocketError(ENFILE), K::kExhausted);
    EXPECT_EQ(port::ClassifySocketError(ENOBUFS), K::kExhausted);
    EXPECT_EQ(port::ClassifySocketError(ECONNABORTED), K::kTransient);
    EXPECT_EQ(port::ClassifySocketError(EBADF), K::kOther);
}

TEST(Socket, AcceptTransferAndPollerReports) {
    int port = 0;
    int lfd = ListenLoopback(&port);
    ASSERT_GE(lfd, 0);
    ASSERT_GT(port, 0);
    EXPECT_EQ(port::SocketAccept(lfd), -1);  // nothing pending
    EXPECT_EQ(port::ClassifySocketError(port::LastSocketError()),
              port::SocketErrorKind::kWouldBlock);

    port::SocketPoller poller;
    ASSERT_TRUE(poller.Valid());
    int tag = 0;
    ASSERT_TRUE(poller.Add(lfd, port::kPollReadable, &tag));
    int cfd = ConnectLoopback(port);
    ASSERT_GE(cfd, 0);
    port::PollEvent ev[4];
    ASSERT_EQ(poller.Wait(ev, 4, 2000000), 1);
    EXPECT_EQ(ev[0].data, &tag);
    EXPECT_TRUE(ev[0].events & port::kPollReadable);

    port::InjectAcceptFailures(EMFILE, 1);
    EXPECT_EQ(port::SocketAccept(lfd), -1);
    EXPECT_EQ(port::LastSocketError(), EMFILE);
    int sfd = port::SocketAccept(lfd);
    ASSERT_GE(sfd, 0);
    EXPECT_TRUE(port::SetTcpNoDelay(sfd));

    ASSERT_TRUE(poller.Remove(lfd));
    ASSERT_TRUE(poller.Add(sfd, port::kPollReadable | port::kPollPeerClosed, &port));
    EXPECT_EQ(poller.Wait(ev, 4, 0), 0);  // nothing yet
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(poller.Wait(ev, 4, 300), 0);  // a wait below a millisecond still waits
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::microseconds(300));
    const char msg[] = "abc";
    EXPECT_EQ(port::SocketSend(cfd, msg, 3), 3);
    ASSERT_EQ(poller.Wait(ev, 4, 1500), 1);  // and sees what is there
    char got[8] = {};
    EXPECT_EQ(port::SocketRecv(sfd, got, sizeof got), 3);
    EXPECT_STREQ(got, "abc");
    EXPECT_EQ(port::SocketRecv(sfd, got, sizeof got), -1);
    EXPECT_EQ(port::ClassifySocketError(port::LastSocketError()),
              port::SocketErrorKind::kWouldBlock);

    port::SocketClose(cfd);
    ASSERT_EQ(poller.Wait(ev, 4, 2000000), 1);
    EXPECT_TRUE(ev[0].events & port::kPollPeerClosed);
    EXPECT_EQ(port::SocketRecv(sfd, got, sizeof got), 0);
    // Sending to a closed peer reports an error rather than raising a signal.
    int64_t sent = 0;
    for (int i = 0; i < 100 && sent >= 0; ++i) sent = port::SocketSend(sfd, msg, 3);
    EXPECT_EQ(sent, -1);
    port::SocketClose(sfd);
    port::SocketClose(lfd);
}

TEST(Socket, SecondBindOnAPortGivesAddressInUse) {
    int port = 0;
    int lfd = ListenLoopback(&port);
    ASSERT_GE(lfd, 0);
    std::vector<port::ResolvedAddress> found;
    ASSERT_EQ(port::ResolveStream("127.0.0.1", port, true, &found), 0);
    int fd = port::SocketCreate(found[0]);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(port::SocketBind(fd, found[0]));
    EXPECT_EQ(port::ClassifySocketError(port::LastSocketError()),
              port::SocketErrorKind::kAddressInUse);
    port::SocketClose(fd);
    port::SocketClose(lfd);
}

TEST(WakeupFd, SignalsCollapseUntilDrained) {
    port::WakeupFd w;
    ASSERT_TRUE(w.Valid());
    port::SocketPoller poller;
    ASSERT_TRUE(poller.Add(w.Fd(), port::kPollReadable, nullptr));
    port::PollEvent ev[2];
    EXPECT_EQ(poller.Wait(ev, 2, 0), 0);
    EXPECT_TRUE(w.Signal());
    EXPECT_TRUE(w.Signal());
    EXPECT_EQ(poller.Wait(ev, 2, 1000), 1);
    EXPECT_EQ(poller.Wait(ev, 2, 0), 1);  // level-triggered: still there
    w.Drain();
    EXPECT_EQ(poller.Wait(ev, 2, 0), 0);
}

}  // namespace
