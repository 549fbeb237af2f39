// The serial interface over pseudo-terminal pairs: the test holds the controlling side and
// the interface opens the terminal side like a serial port. Covers reads that return at
// once, writes, refused settings and devices, accepts, aborting a running write, a request
// listed twice, commands from two threads at once, and endpoints on "serial:" addresses.
#include "wirelay/io_serial.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "port/serial.h"
#include "wirelay/endpoint.h"
#include "wirelay/io_core.h"
#include "wirelay/wrl_errors.h"

namespace {

using bytes = std::vector<uint8_t>;

io_serial_addr_s Address(const std::string& device, uint32_t baud = 115200, uint32_t size = 8,
                         uint32_t parity = 0, uint32_t stop = 1) {
    io_serial_addr_s a{};
    std::strncpy(a.device, device.c_str(), IO_SERIAL_DEVICE_MAX);
    a.baud = baud;
    a.bytesize = size;
    a.parity = parity;
    a.stopbits = stop;
    return a;
}

// Everything the controlling side can read within a few polls.
bytes Drain(int fd, size_t at_least) {
    bytes got;
    uint8_t chunk[4096];
    for (int idle = 0; got.size() < at_least || idle < 3;) {
        port::SerialWaitEntry e{fd, true, false, false, false, false};
        port::SerialWait(&e, 1, 50);
        const int64_t n = port::SerialRead(fd, chunk, sizeof chunk);
        if (n > 0) {
            got.insert(got.end(), chunk, chunk + n);
            idle = 0;
        } else {
            ++idle;
            if (idle > 200) break;  // nothing more is coming
        }
    }
    return got;
}

class SerialTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!port::OpenPseudoTerminal(&controller_, &path_)) {
            GTEST_SKIP() << "no pseudo-terminals on this machine";
        }
        ASSERT_EQ(io_init(&core_), IO_OK);
        const io_serial_addr_s a = Address(path_);
        ASSERT_EQ(io_open(IO_ACTIVE, core_, IO_IF_SERIAL, &a, &conn_), IO_OK);
        ASSERT_EQ(io_createrequest(&req_), IO_OK);
    }
    void TearDown() override {
        io_freerequest(req_);
        if (core_ != nullptr) io_term(core_);
        if (controller_ >= 0) close(controller_);
    }

    // Queues and waits for one request; returns its result (or the failing call's code).
    int Run(uint32_t kind, void* buffer, uint32_t length, bool partial = false) {
        req_->kind = kind;
        req_->buffer = buffer;
        req_->length = length;
        req_->partial = partial;
        int rc = io_queue(conn_, req_);
        if (rc == IO_OK) rc = io_waitrequest(req_);
        return rc == IO_OK ? static_cast<int>(req_->result) : rc;
    }

    int controller_ = -1;
    std::string path_;
    io_core_s* core_ = nullptr;
    io_conn_s* conn_ = nullptr;
    io_request_s* req_ = nullptr;
};

TEST_F(SerialTest, AReadReturnsAtOnceWithWhatHasArrived) {
    uint8_t buffer[64];
    EXPECT_EQ(Run(IO_READ, buffer, sizeof buffer), IO_OK);
    EXPECT_EQ(req_->done, 0u);
    ASSERT_EQ(port::SerialWrite(controller_, "hello", 5), 5);
    uint32_t got = 0;
    while (got < 5) {  // waits for at least one byte each time
        ASSERT_EQ(Run(IO_READ, buffer + got, sizeof buffer - got, true), IO_OK);
        EXPECT_GT(req_->done, 0u);
        got += req_->done;
    }
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), got), "hello");
    EXPECT_EQ(Run(IO_READ, buffer, sizeof buffer), IO_OK);
    EXPECT_EQ(req_->done, 0u);
    EXPECT_EQ(Run(IO_READ, nullptr, 0, true), IO_OK);
}

TEST_F(SerialTest, AWriteCompletesOnceEveryByteIsOut) {
    bytes data(200000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + i / 256);
    bytes got;
    std::thread reader([&] { got = Drain(controller_, data.size()); });
    EXPECT_EQ(Run(IO_WRITE, data.data(), static_cast<uint32_t>(data.size())), IO_OK);
    EXPECT_EQ(req_->done, data.size());
    reader.join();
    EXPECT_EQ(got, data);
}

