// Tests of the TCP/IP interface over loopback: accept and connect, transfers in both
// directions, a write far larger than the socket buffers, broken connections, a port in
// use, failing accepts, and the request hand-over with the socket thread.
#include "wirelay/io_tcpip.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "port/debug_sink.h"
#include "port/socket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t kLimitUs = 10 * 1000 * 1000;  // nothing here may take longer

io_tcpip_addr_s Address(const char* host, int port) {
    io_tcpip_addr_s a{};
    std::snprintf(a.host, sizeof a.host, "%s", host);
    a.port = port;
    return a;
}

// Collects the next completed request of the core, or null after the limit.
io_request_s* Collect(io_core_s* core, int64_t timeout_us = kLimitUs) {
    if (io_wait(core, timeout_us) != IO_OK) return nullptr;
    io_request_s* r = nullptr;
    return io_getrequest(core, &r) == IO_OK ? r : nullptr;
}

// Debug sink redirected to a temporary file for the life of the object.
class LogCapture {
  public:
    LogCapture() {
        char path[] = "/tmp/io_tcpip_test_log_XXXXXX";
        int fd = mkstemp(path);
        if (fd >= 0) close(fd);
        path_ = path;
        port::DebugSinkSetPath(path_.c_str());
    }
    ~LogCapture() {
        port::DebugSinkSetPath(nullptr);
        std::remove(path_.c_str());
    }
    std::string Text() const {
        std::ifstream in(path_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    int Count(const std::string& needle) const {
        const std::string t = Text();
        int n = 0;
        for (size_t at = t.find(needle); at != std::string::npos; at = t.find(needle, at + 1)) ++n;
        return n;
    }
    // Polls until the text holds `needle` (or two seconds pass).
    bool WaitFor(const std::string& needle) const {
        for (int i = 0; i < 200; ++i) {
            if (Text().find(needle) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

  private:
    std::string path_;
};

class TcpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(io_init(&server_), IO_OK);
        ASSERT_EQ(io_init(&client_), IO_OK);
        io_tcpip_addr_s any = Address("", 0);
        ASSERT_EQ(io_open(IO_PASSIVE, server_, IO_IF_TCPIP, &any, &listener_), IO_OK);
        port_ = io_tcpip_localport(listener_);
        ASSERT_GT(port_, 0);
        for (io_request_s** r : {&accept_, &sread_, &swrite_, &cread_, &cwrite_}) {
            ASSERT_EQ(io_createrequest(r), IO_OK);
        }
        accept_->kind = IO_ACCEPT;
        sread_->kind = cread_->kind = IO_READ;
        swrite_->kind = cwrite_->kind = IO_WRITE;
    }
    void TearDown() override {
        io_term(client_);
        io_term(server_);
        for (io_request_s* r : {accept_, sread_, swrite_, cread_, cwrite_}) io_freerequest(r);
    }

    // Arms the accept, connects a client and returns the server's side of it.
    io_conn_s* ConnectClient(io_conn_s** client_conn) {
        accept_->buffer = nullptr;
        if (io_queue(listener_, accept_) != IO_OK) return nullptr;
        io_tcpip_addr_s to = Address("localhost", port_);
        if (io_open(IO_ACTIVE, client_, IO_IF_TCPIP, &to, client_conn) != IO_OK) return nullptr;
        io_request_s* got = Collect(server_);
        if (got != accept_ || got->result != IO_OK) return nullptr;
        return static_cast<io_conn_s*>(got->buffer);
    }

    // Queues one transfer and waits for it on its own. Returns the request's result.
    static int Transfer(io_conn_s* conn, io_request_s* req, void* buffer, uint32_t length) {
        req->buffer = buffer;
        req->length = length;
        int rc = io_queue(conn, req);
        if (rc != IO_OK) return 100 + rc;
        io_settimeout(conn, 10000);
        rc = io_waitrequest(req);
        if (rc != IO_OK) {
            io_abort(req);
            return 200 + rc;
        }
        return static_cast<int>(req->result);
    }

    io_core_s* server_ = nullptr;
    io_core_s* client_ = nullptr;
    io_conn_s* listener_ = nullptr;
    int port_ = 0;
    io_request_s* accept_ = nullptr;
    io_request_s* sread_ = nullptr;
    io_request_s* swrite_ = nullptr;
    io_request_s* cread_ = nullptr;
    io_request_s* cwrite_ = nullptr;
};

TEST_F(TcpTest, AcceptConnectAndRoundTrips) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    EXPECT_EQ(sc->mode, IO_ACTIVE);
    EXPECT_EQ(sc->core, server_);
    EXPECT_EQ(accept_->done, sizeof(void*));

    char hello[] = "hello, server";
    char got[sizeof hello] = {};
    ASSERT_EQ(Transfer(cc, cwrite_, hello, sizeof hello), IO_OK);
    ASSERT_EQ(Transfer(sc, sread_, got, sizeof got), IO_OK);
    EXPECT_STREQ(got, hello);
    EXPECT_EQ(sread_->done, sizeof got);

    // Many small round trips through the asynchronous path, as the message server does.
    std::vector<char> out(300), in(300);
    for (int i = 0; i < 200; ++i) {
        std::memset(out.data(), 'a' + i % 26, out.size());
        sread_->buffer = in.data();
        sread_->length = static_cast<uint32_t>(in.size());
        sread_->user = &in;
        ASSERT_EQ(io_queue(sc, sread_), IO_OK);
        ASSERT_EQ(Transfer(cc, cwrite_, out.data(), static_cast<uint32_t>(out.size())), IO_OK);
        io_request_s* r = Collect(server_);
        ASSERT_EQ(r, sread_);
        ASSERT_EQ(r->user, &in);
        ASSERT_EQ(r->result, static_cast<uint32_t>(IO_OK));
        ASSERT_EQ(in, out);
        ASSERT_EQ(Transfer(sc, swrite_, in.data(), 10), IO_OK);
        ASSERT_EQ(Transfer(cc, cread_, out.data(), 10), IO_OK);
    }
}

TEST_F(TcpTest, WriteLargerThanTheSocketBuffersArrivesWholeAndInOrder) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    const uint32_t size = 8u << 20;
    std::vector<unsigned char> out(size), in(size, 0);
    uint32_t x = 12345;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<unsigned char>(x >> 24);
    }
    swrite_->buffer = out.data();
    swrite_->length = size;
    ASSERT_EQ(io_queue(sc, swrite_), IO_OK);
    ASSERT_EQ(Transfer(cc, cread_, in.data(), size), IO_OK);
    EXPECT_EQ(cread_->done, size);
    io_request_s* r = Collect(server_);
    ASSERT_EQ(r, swrite_);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(r->done, size);
    EXPECT_TRUE(in == out);
}

