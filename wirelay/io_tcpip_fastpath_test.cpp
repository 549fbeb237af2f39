// Tests of the TCP/IP interface's short cuts: transfers that the queueing thread completes
// on its own when the socket is ready, reads that complete with whatever has arrived, the
// order of requests that wait behind one the socket thread holds, and the hand-over of
// reads to a sleeping socket thread without a lost wake-up, over many rounds.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "wirelay/io_tcpip.h"

namespace {

constexpr int64_t kLimitUs = 5 * 1000 * 1000;  // a lost wake-up shows as this time-out

io_request_s* Collect(io_core_s* core, int64_t timeout_us = kLimitUs) {
    if (io_wait(core, timeout_us) != IO_OK) return nullptr;
    io_request_s* r = nullptr;
    return io_getrequest(core, &r) == IO_OK ? r : nullptr;
}

// Waits until `fd` has at least `bytes` readable (so a read queued now finds them there).
bool WaitReadable(int fd, int bytes) {
    for (int i = 0; i < 500; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10) == 1) {
            char probe[4096];
            const ssize_t n = ::recv(fd, probe, sizeof probe, MSG_PEEK | MSG_DONTWAIT);
            if (n >= bytes) return true;
        }
    }
    return false;
}

class FastPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(io_init(&server_), IO_OK);
        ASSERT_EQ(io_init(&client_), IO_OK);
        io_tcpip_addr_s any{};
        ASSERT_EQ(io_open(IO_PASSIVE, server_, IO_IF_TCPIP, &any, &listener_), IO_OK);
        for (io_request_s** r : {&accept_, &r1_, &r2_, &w1_, &cw_}) {
            ASSERT_EQ(io_createrequest(r), IO_OK);
        }
        accept_->kind = IO_ACCEPT;
        ASSERT_EQ(io_queue(listener_, accept_), IO_OK);
        io_tcpip_addr_s to{};
        std::strcpy(to.host, "localhost");
        to.port = io_tcpip_localport(listener_);
        ASSERT_EQ(io_open(IO_ACTIVE, client_, IO_IF_TCPIP, &to, &cc_), IO_OK);
        ASSERT_EQ(Collect(server_), accept_);
        sc_ = static_cast<io_conn_s*>(accept_->buffer);
        ASSERT_NE(sc_, nullptr);
        io_settimeout(cc_, 5000);
    }
    void TearDown() override {
        io_term(client_);
        io_term(server_);
        for (io_request_s* r : {accept_, r1_, r2_, w1_, cw_}) io_freerequest(r);
    }

    // Writes from the client side and waits until it is through.
    void ClientSends(const std::string& bytes) {
        cw_->kind = IO_WRITE;
        cw_->buffer = const_cast<char*>(bytes.data());
        cw_->length = static_cast<uint32_t>(bytes.size());
        ASSERT_EQ(io_queue(cc_, cw_), IO_OK);
        ASSERT_EQ(io_waitrequest(cw_), IO_OK);
        ASSERT_EQ(cw_->result, static_cast<uint32_t>(IO_OK));
    }

    static void Prepare(io_request_s* r, uint32_t kind, void* buffer, uint32_t length,
                        bool partial = false) {
        r->kind = kind;
        r->buffer = buffer;
        r->length = length;
        r->partial = partial;
    }

    io_core_s* server_ = nullptr;
    io_core_s* client_ = nullptr;
    io_conn_s* listener_ = nullptr;
    io_conn_s* sc_ = nullptr;
    io_conn_s* cc_ = nullptr;
    io_request_s* accept_ = nullptr;
    io_request_s* r1_ = nullptr;
    io_request_s* r2_ = nullptr;
    io_request_s* w1_ = nullptr;
    io_request_s* cw_ = nullptr;
};

