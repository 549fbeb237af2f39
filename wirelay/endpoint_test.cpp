// Address parsing and endpoints over real loopback connections: accept hand-over, queued
// and synchronous transfers, broken connections and code mapping.
#include "wirelay/endpoint.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "port/debug_sink.h"
#include "wirelay/io_core.h"
#include "wirelay/message_server.h"
#include "wirelay/wrl_errors.h"

namespace {

TEST(AddressTest, ParsesTransportHostAndPort) {
    wrl_address a{};
    ASSERT_EQ(wrl_net_parseaddress("tcpip:localhost,1238", &a), WRL_OK);
    EXPECT_EQ(a.iftype, IO_IF_TCPIP);
    EXPECT_STREQ(a.host, "localhost");
    EXPECT_EQ(a.port, 1238);
    ASSERT_EQ(wrl_net_parseaddress("tcpip:10.0.0.7,65535", &a), WRL_OK);
    EXPECT_STREQ(a.host, "10.0.0.7");
    EXPECT_EQ(a.port, 65535);
}

TEST(AddressTest, RefusesIncompleteOrForeignAddresses) {
    wrl_address a{};
    a.port = 4711;
    for (const char* bad :
         {"tcpip:localhost", "tcpip:localhost,", "tcpip:localhost,0", "tcpip:,1238",
          "serial:COM1,9600", "udp:localhost,1238", "tcpipx:localhost,1238", "localhost,1238",
          "tcpip:localhost,65536", "tcpip:localhost,12x", "tcpip:localhost,-5",
          "tcpip:localhost,1238,7", "", "tcpip:localhost,99999999999999999999"}) {
        EXPECT_EQ(wrl_net_parseaddress(bad, &a), WRL_EFAIL) << bad;
    }
    EXPECT_EQ(wrl_net_parseaddress(nullptr, &a), WRL_EFAIL);
    EXPECT_EQ(a.port, 4711);  // untouched on failure
}

TEST(AddressTest, LongHostIsCutToSixtyFourCharacters) {
    const std::string host(70, 'h');
    wrl_address a{};
    ASSERT_EQ(wrl_net_parseaddress(("tcpip:" + host + ",80").c_str(), &a), WRL_OK);
    EXPECT_EQ(std::string(a.host), host.substr(0, 64));
    EXPECT_EQ(a.port, 80);
}

// A listening endpoint on a free port and a client endpoint connected to it, with the
// accepted connection taken over into `server`.
class EndpointPairTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(wrl_net_create(&listen_), WRL_OK);
        wrl_address a{1, "localhost", 0};
        ASSERT_EQ(wrl_net_listenat(listen_, &a), WRL_OK);
        port_ = wrl_net_localport(listen_);
        ASSERT_GT(port_, 0);
        ASSERT_EQ(wrl_net_armaccept(listen_, &accept_tag_), WRL_OK);
        ASSERT_EQ(wrl_net_create(&client_), WRL_OK);
        ASSERT_EQ(wrl_net_connect(client_, Address().c_str()), WRL_OK);
        int dir = -1;
        void* user = nullptr;
        ASSERT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_OK);
        EXPECT_EQ(dir, WRL_NET_ACCEPT);
        EXPECT_EQ(user, &accept_tag_);
        ASSERT_EQ(wrl_net_alloc(&server_), WRL_OK);
        ASSERT_EQ(wrl_net_accept(listen_, server_), WRL_OK);
    }
    void TearDown() override {
        wrl_net_free(server_);
        if (client_ != nullptr) wrl_net_destroy(client_);
        wrl_net_destroy(listen_);
    }
    std::string Address() const { return "tcpip:127.0.0.1," + std::to_string(port_); }

    wrl_net* listen_ = nullptr;
    wrl_net* client_ = nullptr;
    wrl_net* server_ = nullptr;
    int port_ = -1;
    int accept_tag_ = 0;
};

TEST_F(EndpointPairTest, QueuedReadCompletesWithItsUserPointer) {
    int tag = 0;
    char buf[5] = {};
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_READ, buf, 5, &tag), WRL_OK);
    EXPECT_TRUE(wrl_net_queued(server_, WRL_NET_READ));
    ASSERT_EQ(wrl_net_write(client_, "hello", 5, 2000), WRL_OK);
    int dir = -1;
    void* user = nullptr;
    ASSERT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_OK);
    EXPECT_EQ(dir, WRL_NET_READ);
    EXPECT_EQ(user, &tag);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_FALSE(wrl_net_queued(server_, WRL_NET_READ));
}