TEST_F(TcpTest, PeerClosingWhileAReadIsQueuedBreaksTheRead) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    char buf[64];
    sread_->buffer = buf;
    sread_->length = sizeof buf;
    ASSERT_EQ(io_queue(sc, sread_), IO_OK);
    EXPECT_EQ(io_wait(server_, 20000), IO_ETIMEOUT);
    ASSERT_EQ(io_close(cc), IO_OK);
    io_request_s* r = Collect(server_);
    ASSERT_EQ(r, sread_);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_EBROKEN));
    EXPECT_TRUE(r->flags.load() & IO_FLAG_FAILED);
    // A write on the broken connection fails too instead of hanging.
    std::vector<char> big(1 << 16, 'x');
    int rc = IO_OK;
    for (int i = 0; i < 200 && rc == IO_OK; ++i) {
        rc = Transfer(sc, swrite_, big.data(), static_cast<uint32_t>(big.size()));
    }
    EXPECT_EQ(rc, IO_EBROKEN);
}

TEST_F(TcpTest, ListeningOnAPortInUseGivesAddressInUse) {
    io_core_s* other = nullptr;
    ASSERT_EQ(io_init(&other), IO_OK);
    io_tcpip_addr_s same = Address("localhost", port_);
    io_conn_s* c = nullptr;
    EXPECT_EQ(io_open(IO_PASSIVE, other, IO_IF_TCPIP, &same, &c), IO_EADDRINUSE);
    EXPECT_EQ(c, nullptr);
    io_term(other);
}

