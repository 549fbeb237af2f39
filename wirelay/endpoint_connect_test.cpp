// Tests of connecting within a time-out: a listener whose backlog is full makes the connect
// time out instead of hanging, a listener with room connects and carries bytes, and refused
// connections and bad addresses fail at once.
#include "wirelay/endpoint_connect.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "wirelay/endpoint.h"
#include "wirelay/wrl_errors.h"

namespace {

// A listening socket on 127.0.0.1 that never accepts.
class Listener {
  public:
    explicit Listener(int backlog) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(fd_, backlog), 0);
        EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length), 0);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() {
        for (int fd : fillers_) ::close(fd);
        ::close(fd_);
    }
    std::string address() const { return "tcpip:127.0.0.1," + std::to_string(port_); }
    int fd() const { return fd_; }
    // Queues connections nobody accepts until the backlog holds no more.
    void fill() {
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(port_));
            ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
            fillers_.push_back(fd);
        }
        ::usleep(100 * 1000);  // let the handshakes that can finish finish
    }

  private:
    int fd_ = -1;
    int port_ = 0;
    std::vector<int> fillers_;
};

TEST(EndpointConnect, AFullBacklogTimesOutInsteadOfHanging) {
    Listener full(0);
    full.fill();
    wrl_net* ep = reinterpret_cast<wrl_net*>(&full);  // must be reset to null
    EXPECT_EQ(wrl_net_createconnected(&ep, full.address().c_str(), 300), WRL_ETIMEOUT);
    EXPECT_EQ(ep, nullptr);
    EXPECT_EQ(wrl_net_createconnected(&ep, full.address().c_str(), 0), WRL_ETIMEOUT);
}

TEST(EndpointConnect, ARoomyListenerConnectsAndCarriesBytes) {
    Listener roomy(8);
    for (int32_t timeout_ms : {2000, -1}) {
        SCOPED_TRACE(timeout_ms);
        wrl_net* ep = nullptr;
        ASSERT_EQ(wrl_net_createconnected(&ep, roomy.address().c_str(), timeout_ms), WRL_OK);
        ASSERT_NE(ep, nullptr);
        const int server_side = ::accept(roomy.fd(), nullptr, nullptr);
        ASSERT_GE(server_side, 0);
        EXPECT_EQ(wrl_net_write(ep, "ping", 4, 2000), WRL_OK);
        char got[4] = {};
        EXPECT_EQ(::recv(server_side, got, sizeof got, MSG_WAITALL), 4);
        EXPECT_EQ(std::string(got, 4), "ping");
        EXPECT_EQ(::send(server_side, "pong", 4, 0), 4);
        EXPECT_EQ(wrl_net_read(ep, got, 4, 2000), WRL_OK);
        EXPECT_EQ(std::string(got, 4), "pong");
        ::close(server_side);
        wrl_net_destroy(ep);
    }
}

TEST(EndpointConnect, RefusedAndMalformedAddressesFailAtOnce) {
    int free_port = 0;
    {
        Listener gone(1);  // its port is free again once it closes
        free_port = std::stoi(gone.address().substr(gone.address().find(',') + 1));
    }
    const std::string refused = "tcpip:127.0.0.1," + std::to_string(free_port);
    for (const char* address : {refused.c_str(), "nonsense", "tcpip:", "tcpip:localhost,99999"}) {
        SCOPED_TRACE(address);
        wrl_net* ep = nullptr;
        EXPECT_EQ(wrl_net_createconnected(&ep, address, 5000), WRL_EFAIL);
        EXPECT_EQ(ep, nullptr);
    }
    EXPECT_EQ(wrl_net_createconnected(nullptr, refused.c_str(), 100), WRL_EFAIL);
    wrl_net* ep = nullptr;
    EXPECT_EQ(wrl_net_createconnected(&ep, nullptr, 100), WRL_EFAIL);
}

}  // namespace