TEST_F(EndpointPairTest, SomeReadCompletesWithWhatArrivedAndTellsHowMuch) {
    int tag = 0;
    char buf[64] = {};
    ASSERT_EQ(wrl_net_queuesome(server_, buf, sizeof buf, &tag), WRL_OK);
    ASSERT_EQ(wrl_net_write(client_, "partial", 7, 2000), WRL_OK);
    int dir = -1;
    void* user = nullptr;
    ASSERT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_OK);
    EXPECT_EQ(dir, WRL_NET_READ);
    EXPECT_EQ(user, &tag);
    EXPECT_EQ(wrl_net_done(server_, WRL_NET_READ), 7u);
    EXPECT_EQ(std::string(buf, 7), "partial");
    // The exact-length read after it is not partial any more.
    ASSERT_EQ(wrl_net_write(client_, "ab", 2, 2000), WRL_OK);
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_READ, buf, 4, &tag), WRL_OK);
    ASSERT_EQ(wrl_net_write(client_, "cd", 2, 2000), WRL_OK);
    ASSERT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_OK);
    EXPECT_EQ(wrl_net_done(server_, WRL_NET_READ), 4u);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(wrl_net_done(nullptr, WRL_NET_READ), 0u);
}

TEST_F(EndpointPairTest, TakeDoneCollectsOnlyACompletedSuccessfulRequest) {
    EXPECT_FALSE(wrl_net_takedone(server_, WRL_NET_WRITE));  // nothing queued
    char small[] = "frame";
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_WRITE, small, 5, nullptr), WRL_OK);
    // A small write to an idle socket goes through at once.
    EXPECT_TRUE(wrl_net_takedone(server_, WRL_NET_WRITE));
    EXPECT_FALSE(wrl_net_queued(server_, WRL_NET_WRITE));
    EXPECT_EQ(wrl_net_done(server_, WRL_NET_WRITE), 5u);
    int dir = -1;
    void* user = nullptr;
    EXPECT_EQ(wrl_net_poll(listen_, &dir, &user), WRL_OK);  // nothing left to collect
    EXPECT_EQ(user, nullptr);
    char got[5];
    ASSERT_EQ(wrl_net_read(client_, got, 5, 2000), WRL_OK);
    EXPECT_EQ(std::string(got, 5), "frame");
    // A read still waiting is left alone.
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_READ, got, 5, nullptr), WRL_OK);
    EXPECT_FALSE(wrl_net_takedone(server_, WRL_NET_READ));
    EXPECT_TRUE(wrl_net_queued(server_, WRL_NET_READ));
    // So is a failed one: the wait reports it.
    wrl_net_destroy(client_);
    client_ = nullptr;
    int rc = 0;
    for (int i = 0; i < 200 && rc != WRL_EBROKEN; ++i) {
        ASSERT_FALSE(wrl_net_takedone(server_, WRL_NET_READ));
        rc = wrl_net_poll(listen_, &dir, &user);
    }
    EXPECT_EQ(rc, WRL_EBROKEN);
    EXPECT_EQ(dir, WRL_NET_READ);
    EXPECT_FALSE(wrl_net_queued(server_, WRL_NET_READ));
}

TEST_F(EndpointPairTest, SecondQueueOnABusyDirectionFailsAndIsLogged) {
    char path[] = "/tmp/wrl_endpoint_logXXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    port::DebugSinkSetPath(path);
    char buf[4];
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_READ, buf, 4, nullptr), WRL_OK);
    EXPECT_EQ(wrl_net_queueio(server_, WRL_NET_READ, buf, 4, nullptr), WRL_EFAIL);
    // The other direction is independent.
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_WRITE, const_cast<char*>("abcd"), 4, nullptr),
              WRL_OK);
    port::DebugSinkSetPath(nullptr);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(path);
    EXPECT_NE(text.str().find("wrl_net_queueio: IO already queued!\n"), std::string::npos);
}

TEST_F(EndpointPairTest, PeerClosingWhileAReadIsQueuedReportsBrokenWithTheUserPointer) {
    int tag = 0;
    char buf[16];
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_READ, buf, sizeof buf, &tag), WRL_OK);
    wrl_net_destroy(client_);
    client_ = nullptr;
    int dir = -1;
    void* user = nullptr;
    EXPECT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_EBROKEN);
    EXPECT_EQ(dir, WRL_NET_READ);
    EXPECT_EQ(user, &tag);
}