TEST_F(TcpTest, PortCanBeListenedOnAgainWhileOldConnectionsLinger) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    char byte = 'x';
    ASSERT_EQ(Transfer(sc, swrite_, &byte, 1), IO_OK);
    ASSERT_EQ(Transfer(cc, cread_, &byte, 1), IO_OK);
    // The server side closes first, so its end of the connection stays in TIME_WAIT.
    ASSERT_EQ(io_close(sc), IO_OK);
    ASSERT_EQ(Transfer(cc, cread_, &byte, 1), IO_EBROKEN);
    ASSERT_EQ(io_close(cc), IO_OK);
    ASSERT_EQ(io_close(listener_), IO_OK);
    io_tcpip_addr_s same = Address("localhost", port_);
    ASSERT_EQ(io_open(IO_PASSIVE, server_, IO_IF_TCPIP, &same, &listener_), IO_OK);
    EXPECT_EQ(io_tcpip_localport(listener_), port_);
}

TEST_F(TcpTest, ConnectingToNothingFails) {
    // Learn a free port by listening on one and closing it again.
    io_core_s* other = nullptr;
    ASSERT_EQ(io_init(&other), IO_OK);
    io_tcpip_addr_s any = Address("", 0);
    io_conn_s* l = nullptr;
    ASSERT_EQ(io_open(IO_PASSIVE, other, IO_IF_TCPIP, &any, &l), IO_OK);
    const int free_port = io_tcpip_localport(l);
    io_close(l);
    io_tcpip_addr_s to = Address("127.0.0.1", free_port);
    io_conn_s* c = nullptr;
    EXPECT_EQ(io_open(IO_ACTIVE, other, IO_IF_TCPIP, &to, &c), IO_EFAIL);
    io_tcpip_addr_s bad = Address("no-such-host.invalid", 1238);
    EXPECT_NE(io_open(IO_ACTIVE, other, IO_IF_TCPIP, &bad, &c), IO_OK);
    io_term(other);
}

TEST_F(TcpTest, AcceptOutOfDescriptorsRestsAndRecoversWithoutEndingTheAccept) {
    LogCapture log;
    port::DebugSinkWrite("");  // the sink's file is open before descriptors run out
    io_conn_s* cc1 = nullptr;
    io_conn_s* sc1 = ConnectClient(&cc1);
    ASSERT_NE(sc1, nullptr);
    io_tcpip_addr_s to = Address("127.0.0.1", port_);
    io_conn_s* cc = nullptr;
    ASSERT_EQ(io_open(IO_ACTIVE, client_, IO_IF_TCPIP, &to, &cc), IO_OK);  // waits in the backlog

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    const int lowest_free = dup(0);
    ASSERT_GE(lowest_free, 0);
    close(lowest_free);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(lowest_free);  // no descriptor can be made now
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    accept_->buffer = nullptr;
    ASSERT_EQ(io_queue(listener_, accept_), IO_OK);
    const auto start = Clock::now();
    // The socket thread keeps serving the other sockets while the listener rests.
    char ping[4] = {'p', 'i', 'n', 'g'};
    char pong[4] = {};
    EXPECT_EQ(Transfer(cc1, cwrite_, ping, 4), IO_OK);
    EXPECT_EQ(Transfer(sc1, sread_, pong, 4), IO_OK);
    EXPECT_EQ(std::memcmp(ping, pong, 4), 0);
    // Reading the log needs a descriptor too, so look only after the limit is back.
    EXPECT_EQ(io_wait(server_, 150000), IO_ETIMEOUT);  // still armed, not failed
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_GE(log.Count("io_tcpip_thread: accept failed: Too many open files\n"), 1);
    io_request_s* r = Collect(server_);
    ASSERT_EQ(r, accept_);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_OK));
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              90);
    auto* sc = static_cast<io_conn_s*>(r->buffer);
    ASSERT_NE(sc, nullptr);
    char b = 'z';
    ASSERT_EQ(Transfer(cc, cwrite_, &b, 1), IO_OK);
    char got = 0;
    ASSERT_EQ(Transfer(sc, sread_, &got, 1), IO_OK);
    EXPECT_EQ(got, 'z');
}

