// Tests of who runs the TCP/IP interface's event loop: a thread waiting in io_wait or
// io_waitrequest runs it itself, and must still be woken by completions and io_wake from
// other threads; the socket thread must take the loop back once the waiter lets go; two
// waiters share one core; synchronous closes get through while a waiter polls; and many
// quick hand-overs lose no byte. Peers are plain blocking sockets, so only one core is
// involved. Every wait has a generous limit that only a lost wake-up or a deadlock reaches.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "wirelay/io_tcpip.h"

namespace {

constexpr int64_t kLimitUs = 5 * 1000 * 1000;
constexpr auto kLimit = std::chrono::seconds(5);
// Long enough for a started thread to reach its wait; correctness never depends on it.
constexpr auto kSettle = std::chrono::milliseconds(30);

io_request_s* Collect(io_core_s* core, int64_t timeout_us = kLimitUs) {
    if (io_wait(core, timeout_us) != IO_OK) return nullptr;
    io_request_s* r = nullptr;
    return io_getrequest(core, &r) == IO_OK ? r : nullptr;
}

bool SendAll(int fd, const void* data, size_t length) {
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = ::send(fd, p, length, MSG_NOSIGNAL);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Blocking, but the peer sockets give up after kLimit (SO_RCVTIMEO).
bool RecvAll(int fd, void* data, size_t length) {
    char* p = static_cast<char*>(data);
    while (length > 0) {
        const ssize_t n = ::recv(fd, p, length, 0);
        if (n <= 0) return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// For calls nothing can release once they deadlock: the process ends with a message
// instead of hanging in the future's destructor.
template <typename T>
void MustReturn(std::future<T>& f, const char* what) {
    if (f.wait_for(kLimit) == std::future_status::ready) return;
    std::fprintf(stderr, "%s did not return: deadlock\n", what);
    std::abort();
}

class LoopTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(io_init(&core_), IO_OK);
        io_tcpip_addr_s any{};
        ASSERT_EQ(io_open(IO_PASSIVE, core_, IO_IF_TCPIP, &any, &listener_), IO_OK);
        port_ = io_tcpip_localport(listener_);
        ASSERT_GT(port_, 0);
    }
    void TearDown() override {
        if (core_ != nullptr) io_term(core_);
        for (io_request_s* r : requests_) io_freerequest(r);
        for (int fd : peers_) ::close(fd);
    }

    io_request_s* NewRequest(uint32_t kind = IO_READ, void* buffer = nullptr, uint32_t length = 0) {
        io_request_s* r = nullptr;
        if (io_createrequest(&r) != IO_OK) return nullptr;
        requests_.push_back(r);
        r->kind = kind;
        r->buffer = buffer;
        r->length = length;
        return r;
    }

    // Connects a plain socket to the listener; returns the core's side of it, or null.
    io_conn_s* Accept(int* peer) {
        io_request_s* acc = NewRequest(IO_ACCEPT);
        if (acc == nullptr || io_queue(listener_, acc) != IO_OK) return nullptr;
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return nullptr;
        peers_.push_back(fd);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port_));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        timeval limit{5, 0};
        const int one = 1;
        if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0 ||
            ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            return nullptr;
        }
        if (Collect(core_) != acc || acc->result != IO_OK) return nullptr;
        *peer = fd;
        return static_cast<io_conn_s*>(acc->buffer);
    }

    // Whether a waiting thread returns within the limit. One that does not is released so
    // the test can fail instead of hanging: io_wake adds the count it may wait for, and
    // closing the listener is a command that wakes the loop's runner even when the wake-up
    // of pollers is what is broken. Only a true deadlock is left to end the process.
    template <typename T>
    bool Returns(std::future<T>& f) {
        if (f.wait_for(kLimit) == std::future_status::ready) return true;
        io_wake(core_);
        if (listener_ != nullptr) io_close(listener_);
        listener_ = nullptr;
        if (f.wait_for(kLimit) != std::future_status::ready) {
            std::fprintf(stderr, "a waiter is stuck for good\n");
            std::abort();
        }
        return false;
    }

    io_core_s* core_ = nullptr;
    io_conn_s* listener_ = nullptr;
    int port_ = 0;
    std::vector<io_request_s*> requests_;
    std::vector<int> peers_;
};