TEST_F(SerialTest, AcceptsAreRefused) {
    req_->kind = IO_ACCEPT;
    EXPECT_EQ(io_queue(conn_, req_), IO_EINVOP);  // an active connection accepts nothing
    EXPECT_EQ(conn_->iface->accept(conn_->iface->context, conn_, nullptr), IO_EINVOP);
    uint8_t b[4];
    EXPECT_LT(conn_->iface->recv(conn_->iface->context, conn_, b, 4), 0);
    EXPECT_LT(conn_->iface->send(conn_->iface->context, conn_, b, 4), 0);
    // A port opened as passive still has nobody to accept: the request fails.
    int other = -1;
    std::string other_path;
    ASSERT_TRUE(port::OpenPseudoTerminal(&other, &other_path));
    const io_serial_addr_s a = Address(other_path);
    io_conn_s* passive = nullptr;
    ASSERT_EQ(io_open(IO_PASSIVE, core_, IO_IF_SERIAL, &a, &passive), IO_OK);
    req_->kind = IO_ACCEPT;
    ASSERT_EQ(io_queue(passive, req_), IO_OK);
    ASSERT_EQ(io_waitrequest(req_), IO_OK);
    EXPECT_EQ(req_->result, static_cast<uint32_t>(IO_EFAIL));
    io_close(passive);
    close(other);
}

TEST_F(SerialTest, RefusedSettingsAndDevicesLeaveNothingOpen) {
    int other = -1;
    std::string other_path;
    ASSERT_TRUE(port::OpenPseudoTerminal(&other, &other_path));
    const std::string missing = "/tmp/wirelay-serial-test-no-such-device";
    unlink(missing.c_str());
    char regular[] = "/tmp/wirelay-serial-test-XXXXXX";
    const int regular_fd = mkstemp(regular);
    ASSERT_GE(regular_fd, 0);
    close(regular_fd);
    struct Case {
        io_serial_addr_s address;
        int expected;
    };
    const Case cases[] = {
        {Address(other_path, 115200, 8, 0, 3), IO_EINVAL},
        {Address(other_path, 115200, 8, 0, 0), IO_EINVAL},
        {Address(other_path, 115200, 9, 0, 1), IO_EINVAL},
        {Address(other_path, 115200, 4, 0, 1), IO_EINVAL},
        {Address(other_path, 12345, 8, 0, 1), IO_EINVAL},
        {Address(other_path, 0, 8, 0, 1), IO_EINVAL},
        {Address(missing), IO_EFAIL},
        {Address(regular), IO_EFAIL},
        {Address(path_), IO_EFAIL},  // taken by the fixture's connection
    };
    for (const Case& c : cases) {
        io_conn_s* conn = nullptr;
        EXPECT_EQ(io_open(IO_ACTIVE, core_, IO_IF_SERIAL, &c.address, &conn), c.expected)
            << c.address.device << " " << c.address.baud << " " << c.address.bytesize << " "
            << c.address.stopbits;
        EXPECT_EQ(conn, nullptr);
    }
    struct stat st;
    EXPECT_NE(stat(missing.c_str(), &st), 0);  // no file was created
    unlink(regular);
    // The refused port was left closed: it opens now, with each parity and stop bits 2.
    for (uint32_t parity : {0u, 1u, 2u, 7u}) {
        const io_serial_addr_s ok = Address(other_path, 9600, 7, parity, 2);
        io_conn_s* conn = nullptr;
        ASSERT_EQ(io_open(IO_ACTIVE, core_, IO_IF_SERIAL, &ok, &conn), IO_OK) << parity;
        io_close(conn);
    }
    close(other);
}

// Aborting a write that the far side does not read stops it: nothing touches the buffer
// after io_abort returns (AddressSanitizer watches the freed buffer), and what went out is
// a prefix of it, sent once.
TEST_F(SerialTest, AnAbortedWriteStopsBeforeItsBufferIsFreed) {
    auto* data = new uint8_t[1 << 20];
    for (size_t i = 0; i < (1u << 20); ++i) data[i] = static_cast<uint8_t>(i % 251);
    req_->kind = IO_WRITE;
    req_->buffer = data;
    req_->length = 1 << 20;
    req_->partial = false;
    ASSERT_EQ(io_queue(conn_, req_), IO_OK);
    // Listed twice is refused by the interface itself, and starts no second transfer.
    EXPECT_EQ(conn_->iface->queue(conn_->iface->context, conn_, req_), IO_EFAIL);
    EXPECT_EQ(io_abort(req_), IO_OK);
    EXPECT_FALSE(req_->flags.load() & (IO_FLAG_QUEUED | IO_FLAG_COMPLETED));
    delete[] data;
    const bytes got = Drain(controller_, 1);
    ASSERT_GT(got.size(), 0u);
    ASSERT_LT(got.size(), 1u << 20);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], i % 251) << i;
    // The connection goes on working.
    ASSERT_EQ(port::SerialWrite(controller_, "z", 1), 1);
    uint8_t b = 0;
    ASSERT_EQ(Run(IO_READ, &b, 1, true), IO_OK);
    EXPECT_EQ(b, 'z');
}