TEST_F(TcpTest, AbortedAcceptIsRetriedAtOnce) {
    LogCapture log;
    port::InjectAcceptFailures(ECONNABORTED, 3);
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    port::InjectAcceptFailures(0, 0);
    ASSERT_NE(sc, nullptr);
    EXPECT_EQ(log.Count("io_tcpip_thread: accept failed: Software caused connection abort\n"), 3);
}

TEST_F(TcpTest, ZeroLengthReadCompletesWhenDataArrives) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    sread_->buffer = nullptr;
    sread_->length = 0;
    ASSERT_EQ(io_queue(sc, sread_), IO_OK);
    EXPECT_EQ(io_wait(server_, 30000), IO_ETIMEOUT);  // nothing to read yet
    char data[3] = {'a', 'b', 'c'};
    ASSERT_EQ(Transfer(cc, cwrite_, data, 3), IO_OK);
    io_request_s* r = Collect(server_);
    ASSERT_EQ(r, sread_);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(r->done, 0u);
    char got[3] = {};
    ASSERT_EQ(Transfer(sc, sread_, got, 3), IO_OK);
    EXPECT_EQ(std::memcmp(got, data, 3), 0);
}

TEST_F(TcpTest, AbortedReadCanBeQueuedAgain) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    char got[5] = {};
    sread_->buffer = got;
    sread_->length = 5;
    ASSERT_EQ(io_queue(sc, sread_), IO_OK);
    EXPECT_EQ(io_abort(sread_), IO_OK);
    EXPECT_FALSE(sread_->flags.load() & IO_FLAG_QUEUED);
    EXPECT_EQ(io_abort(sread_), IO_EFAIL);
    char data[5] = {'1', '2', '3', '4', '5'};
    ASSERT_EQ(Transfer(cc, cwrite_, data, 5), IO_OK);
    ASSERT_EQ(Transfer(sc, sread_, got, 5), IO_OK);
    EXPECT_EQ(std::memcmp(got, data, 5), 0);
    // A request that times out stays queued until it is aborted.
    sread_->buffer = got;
    ASSERT_EQ(io_queue(sc, sread_), IO_OK);
    io_settimeout(sc, 20);
    EXPECT_EQ(io_waitrequest(sread_), IO_ETIMEOUT);
    EXPECT_TRUE(sread_->flags.load() & IO_FLAG_QUEUED);
    EXPECT_EQ(io_abort(sread_), IO_OK);
}

TEST_F(TcpTest, SuspendedReadWaitsUntilResumed) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    char got[2] = {};
    sread_->buffer = got;
    sread_->length = 2;
    ASSERT_EQ(io_queue(sc, sread_), IO_OK);
    io_suspend(sread_);
    char data[2] = {'o', 'k'};
    ASSERT_EQ(Transfer(cc, cwrite_, data, 2), IO_OK);
    EXPECT_EQ(io_wait(server_, 50000), IO_ETIMEOUT);
    io_resume(sread_);
    ASSERT_EQ(Collect(server_), sread_);
    EXPECT_EQ(std::memcmp(got, data, 2), 0);
}

TEST_F(TcpTest, ClosingWithARequestInProgressLetsItGo) {
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    char got[8];
    cread_->buffer = got;
    cread_->length = sizeof got;
    ASSERT_EQ(io_queue(cc, cread_), IO_OK);
    EXPECT_EQ(io_close(cc), IO_OK);
    EXPECT_EQ(cread_->conn, nullptr);
    EXPECT_FALSE(cread_->flags.load() & IO_FLAG_QUEUED);
    // Its lock is free again: the request can be reused on another connection.
    io_conn_s* cc2 = nullptr;
    io_conn_s* sc2 = ConnectClient(&cc2);
    ASSERT_NE(sc2, nullptr);
    char data[8] = "seven!!";
    ASSERT_EQ(Transfer(sc2, swrite_, data, 8), IO_OK);
    ASSERT_EQ(Transfer(cc2, cread_, got, 8), IO_OK);
    EXPECT_STREQ(got, data);
}