TEST_F(LoopTest, PollingWaiterSeesAWriteCompletedByAnotherThread) {
    int peer = -1;
    io_conn_s* sc = Accept(&peer);
    ASSERT_NE(sc, nullptr);
    auto waiter = std::async(std::launch::async, [&] { return io_wait(core_, IO_INFINITE); });
    std::this_thread::sleep_for(kSettle);
    char out[] = "taken at once";
    io_request_s* w = NewRequest(IO_WRITE, out, sizeof out);
    uint32_t flags_after_queue = 0;
    std::thread([&] {
        if (io_queue(sc, w) == IO_OK) flags_after_queue = w->flags.load();
    }).join();
    EXPECT_TRUE(flags_after_queue & IO_FLAG_COMPLETED) << "the queueing thread did not send";
    ASSERT_TRUE(Returns(waiter)) << "the polling waiter missed the completion";
    ASSERT_EQ(waiter.get(), IO_OK);
    io_request_s* r = nullptr;
    ASSERT_EQ(io_getrequest(core_, &r), IO_OK);
    ASSERT_EQ(r, w);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(r->done, static_cast<uint32_t>(sizeof out));
    char in[sizeof out] = {};
    ASSERT_TRUE(RecvAll(peer, in, sizeof in));
    EXPECT_STREQ(in, out);
}

TEST_F(LoopTest, WakeReleasesAPollingWaitWithNothingCompleted) {
    auto waiter = std::async(std::launch::async, [&] { return io_wait(core_, IO_INFINITE); });
    std::this_thread::sleep_for(kSettle);
    std::thread([&] { io_wake(core_); }).join();
    ASSERT_TRUE(Returns(waiter)) << "io_wake was lost";
    EXPECT_EQ(waiter.get(), IO_OK);
    io_request_s* r = nullptr;
    EXPECT_EQ(io_getrequest(core_, &r), IO_ENOREQ);
    EXPECT_EQ(r, nullptr);
    EXPECT_EQ(io_semaphorecount(io_completionsemaphore(core_)), 0);
}

// Two threads wait without limit on one core, one polling and one asleep on the semaphore.
// A single completion releases exactly one of them; the other, even when it was the poller
// that saw the count go to the sleeper, waits on instead of reporting a time-out.
TEST_F(LoopTest, TwoUnlimitedWaitersShareCompletionsWithoutATimeOut) {
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> returned{0};
        auto wait = [&] {
            const int rc = io_wait(core_, IO_INFINITE);
            ++returned;
            return rc;
        };
        auto first = std::async(std::launch::async, wait);
        auto second = std::async(std::launch::async, wait);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::thread([&] { io_wake(core_); }).join();
        for (int i = 0; i < 5000 && returned.load() == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(returned.load(), 1) << "round " << round;
        std::thread([&] { io_wake(core_); }).join();
        ASSERT_TRUE(Returns(first));
        ASSERT_TRUE(Returns(second));
        EXPECT_EQ(first.get(), IO_OK) << "round " << round;
        EXPECT_EQ(second.get(), IO_OK) << "round " << round;
        EXPECT_EQ(io_semaphorecount(io_completionsemaphore(core_)), 0);
    }
}