TEST_F(SerialTest, ClosingWithARunningWriteLeavesTheRequestIdle) {
    bytes data(1 << 20, 0x61);
    req_->kind = IO_WRITE;
    req_->buffer = data.data();
    req_->length = static_cast<uint32_t>(data.size());
    ASSERT_EQ(io_queue(conn_, req_), IO_OK);
    EXPECT_EQ(io_close(conn_), IO_OK);
    EXPECT_EQ(req_->conn, nullptr);
    EXPECT_FALSE(req_->flags.load() & IO_FLAG_QUEUED);
    const io_serial_addr_s a = Address(path_);
    ASSERT_EQ(io_open(IO_ACTIVE, core_, IO_IF_SERIAL, &a, &conn_), IO_OK);  // free again
}

TEST_F(SerialTest, AWaitingReadEndsWhenTheOtherSideHangsUp) {
    uint8_t b[8];
    req_->kind = IO_READ;
    req_->buffer = b;
    req_->length = sizeof b;
    req_->partial = true;
    ASSERT_EQ(io_queue(conn_, req_), IO_OK);
    close(controller_);
    controller_ = -1;
    ASSERT_EQ(io_waitrequest(req_), IO_OK);
    EXPECT_NE(req_->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(req_->done, 0u);
}

// Two threads queue and take back requests on two ports of one core at once; each command
// must be acknowledged to its own sender, or a request would be freed while the thread
// still holds it.
TEST_F(SerialTest, CommandsFromTwoThreadsEachGetTheirOwnAcknowledgement) {
    int other = -1;
    std::string other_path;
    ASSERT_TRUE(port::OpenPseudoTerminal(&other, &other_path));
    const io_serial_addr_s a = Address(other_path);
    io_conn_s* second = nullptr;
    ASSERT_EQ(io_open(IO_ACTIVE, core_, IO_IF_SERIAL, &a, &second), IO_OK);
    auto worker = [](io_conn_s* conn, int* failures) {
        for (int i = 0; i < 300; ++i) {
            io_request_s* r = nullptr;
            if (io_createrequest(&r) != IO_OK) {
                ++*failures;
                continue;
            }
            auto* buffer = new uint8_t[16];
            r->kind = IO_READ;
            r->buffer = buffer;
            r->length = 16;
            r->partial = true;  // stays with the serial thread until taken back
            if (io_queue(conn, r) != IO_OK || io_abort(r) != IO_OK) ++*failures;
            if (r->flags.load() & IO_FLAG_QUEUED) ++*failures;
            io_freerequest(r);
            delete[] buffer;
        }
    };
    int failures_a = 0, failures_b = 0;
    std::thread ta(worker, conn_, &failures_a);
    std::thread tb(worker, second, &failures_b);
    ta.join();
    tb.join();
    EXPECT_EQ(failures_a, 0);
    EXPECT_EQ(failures_b, 0);
    io_close(second);
    close(other);
}

TEST(SerialEndpointTest, SerialAddressesOpenEndpointsThatReadWholeFrames) {
    int controller = -1;
    std::string path;
    if (!port::OpenPseudoTerminal(&controller, &path)) GTEST_SKIP() << "no pseudo-terminals";
    wrl_net* ep = nullptr;
    ASSERT_EQ(wrl_net_create(&ep), WRL_OK);
    EXPECT_EQ(wrl_net_listen(ep, ("serial:" + path + ",9600").c_str()), WRL_EFAIL);
    EXPECT_EQ(wrl_net_open(ep, "serial:/tmp/wirelay-serial-test-none,9600"), WRL_EFAIL);
    EXPECT_EQ(wrl_net_open(ep, ("serial:" + path + ",9600,8,0,3").c_str()), WRL_EFAIL);
    ASSERT_EQ(wrl_net_open(ep, ("serial:" + path + ",115200").c_str()), WRL_OK);
    EXPECT_EQ(wrl_net_localport(ep), -1);
    std::thread writer([&] {
        for (const char* piece : {"fra", "me of ", "twenty bytes"}) {
            port::SerialWrite(controller, piece, std::strlen(piece));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    char frame[21] = {};
    EXPECT_EQ(wrl_net_read(ep, frame, 20), WRL_OK);
    writer.join();
    EXPECT_STREQ(frame, "frame of twenty byte");
    EXPECT_EQ(wrl_net_write(ep, "back", 4), WRL_OK);
    const bytes back = Drain(controller, 4);
    EXPECT_EQ(back, (bytes{'b', 'a', 'c', 'k'}));
    char rest = 0;
    EXPECT_EQ(wrl_net_read(ep, &rest, 1, 1000), WRL_OK);
    EXPECT_EQ(rest, 's');
    EXPECT_EQ(wrl_net_read(ep, &rest, 1, 50), WRL_EFAIL);  // nothing more arrives
    wrl_net_destroy(ep);
    close(controller);
}

}  // namespace