TEST_F(TcpTest, CloseWithoutARequestIsOnlyLogged) {
    LogCapture log;
    io_conn_s* cc = nullptr;
    io_conn_s* sc = ConnectClient(&cc);
    ASSERT_NE(sc, nullptr);
    ASSERT_EQ(io_close(cc), IO_OK);
    EXPECT_TRUE(log.WaitFor("io_tcpip_thread: FD_CLOSE and no request!\n"));
    // A read queued afterwards learns of the broken connection at once.
    char got[4];
    EXPECT_EQ(Transfer(sc, sread_, got, 4), IO_EBROKEN);
    EXPECT_EQ(log.Count("FD_CLOSE and no request"), 1);  // reported once, no spinning
}

TEST(TcpIpv6, SwitchChoosesTheListeningFamily) {
    io_core_s* core = nullptr;
    ASSERT_EQ(io_init(&core), IO_OK);
    io_tcpip_addr_s any = Address("localhost", 0);
    io_conn_s* l4 = nullptr;
    io_tcpip_setipv6(0);
    ASSERT_EQ(io_open(IO_PASSIVE, core, IO_IF_TCPIP, &any, &l4), IO_OK);
    EXPECT_EQ(port::SocketFamily(l4->handle), AF_INET);
    io_tcpip_setipv6(1);
    io_conn_s* l6 = nullptr;
    ASSERT_EQ(io_open(IO_PASSIVE, core, IO_IF_TCPIP, &any, &l6), IO_OK);
    if (port::SocketFamily(l6->handle) == AF_INET6) {
        bool v6only = true;
        ASSERT_TRUE(port::GetV6Only(l6->handle, &v6only));
        EXPECT_FALSE(v6only);
        // An IPv4 client reaches the IPv6 listening socket.
        io_request_s* acc = nullptr;
        ASSERT_EQ(io_createrequest(&acc), IO_OK);
        acc->kind = IO_ACCEPT;
        ASSERT_EQ(io_queue(l6, acc), IO_OK);
        io_tcpip_addr_s to = Address("127.0.0.1", io_tcpip_localport(l6));
        io_conn_s* c = nullptr;
        ASSERT_EQ(io_open(IO_ACTIVE, core, IO_IF_TCPIP, &to, &c), IO_OK);
        io_settimeout(l6, 10000);
        EXPECT_EQ(io_waitrequest(acc), IO_OK);
        EXPECT_EQ(acc->result, static_cast<uint32_t>(IO_OK));
        io_term(core);
        io_freerequest(acc);
        return;
    }
    io_term(core);
}

TEST(TcpOpen, RefusesAnOutOfRangePort) {
    io_core_s* core = nullptr;
    ASSERT_EQ(io_init(&core), IO_OK);
    io_tcpip_addr_s bad = Address("localhost", 70000);
    io_conn_s* c = nullptr;
    EXPECT_EQ(io_open(IO_PASSIVE, core, IO_IF_TCPIP, &bad, &c), IO_EINVAL);
    bad.port = -5;
    EXPECT_EQ(io_open(IO_ACTIVE, core, IO_IF_TCPIP, &bad, &c), IO_EINVAL);
    io_term(core);
}

