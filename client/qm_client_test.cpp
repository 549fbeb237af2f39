// Tests of the client library against an in-process message server (whose handler the
// test controls) and against raw sockets that misbehave: round trips, refusals, names,
// addresses, time-outs and broken connections.
#include "client/qm_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "wirelay/address.h"
#include "wirelay/message_server.h"
#include "wirelay/wrl_errors.h"

namespace {

using qm::client_c;

// The test handler answers every request with result = query * 10 and error 0, refuses
// query 99 with status 8 ("rejected") and answers query 98 with a 3-byte reply.
int test_handler(wrl_msg* request, wrl_msg* reply, void*) {
    const char* to = nullptr;
    const char* from = nullptr;
    int32_t priority = 0;
    void* payload = nullptr;
    uint32_t length = 0;
    wrl_msgsrv_getmsg(request, &to, &from, &priority, &payload, &length);
    if (length >= CDB_REQUEST_SIZE) {
        cdb_request r;
        std::memcpy(&r, payload, sizeof r);
        if (r.query == 99) return 8;
        if (r.query == 98) length = 3;
        r.result = static_cast<int32_t>(r.query * 10);
        std::memcpy(payload, &r, sizeof r);
    }
    wrl_msgsrv_setmsg(reply, to, from, priority, payload, length);
    wrl_msgsrv_addrecipient(reply, to);
    return 0;
}

class InProcessServer : public ::testing::Test {
  protected:
    void SetUp() override {
        wrl_address address{};
        ASSERT_EQ(wrl_net_parseaddress("tcpip:127.0.0.1,1", &address), WRL_OK);
        address.port = 0;
        ASSERT_EQ(wrl_msgsrv_createat(&address, &server_), WRL_OK);
        wrl_msgsrv_setmsghandler(server_, test_handler, nullptr);
        address_ = "tcpip:127.0.0.1," + std::to_string(wrl_msgsrv_port(server_));
        thread_ = std::thread([this] { wrl_msgsrv_run(server_); });
    }
    void TearDown() override {
        wrl_msgsrv_stop(server_);
        thread_.join();
        wrl_msgsrv_close(server_);
    }
    wrl_msgsrv* server_ = nullptr;
    std::string address_;
    std::thread thread_;
};

TEST_F(InProcessServer, RoundTripsAndTypedHelpers) {
    client_c client;
    ASSERT_EQ(client.connect(address_, "tester"), WRL_OK);
    EXPECT_TRUE(client.connected());
    cdb_request r;
    ASSERT_EQ(client.test_connection(r), WRL_OK);
    EXPECT_EQ(r.query, CDB_TEST_CONNECTION);
    EXPECT_EQ(r.result, 80);
    ASSERT_EQ(client.lock_object("model", 1234, r), WRL_OK);
    EXPECT_EQ(r.result, 50);
    EXPECT_STREQ(r.model_name, "model");
    EXPECT_EQ(cdb_body_object_id(r), 1234);
    ASSERT_EQ(client.lock_drawing("model", "drawing", 9, 2, r), WRL_OK);
    const drawinglocks_row row = cdb_body_row<drawinglocks_row>(r);
    EXPECT_STREQ(row.DrawingName, "drawing");
    EXPECT_EQ(row.ModId, 9);
    EXPECT_EQ(row.LockStatus, 2);
    ASSERT_EQ(client.get_user_and_time_for_modellock("model", 33, r), WRL_OK);
    EXPECT_EQ(r.result, 170);  // the handler overwrote the 33 the helper sent
    // A model name longer than the field is cut, never overflows.
    ASSERT_EQ(client.lock_database(std::string(200, 'x'), r), WRL_OK);
    EXPECT_EQ(std::strlen(r.model_name), 83u);
}

TEST_F(InProcessServer, RefusalsAndRejectedRequests) {
    client_c first, second;
    ASSERT_EQ(first.connect(address_, "same-name"), WRL_OK);
    EXPECT_EQ(second.connect(address_, "same-name"), WRL_EDUPLICATE);
    EXPECT_FALSE(second.connected());
    EXPECT_EQ(qm::client_error_text(9), "duplicate client");
    cdb_request r = qm::make_request(99);
    // Rejected: no reply follows, the connection stays usable.
    EXPECT_EQ(first.call(r), WRL_EREJECTED);
    ASSERT_EQ(first.test_connection(r), WRL_OK);
    EXPECT_EQ(r.result, 80);
    const unsigned char tiny[3] = {1, 2, 3};
    std::vector<unsigned char> reply;
    ASSERT_EQ(first.call_raw(tiny, sizeof tiny, &reply), WRL_OK);  // the handler echoes
    EXPECT_EQ(reply, std::vector<unsigned char>(tiny, tiny + 3));
    r = qm::make_request(98);
    EXPECT_EQ(first.call(r), WRL_EFAIL);  // a 3-byte reply is no request record: closed
    EXPECT_FALSE(first.connected());
    EXPECT_EQ(first.call(r), WRL_ENOCONN);
    EXPECT_EQ(second.connect(address_, "same-name"), WRL_OK);  // the name is free again
}

// A listening socket that accepts (through its backlog) but never answers; once it is
// gone, nothing listens on its port.
class SilentListener {
  public:
    SilentListener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(fd_, 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        address_ = "tcpip:127.0.0.1," + std::to_string(ntohs(addr.sin_port));
    }
    ~SilentListener() { ::close(fd_); }
    const std::string& address() const { return address_; }
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
    std::string address_;
};

TEST(ClientWithoutServer, BadAddressesNamesAndNoListener) {
    std::string released;
    { released = SilentListener().address(); }
    client_c client;
    for (const auto& [address, name] : {std::pair<std::string, std::string>{"nonsense", "n"},
                                        {"tcpip:localhost", "n"},
                                        {"tcpip:127.0.0.1,1", ""},
                                        {"tcpip:127.0.0.1,1", std::string(33, 'n')},
                                        {released, "n"}}) {
        SCOPED_TRACE(address + " " + name);
        EXPECT_EQ(client.connect(address, name), WRL_EFAIL);
        EXPECT_FALSE(client.connected());
    }
    cdb_request r;
    EXPECT_EQ(client.test_connection(r), WRL_ENOCONN);
}

TEST(ClientWithoutServer, SilentServerTimesOutAndAClosedConnectionIsBroken) {
    SilentListener listener;
    client_c client;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.connect(listener.address(), "patient", 200), WRL_ETIMEOUT);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_FALSE(client.connected());

    SilentListener closing;
    std::thread closer([&] {
        const int fd = ::accept(closing.fd(), nullptr, nullptr);
        if (fd >= 0) ::close(fd);
    });
    const int code = client.connect(closing.address(), "abandoned", 3000);
    closer.join();
    EXPECT_EQ(code, 5);
    EXPECT_FALSE(client.connected());
}

}  // namespace