TEST_F(EndpointPairTest, WriteLargerThanTheSocketBufferArrivesWholeAndInOrder) {
    const uint32_t size = 8u << 20;
    std::vector<uint8_t> out(size);
    for (uint32_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(i * 2654435761u >> 24);
    int tag = 0;
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_WRITE, out.data(), size, &tag), WRL_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the buffers fill up
    EXPECT_TRUE(wrl_net_queued(server_, WRL_NET_WRITE));
    std::vector<uint8_t> in(size);
    std::thread reader([&] {
        for (uint32_t at = 0; at < size; at += 1u << 20) {
            ASSERT_EQ(wrl_net_read(client_, in.data() + at, 1u << 20, 5000), WRL_OK);
        }
    });
    int dir = -1;
    void* user = nullptr;
    EXPECT_EQ(wrl_net_wait(listen_, &dir, &user), WRL_OK);
    EXPECT_EQ(dir, WRL_NET_WRITE);
    EXPECT_EQ(user, &tag);
    reader.join();
    EXPECT_TRUE(in == out);
}

TEST_F(EndpointPairTest, SynchronousReadTimesOutAndTheEndpointStaysUsable) {
    char buf[4];
    EXPECT_EQ(wrl_net_read(client_, buf, 4, 50), WRL_EFAIL);
    EXPECT_FALSE(wrl_net_queued(client_, WRL_NET_READ));
    EXPECT_EQ(wrl_net_waitreadable(client_, 20000), WRL_ETIMEOUT);
    ASSERT_EQ(wrl_net_queueio(server_, WRL_NET_WRITE, const_cast<char*>("wxyz"), 4, nullptr),
              WRL_OK);
    EXPECT_EQ(wrl_net_waitreadable(client_, 2000000), WRL_OK);
    ASSERT_EQ(wrl_net_read(client_, buf, 4, 2000), WRL_OK);
    EXPECT_EQ(std::string(buf, 4), "wxyz");
}

TEST_F(EndpointPairTest, PollGivesNothingWhenNothingCompleted) {
    int dir = 7;
    void* user = &dir;
    EXPECT_EQ(wrl_net_poll(listen_, &dir, &user), WRL_OK);
    EXPECT_EQ(user, nullptr);
    EXPECT_EQ(dir, -1);
}

TEST_F(EndpointPairTest, AcceptWithoutACompletedAcceptFails) {
    wrl_net* other = nullptr;
    ASSERT_EQ(wrl_net_alloc(&other), WRL_OK);
    EXPECT_EQ(wrl_net_accept(listen_, other), WRL_EFAIL);  // already taken over in SetUp
    ASSERT_EQ(wrl_net_armaccept(listen_, nullptr), WRL_OK);
    EXPECT_EQ(wrl_net_accept(listen_, other), WRL_EFAIL);  // queued, not completed
    EXPECT_EQ(wrl_net_abortaccept(listen_), WRL_OK);
    EXPECT_FALSE(wrl_net_queued(listen_, WRL_NET_ACCEPT));
    wrl_net_free(other);
}

TEST(EndpointTest, ListeningOnAPortInUseGivesTwo) {
    wrl_net* first = nullptr;
    ASSERT_EQ(wrl_net_create(&first), WRL_OK);
    wrl_address a{1, "localhost", 0};
    ASSERT_EQ(wrl_net_listenat(first, &a), WRL_OK);
    const std::string address = "tcpip:localhost," + std::to_string(wrl_net_localport(first));
    wrl_net* second = nullptr;
    ASSERT_EQ(wrl_net_create(&second), WRL_OK);
    EXPECT_EQ(wrl_net_listen(second, address.c_str()), WRL_EADDRINUSE);
    EXPECT_EQ(wrl_net_listen(second, "tcpip:localhost"), WRL_EFAIL);
    wrl_net_destroy(second);

    wrl_msgsrv* server = reinterpret_cast<wrl_msgsrv*>(&a);
    EXPECT_EQ(wrl_msgsrv_create(address.c_str(), &server), WRL_EADDRINUSE);
    EXPECT_EQ(server, nullptr);
    EXPECT_EQ(wrl_msgsrv_create("serial:COM1,9600", &server), WRL_EFAIL);
    wrl_net_destroy(first);
}

TEST(EndpointTest, ConnectingWhereNobodyListensFails) {
    wrl_net* probe = nullptr;
    ASSERT_EQ(wrl_net_create(&probe), WRL_OK);
    wrl_address a{1, "localhost", 0};
    ASSERT_EQ(wrl_net_listenat(probe, &a), WRL_OK);
    const std::string address = "tcpip:127.0.0.1," + std::to_string(wrl_net_localport(probe));
    wrl_net_destroy(probe);  // the port is free again, nobody listens
    wrl_net* client = nullptr;
    ASSERT_EQ(wrl_net_create(&client), WRL_OK);
    EXPECT_EQ(wrl_net_connect(client, address.c_str()), WRL_EFAIL);
    char buf[1];
    EXPECT_EQ(wrl_net_read(client, buf, 1, 10), WRL_EFAIL);  // not open
    wrl_net_destroy(client);
}

}  // namespace