TEST(TcpMany, SeveralClientsOnOneCoreAreServedInTurn) {
    io_core_s* server = nullptr;
    ASSERT_EQ(io_init(&server), IO_OK);
    io_tcpip_addr_s any = Address("", 0);
    io_conn_s* l = nullptr;
    ASSERT_EQ(io_open(IO_PASSIVE, server, IO_IF_TCPIP, &any, &l), IO_OK);
    const int port = io_tcpip_localport(l);
    io_request_s* acc = nullptr;
    ASSERT_EQ(io_createrequest(&acc), IO_OK);
    acc->kind = IO_ACCEPT;

    constexpr int kClients = 4;
    constexpr int kRounds = 100;
    // Each client thread has its own core: write 8 bytes, read them back.
    std::vector<std::thread> clients;
    std::atomic<int> good{0};
    for (int i = 0; i < kClients; ++i) {
        clients.emplace_back([port, &good, i] {
            io_core_s* core = nullptr;
            if (io_init(&core) != IO_OK) return;
            io_tcpip_addr_s to = Address("localhost", port);
            io_conn_s* c = nullptr;
            io_request_s* r = nullptr;
            io_createrequest(&r);
            if (io_open(IO_ACTIVE, core, IO_IF_TCPIP, &to, &c) == IO_OK) {
                io_settimeout(c, 10000);
                int ok = 0;
                for (int k = 0; k < kRounds; ++k) {
                    uint64_t out = (static_cast<uint64_t>(i) << 32) | static_cast<uint64_t>(k);
                    uint64_t in = 0;
                    r->kind = IO_WRITE;
                    r->buffer = &out;
                    r->length = 8;
                    if (io_queue(c, r) != IO_OK || io_waitrequest(r) != IO_OK || r->result) break;
                    r->kind = IO_READ;
                    r->buffer = &in;
                    if (io_queue(c, r) != IO_OK || io_waitrequest(r) != IO_OK || r->result) break;
                    if (in == out) ++ok;
                }
                if (ok == kRounds) good.fetch_add(1);
            }
            io_term(core);
            io_freerequest(r);
        });
    }
    // The server echoes with one read and one write request per client, like the message
    // server, collecting whatever completes first.
    struct Peer {
        io_conn_s* conn = nullptr;
        io_request_s* read = nullptr;
        io_request_s* write = nullptr;
        uint64_t value = 0;
    };
    std::vector<Peer> peers(kClients);
    ASSERT_EQ(io_queue(l, acc), IO_OK);
    int accepted = 0;
    int echoes = 0;
    while (echoes < kClients * kRounds) {
        io_request_s* r = Collect(server);
        ASSERT_NE(r, nullptr);
        if (r->result == IO_EBROKEN && r != acc) {  // a client that is done went away
            Peer* p = static_cast<Peer*>(r->user);
            ASSERT_EQ(r, p->read);
            io_close(p->conn);
            continue;
        }
        ASSERT_EQ(r->result, static_cast<uint32_t>(IO_OK));
        if (r == acc) {
            ASSERT_LT(accepted, kClients);
            Peer& p = peers[accepted++];
            p.conn = static_cast<io_conn_s*>(acc->buffer);
            ASSERT_EQ(io_createrequest(&p.read), IO_OK);
            ASSERT_EQ(io_createrequest(&p.write), IO_OK);
            p.read->kind = IO_READ;
            p.write->kind = IO_WRITE;
            for (io_request_s* q : {p.read, p.write}) {
                q->buffer = &p.value;
                q->length = 8;
                q->user = &p;
            }
            ASSERT_EQ(io_queue(p.conn, p.read), IO_OK);
            if (accepted < kClients) {
                acc->buffer = nullptr;
                ASSERT_EQ(io_queue(l, acc), IO_OK);
            }
            continue;
        }
        Peer* p = static_cast<Peer*>(r->user);
        if (r == p->read) {  // echo what came, then read the next value
            ASSERT_EQ(io_queue(p->conn, p->write), IO_OK);
            ++echoes;
        } else {
            ASSERT_EQ(io_queue(p->conn, p->read), IO_OK);
        }
    }
    for (auto& t : clients) t.join();
    EXPECT_EQ(good.load(), kClients);
    io_term(server);
    io_freerequest(acc);
    for (Peer& p : peers) {
        io_freerequest(p.read);
        io_freerequest(p.write);
    }
}

}  // namespace