TEST_F(LoopTest, SocketThreadTakesTheLoopBackAfterAWaiterLetGo) {
    int peer = -1;
    io_conn_s* sc = Accept(&peer);
    ASSERT_NE(sc, nullptr);
    // Nothing completes meanwhile, so this waiter surely runs the loop for a while.
    ASSERT_EQ(io_wait(core_, 20000), IO_ETIMEOUT);
    char in[5] = {};
    io_request_s* r = NewRequest(IO_READ, in, sizeof in);
    ASSERT_EQ(io_queue(sc, r), IO_OK);  // nothing there yet: the loop must do it
    ASSERT_TRUE(SendAll(peer, "hello", 5));
    bool completed = false;
    for (int i = 0; i < 5000 && !completed; ++i) {
        completed = (r->flags.load() & IO_FLAG_COMPLETED) != 0;
        if (!completed) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(completed) << "nobody ran the loop while nobody waited";
    ASSERT_EQ(Collect(core_, 0), r);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(std::string(in, 5), "hello");
}

// io_wait collects whatever completes first on the core, so the io_wait thread's read is
// made to complete first; the io_waitrequest thread then still waits on its own.
TEST_F(LoopTest, WaitAndWaitRequestOnOneCoreBothComplete) {
    int pa = -1, pb = -1;
    io_conn_s* a = Accept(&pa);
    io_conn_s* b = Accept(&pb);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    io_settimeout(b, 5000);
    char ina[3] = {}, inb[3] = {};
    io_request_s* ra = NewRequest(IO_READ, ina, 3);
    io_request_s* rb = NewRequest(IO_READ, inb, 3);
    ASSERT_EQ(io_queue(a, ra), IO_OK);
    ASSERT_EQ(io_queue(b, rb), IO_OK);
    auto wa = std::async(std::launch::async, [&] { return Collect(core_); });
    auto wb = std::async(std::launch::async, [&] { return io_waitrequest(rb); });
    std::this_thread::sleep_for(kSettle);
    ASSERT_TRUE(SendAll(pa, "aaa", 3));
    ASSERT_TRUE(Returns(wa));
    EXPECT_EQ(wa.get(), ra);
    EXPECT_EQ(wb.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
    ASSERT_TRUE(SendAll(pb, "bbb", 3));
    ASSERT_EQ(wb.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(wb.get(), IO_OK);
    EXPECT_EQ(rb->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(std::string(ina, 3), "aaa");
    EXPECT_EQ(std::string(inb, 3), "bbb");
    EXPECT_EQ(io_semaphorecount(io_completionsemaphore(core_)), 0);
}

// Two io_waitrequest threads count only their own requests, so either may complete first;
// the one that polls must hand its peer's completion over to the one that sleeps.
TEST_F(LoopTest, TwoWaitRequestsOnOneCoreCompleteInEitherOrder) {
    for (int first : {0, 1}) {
        SCOPED_TRACE("peer sending first: " + std::to_string(first));
        int peer[2] = {-1, -1};
        io_conn_s* conn[2] = {Accept(&peer[0]), Accept(&peer[1])};
        ASSERT_TRUE(conn[0] != nullptr && conn[1] != nullptr);
        char in[2][4] = {};
        io_request_s* r[2];
        std::future<int> w[2];
        for (int i = 0; i < 2; ++i) {
            io_settimeout(conn[i], 5000);
            r[i] = NewRequest(IO_READ, in[i], 4);
            ASSERT_EQ(io_queue(conn[i], r[i]), IO_OK);
            w[i] = std::async(std::launch::async, [&, i] { return io_waitrequest(r[i]); });
        }
        std::this_thread::sleep_for(kSettle);
        for (int k : {first, 1 - first}) {
            ASSERT_TRUE(SendAll(peer[k], k == 0 ? "zero" : "one!", 4));
            ASSERT_EQ(w[k].wait_for(kLimit), std::future_status::ready) << "peer " << k;
            EXPECT_EQ(w[k].get(), IO_OK);
        }
        EXPECT_EQ(std::string(in[0], 4), "zero");
        EXPECT_EQ(std::string(in[1], 4), "one!");
        EXPECT_EQ(io_semaphorecount(io_completionsemaphore(core_)), 0);
    }
}

TEST_F(LoopTest, WaitRequestTimesOutAndTheConnectionStillWorks) {
    int peer = -1;
    io_conn_s* sc = Accept(&peer);
    ASSERT_NE(sc, nullptr);
    io_settimeout(sc, 50);
    char in[4] = {};
    io_request_s* r = NewRequest(IO_READ, in, 4);
    ASSERT_EQ(io_queue(sc, r), IO_OK);
    EXPECT_EQ(io_waitrequest(r), IO_ETIMEOUT);
    EXPECT_TRUE(r->flags.load() & IO_FLAG_QUEUED);
    EXPECT_FALSE(r->flags.load() & IO_FLAG_COMPLETED);
    ASSERT_EQ(io_abort(r), IO_OK);
    EXPECT_FALSE(r->flags.load() & IO_FLAG_QUEUED);
    EXPECT_EQ(io_abort(r), IO_EFAIL);  // nothing left to take back

    io_settimeout(sc, 5000);
    ASSERT_EQ(io_queue(sc, r), IO_OK);
    ASSERT_TRUE(SendAll(peer, "late", 4));
    ASSERT_EQ(io_waitrequest(r), IO_OK);
    EXPECT_EQ(r->result, static_cast<uint32_t>(IO_OK));
    EXPECT_EQ(std::string(in, 4), "late");
    EXPECT_EQ(io_semaphorecount(io_completionsemaphore(core_)), 0);
}

TEST_F(LoopTest, CloseFromAnotherThreadWhileAWaiterPollsDoesNotDeadlock) {
    int pa = -1, pb = -1;
    io_conn_s* a = Accept(&pa);
    io_conn_s* b = Accept(&pb);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    char in[4];
    io_request_s* held = NewRequest(IO_READ, in, 4);
    ASSERT_EQ(io_queue(a, held), IO_OK);  // the loop holds it when the close comes
    auto poller = std::async(std::launch::async, [&] { return io_wait(core_, IO_INFINITE); });
    std::this_thread::sleep_for(kSettle);
    auto closer = std::async(std::launch::async, [&] { return io_close(a); });
    MustReturn(closer, "io_close while a waiter polls");
    EXPECT_EQ(closer.get(), IO_OK);
    EXPECT_FALSE(held->flags.load() & IO_FLAG_QUEUED);
    char eof;
    EXPECT_EQ(::recv(pa, &eof, 1, 0), 0);  // the socket really is closed

    io_wake(core_);
    ASSERT_TRUE(Returns(poller));
    EXPECT_EQ(poller.get(), IO_OK);
    io_request_s* r = nullptr;
    EXPECT_EQ(io_getrequest(core_, &r), IO_ENOREQ);
    // The waiter has just let go: the socket thread stands by and must be kicked.
    closer = std::async(std::launch::async, [&] { return io_close(b); });
    MustReturn(closer, "io_close after the waiter let go");
    EXPECT_EQ(closer.get(), IO_OK);

    auto term = std::async(std::launch::async, [&] { io_term(core_); });
    MustReturn(term, "io_term");
    core_ = nullptr;
}

// Each round hands the loop between the waiter and the socket thread at a different moment
// (the peer pauses now and then past the socket thread's stand-by); a lost or doubled
// hand-over shows as a hang, a short frame or bytes out of order.
TEST_F(LoopTest, ManyRoundTripsThroughTheWaiterKeepEveryByteInOrder) {
    constexpr uint32_t kRounds = 2000;
    int peer = -1;
    io_conn_s* sc = Accept(&peer);
    ASSERT_NE(sc, nullptr);
    auto remote = std::async(std::launch::async, [&]() -> uint32_t {
        std::mt19937 rng(5);
        for (uint32_t i = 0; i < kRounds; ++i) {
            const uint32_t frame[2] = {i, ~i};
            uint32_t answer[2] = {};
            if (!SendAll(peer, frame, sizeof frame) || !RecvAll(peer, answer, sizeof answer) ||
                answer[0] != i || answer[1] != i * 3) {
                return i;
            }
            const unsigned pause = rng() % 16;
            if (pause == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(3));
            else if (pause < 3)
                std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        return kRounds;
    });
    uint32_t frame[2], answer[2];
    io_request_s* rd = NewRequest(IO_READ, frame, sizeof frame);
    io_request_s* wr = NewRequest(IO_WRITE, answer, sizeof answer);
    ASSERT_EQ(io_queue(sc, rd), IO_OK);
    bool write_out = false;
    for (uint32_t i = 0; i < kRounds; ++i) {
        io_request_s* got = Collect(core_);
        if (got == wr) {  // the last answer's completion, collected on the way
            ASSERT_EQ(wr->result, static_cast<uint32_t>(IO_OK));
            write_out = false;
            got = Collect(core_);
        }
        ASSERT_EQ(got, rd) << "round " << i;
        ASSERT_EQ(rd->result, static_cast<uint32_t>(IO_OK));
        ASSERT_EQ(rd->done, static_cast<uint32_t>(sizeof frame));
        ASSERT_EQ(frame[0], i);
        ASSERT_EQ(frame[1], ~i);
        if (write_out) {  // the answer buffer is rewritten only once the last one is out
            ASSERT_EQ(Collect(core_), wr);
            ASSERT_EQ(wr->result, static_cast<uint32_t>(IO_OK));
        }
        answer[0] = i;
        answer[1] = i * 3;
        if (i + 1 < kRounds) {
            ASSERT_EQ(io_queue(sc, rd), IO_OK);
        }
        ASSERT_EQ(io_queue(sc, wr), IO_OK);
        write_out = true;
    }
    if (write_out) {
        ASSERT_EQ(Collect(core_), wr);
    }
    ASSERT_EQ(remote.wait_for(kLimit), std::future_status::ready);
    EXPECT_EQ(remote.get(), kRounds) << "the peer stopped at this round";
}

}  // namespace