TEST_F(FastPathTest, ReadOfBytesAlreadyThereAndWriteCompleteBeforeQueueReturns) {
    ClientSends("0123456789");
    ASSERT_TRUE(WaitReadable(sc_->handle, 10));
    char in[10] = {};
    Prepare(r1_, IO_READ, in, 10);
    ASSERT_EQ(io_queue(sc_, r1_), IO_OK);
    EXPECT_TRUE(r1_->flags.load() & IO_FLAG_COMPLETED);  // no socket thread involved
    EXPECT_EQ(r1_->done, 10u);
    EXPECT_EQ(io_semaphorecount(io_completionsemaphore(server_)), 1);
    ASSERT_EQ(Collect(server_), r1_);
    EXPECT_EQ(r1_->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(std::string(in, 10), "0123456789");
    EXPECT_FALSE(r1_->flags.load() & IO_FLAG_QUEUED);
    EXPECT_EQ(io_semaphorecount(io_completionsemaphore(server_)), 0);

    char out[] = "answer";
    Prepare(w1_, IO_WRITE, out, 6);
    ASSERT_EQ(io_queue(sc_, w1_), IO_OK);
    EXPECT_TRUE(w1_->flags.load() & IO_FLAG_COMPLETED);
    ASSERT_EQ(Collect(server_), w1_);
    EXPECT_EQ(w1_->done, 6u);
    char got[6] = {};
    Prepare(r2_, IO_READ, got, 6);
    ASSERT_EQ(io_queue(cc_, r2_), IO_OK);
    ASSERT_EQ(io_waitrequest(r2_), IO_OK);
    EXPECT_EQ(std::string(got, 6), "answer");
}

TEST_F(FastPathTest, PartialReadTakesWhatHasArrivedAtOnceOrLater) {
    ClientSends("abc");
    ASSERT_TRUE(WaitReadable(sc_->handle, 3));
    char in[100] = {};
    Prepare(r1_, IO_READ, in, sizeof in, true);
    ASSERT_EQ(io_queue(sc_, r1_), IO_OK);
    ASSERT_EQ(Collect(server_), r1_);
    EXPECT_EQ(r1_->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(r1_->done, 3u);
    EXPECT_EQ(std::string(in, 3), "abc");

    // Nothing there now: the socket thread completes it when bytes come.
    Prepare(r1_, IO_READ, in, sizeof in, true);
    ASSERT_EQ(io_queue(sc_, r1_), IO_OK);
    EXPECT_EQ(io_wait(server_, 20000), IO_ETIMEOUT);
    ClientSends("defgh");
    ASSERT_EQ(Collect(server_), r1_);
    EXPECT_EQ(r1_->done, 5u);
    EXPECT_EQ(std::string(in, 5), "defgh");

    // A read without the flag still waits for all its bytes.
    Prepare(r2_, IO_READ, in, 4);
    ASSERT_EQ(io_queue(sc_, r2_), IO_OK);
    ClientSends("12");
    EXPECT_EQ(io_wait(server_, 20000), IO_ETIMEOUT);
    ClientSends("34");
    ASSERT_EQ(Collect(server_), r2_);
    EXPECT_EQ(std::string(in, 4), "1234");
}

TEST_F(FastPathTest, PeerGoneBreaksAPartialReadQueuedAfterwards) {
    io_close(cc_);
    cc_ = nullptr;
    char in[16];
    for (int i = 0; i < 50; ++i) {  // the end of stream reaches the socket soon
        Prepare(r1_, IO_READ, in, sizeof in, true);
        ASSERT_EQ(io_queue(sc_, r1_), IO_OK);
        ASSERT_EQ(Collect(server_), r1_);
        if (r1_->result != IO_OK) break;
    }
    EXPECT_EQ(r1_->result, static_cast<uint32_t>(IO_EBROKEN));
    EXPECT_TRUE(r1_->flags.load() & IO_FLAG_FAILED);
}

TEST_F(FastPathTest, ReadQueuedBehindAHeldReadDoesNotOvertakeIt) {
    char a[8] = {}, b[4] = {};
    ClientSends("abcd");
    ASSERT_TRUE(WaitReadable(sc_->handle, 4));
    Prepare(r1_, IO_READ, a, 8);
    ASSERT_EQ(io_queue(sc_, r1_), IO_OK);  // takes 4 at once, waits for 4 more
    EXPECT_FALSE(r1_->flags.load() & IO_FLAG_COMPLETED);
    Prepare(r2_, IO_READ, b, 4);
    ASSERT_EQ(io_queue(sc_, r2_), IO_OK);
    ClientSends("efghIJKL");
    ASSERT_EQ(Collect(server_), r1_);
    ASSERT_EQ(Collect(server_), r2_);
    EXPECT_EQ(std::string(a, 8), "abcdefgh");
    EXPECT_EQ(std::string(b, 4), "IJKL");
}

TEST_F(FastPathTest, AbortOfAReadHandedToTheSocketThreadLetsTheNextOneRead) {
    char in[4] = {};
    Prepare(r1_, IO_READ, in, 4);
    ASSERT_EQ(io_queue(sc_, r1_), IO_OK);  // nothing there: the socket thread holds it
    ASSERT_EQ(io_abort(r1_), IO_OK);
    EXPECT_FALSE(r1_->flags.load() & IO_FLAG_QUEUED);
    ClientSends("wxyz");
    ASSERT_TRUE(WaitReadable(sc_->handle, 4));
    // Whether this one is done at once or by the socket thread, it takes the bytes that
    // the aborted one would have taken, and the aborted one never completes.
    Prepare(r2_, IO_READ, in, 4);
    ASSERT_EQ(io_queue(sc_, r2_), IO_OK);
    ASSERT_EQ(Collect(server_), r2_);
    EXPECT_EQ(std::string(in, 4), "wxyz");
    EXPECT_FALSE(r1_->flags.load() & IO_FLAG_COMPLETED);
    EXPECT_EQ(io_wait(server_, 20000), IO_ETIMEOUT);
}

// A writer thread sends numbered records at uneven moments while the reader queues partial
// reads, sometimes at once, sometimes after a pause in which records pile up with no read
// held. Every byte must arrive, in order, without any read waiting out the limit.
TEST_F(FastPathTest, ManyRoundsOfUnevenTimingLoseNoWakeUp) {
    constexpr int kRecords = 4000;
    std::atomic<bool> writer_ok{true};
    std::thread writer([&] {
        io_request_s* w = nullptr;
        if (io_createrequest(&w) != IO_OK) {
            writer_ok = false;
            return;
        }
        std::mt19937 rng(7);
        uint32_t record[4];
        for (int i = 0; i < kRecords && writer_ok; ++i) {
            for (uint32_t& x : record) x = static_cast<uint32_t>(i);
            Prepare(w, IO_WRITE, record, sizeof record);
            if (io_queue(cc_, w) != IO_OK || io_waitrequest(w) != IO_OK || w->result != IO_OK) {
                writer_ok = false;
            }
            const unsigned pause = rng() % 8;
            if (pause == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            else if (pause == 1)
                std::this_thread::yield();
        }
        io_freerequest(w);
    });
    std::vector<uint8_t> got;
    got.reserve(kRecords * 16);
    uint8_t buf[48];  // smaller than what may pile up, so reads also end full
    std::mt19937 rng(11);
    bool lost = false;
    while (got.size() < kRecords * 16u) {
        // A read of all its bytes must not ask for more than the writer still sends.
        const uint32_t left = static_cast<uint32_t>(kRecords * 16u - got.size());
        Prepare(r1_, IO_READ, buf, std::min<uint32_t>(sizeof buf, left), rng() % 2 == 0);
        ASSERT_EQ(io_queue(sc_, r1_), IO_OK);
        io_request_s* r = Collect(server_);
        if (r != r1_) {
            lost = true;
            break;
        }
        ASSERT_EQ(r->result, static_cast<uint32_t>(IO_OK));
        got.insert(got.end(), buf, buf + r->done);
        if (rng() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    writer_ok = writer_ok && !lost;
    writer.join();
    ASSERT_FALSE(lost) << "a read waited out the limit after " << got.size() << " bytes";
    ASSERT_TRUE(writer_ok);
    for (int i = 0; i < kRecords; ++i) {
        uint32_t record[4];
        std::memcpy(record, got.data() + i * 16, 16);
        for (uint32_t x : record) ASSERT_EQ(x, static_cast<uint32_t>(i)) << "record " << i;
    }
}

}  // namespace
