// Tests of the I/O core against a scripted interface that completes requests only when a
// test says so: codes and texts, queueing rules, collection, abort, close and time-outs.
#include "wirelay/io_core.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "port/debug_sink.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A scripted interface: queue and remove are the core's defaults, I/O happens when a
// test calls io_complete.
struct FakeState {
    int inits = 0;
    int terms = 0;
    int opens = 0;
    int closes = 0;
    int init_result = 0;
    int open_result = 0;
};
FakeState g_fake;

int FakeInit(io_core_s*, void** ctx, io_interface_s*, const void*) {
    ++g_fake.inits;
    *ctx = &g_fake;
    return g_fake.init_result;
}
void FakeTerm(io_core_s*, void*, io_interface_s*) {
    ++g_fake.terms;
}
int FakeOpen(void*, uint32_t, const void*, io_conn_s* conn) {
    ++g_fake.opens;
    conn->handle = 42;
    return g_fake.open_result;
}
int FakeAccept(void*, io_conn_s*, io_conn_s*) {
    return IO_EINVOP;
}
void FakeClose(void*, io_conn_s*) {
    ++g_fake.closes;
}
int64_t FakeRecv(void*, io_conn_s*, void*, uint32_t) {
    return -1;
}
int64_t FakeSend(void*, io_conn_s*, const void*, uint32_t) {
    return -1;
}

const io_interface_s kFakeTable[] = {
    {7, 0, nullptr, FakeInit, FakeTerm, FakeOpen, FakeAccept, FakeClose, io_default_queue,
     io_default_remove, FakeRecv, FakeSend, nullptr, nullptr, nullptr},
    {},
};

class CoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_fake = FakeState{};
        ASSERT_EQ(io_init_with(&core_, kFakeTable), IO_OK);
        ASSERT_EQ(io_open(IO_ACTIVE, core_, 7, nullptr, &active_), IO_OK);
        ASSERT_EQ(io_open(IO_PASSIVE, core_, 7, nullptr, &passive_), IO_OK);
        ASSERT_EQ(io_createrequest(&a_), IO_OK);
        ASSERT_EQ(io_createrequest(&b_), IO_OK);
    }
    void TearDown() override {
        io_term(core_);
        io_freerequest(a_);
        io_freerequest(b_);
    }
    int32_t Completions() { return io_semaphorecount(io_completionsemaphore(core_)); }

    io_core_s* core_ = nullptr;
    io_conn_s* active_ = nullptr;
    io_conn_s* passive_ = nullptr;
    io_request_s* a_ = nullptr;
    io_request_s* b_ = nullptr;
    char buffer_[16] = {};
};

TEST(IoStrerror, KnownAndUnknownCodes) {
    EXPECT_STREQ(io_strerror(IO_OK), "(iolib) ok");
    EXPECT_STREQ(io_strerror(IO_EFAIL), "(iolib) fail");
    EXPECT_STREQ(io_strerror(IO_EBROKEN), "(iolib) connection broken");
    EXPECT_STREQ(io_strerror(IO_ENOREQ), "(iolib) no requests");
    EXPECT_STREQ(io_strerror(IO_EWOULDBLOCK), "(iolib) operation would block");
    EXPECT_STREQ(io_strerror(IO_ETIMEOUT), "(iolib) timeout");
    EXPECT_STREQ(io_strerror(IO_EADDRINUSE), "(iolib) address already in use");
    EXPECT_STREQ(io_strerror(11), "(iolib) unknown error");
    EXPECT_STREQ(io_strerror(12), "(iolib) unknown error");
    EXPECT_STREQ(io_strerror(-1), "(iolib) unknown error");
}

TEST(IoTime, TimeoutArithmetic) {
    EXPECT_EQ(io_wait_timeout_us(1), 10000);
    EXPECT_EQ(io_wait_timeout_us(0), 10000);
    EXPECT_EQ(io_wait_timeout_us(9999), 10000);
    EXPECT_EQ(io_wait_timeout_us(10000), 10000);
    EXPECT_EQ(io_wait_timeout_us(500000), 500000);
    EXPECT_EQ(io_wait_timeout_us(-1), -1);
    EXPECT_EQ(io_semaphore_wait_ms(999), 0);
    EXPECT_EQ(io_semaphore_wait_ms(1000), 1);
    EXPECT_EQ(io_semaphore_wait_ms(1999), 1);
    EXPECT_EQ(io_semaphore_wait_ms(500000), 500);
    EXPECT_EQ(io_semaphore_wait_ms(-1), -1);
}

TEST(IoTime, ElapsedAcrossASecondBoundary) {
    EXPECT_EQ(io_elapsed_between(10, 900000, 11, 100000), 200000);
    EXPECT_EQ(io_elapsed_between(11, 100000, 11, 100000), 0);
    int64_t s = 0;
    int64_t us = 0;
    io_gettime(&s, &us);
    EXPECT_EQ(us % 1000, 0);  // millisecond resolution
    EXPECT_GE(us, 0);
    EXPECT_LT(us, 1000000);
    EXPECT_GE(io_elapsed(s, us), 0);
    EXPECT_LT(io_elapsed(s, us), 5000000);
}

TEST(IoSemaphore, WaitsSignalsAndRefusesOverflow) {
    io_semaphore_s* sem = nullptr;
    ASSERT_EQ(io_createsemaphore(&sem, 0, 3), IO_OK);
    auto start = Clock::now();
    EXPECT_EQ(io_waitsemaphore(sem, 999), IO_ETIMEOUT);  // under a millisecond: no wait
    EXPECT_LT(MsSince(start), 100);                      // generous: a busy machine may preempt us
    start = Clock::now();
    EXPECT_EQ(io_waitsemaphore(sem, 30000), IO_ETIMEOUT);
    EXPECT_GE(MsSince(start), 29);
    EXPECT_EQ(io_signalsemaphore(sem, 2), IO_OK);
    EXPECT_EQ(io_signalsemaphore(sem, 2), IO_EFAIL);  // would pass the maximum of 3
    EXPECT_EQ(io_semaphorecount(sem), 2);
    EXPECT_EQ(io_waitsemaphore(sem, 0), IO_OK);
    EXPECT_EQ(io_waitsemaphore(sem, IO_INFINITE), IO_OK);
    EXPECT_EQ(io_semaphorecount(sem), 0);
    // A sleeper without limit is woken by another thread.
    std::thread t([sem] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        io_signalsemaphore(sem, 1);
    });
    EXPECT_EQ(io_waitsemaphore(sem, IO_INFINITE), IO_OK);
    t.join();
    io_closesemaphore(sem);
    EXPECT_EQ(io_createsemaphore(&sem, 5, 3), IO_EFAIL);
}

// A request's lock is taken on one thread and let go on another when the interface's loop
// changes hands; a second io_lock waits until then, and a lock not taken cannot be let go.
TEST(IoLock, IsLetGoByAnotherThreadAndRefusesAnUnlockWhenFree) {
    io_lock_s* lock = nullptr;
    ASSERT_EQ(io_createlock(&lock), IO_OK);
    EXPECT_EQ(io_unlock(lock), IO_EFAIL);
    ASSERT_EQ(io_lock(lock), IO_OK);
    std::atomic<bool> released{false};
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        released.store(true);
        EXPECT_EQ(io_unlock(lock), IO_OK);
    });
    ASSERT_EQ(io_lock(lock), IO_OK);  // waits for the other thread's unlock
    EXPECT_TRUE(released.load());
    other.join();
    EXPECT_EQ(io_unlock(lock), IO_OK);
    EXPECT_EQ(io_unlock(lock), IO_EFAIL);
    io_closelock(lock);
    EXPECT_EQ(io_lock(nullptr), IO_EFAIL);
}

TEST_F(CoreTest, OpenInitialisesTheInterfaceOncePerCore) {
    EXPECT_EQ(g_fake.inits, 1);
    EXPECT_EQ(g_fake.opens, 2);
    EXPECT_EQ(active_->timeout_ms, -1);
    EXPECT_EQ(active_->mode, IO_ACTIVE);
    EXPECT_EQ(active_->handle, 42);
    io_conn_s* c = nullptr;
    EXPECT_EQ(io_open(IO_ACTIVE, core_, 99, nullptr, &c), IO_ENOIF);
    EXPECT_EQ(io_open(IO_ACTIVE, core_, IO_IF_SERIAL, nullptr, &c), IO_ENOIF);
    g_fake.open_result = IO_EADDRINUSE;
    EXPECT_EQ(io_open(IO_PASSIVE, core_, 7, nullptr, &c), IO_EADDRINUSE);
    EXPECT_EQ(c, nullptr);
}

TEST(IoCore, InitFailureOfTheInterfaceIsReturned) {
    g_fake = FakeState{};
    g_fake.init_result = IO_ENOMEM;
    io_core_s* core = nullptr;
    ASSERT_EQ(io_init_with(&core, kFakeTable), IO_OK);
    io_conn_s* c = nullptr;
    EXPECT_EQ(io_open(IO_ACTIVE, core, 7, nullptr, &c), IO_ENOMEM);
    io_term(core);
    EXPECT_EQ(g_fake.terms, 0);  // never initialised, never terminated
}

TEST_F(CoreTest, QueueRefusesAcceptOnActiveAndUnknownKinds) {
    a_->kind = IO_ACCEPT;
    EXPECT_EQ(io_queue(active_, a_), IO_EINVOP);
    EXPECT_EQ(a_->flags.load(), 0u);
    a_->kind = 3;
    EXPECT_EQ(io_queue(active_, a_), IO_EFAIL);
    EXPECT_EQ(a_->flags.load(), 0u);
    a_->kind = IO_ACCEPT;
    a_->length = 0;
    EXPECT_EQ(io_queue(passive_, a_), IO_OK);
    EXPECT_EQ(a_->length, sizeof(void*));
    EXPECT_EQ(a_->flags.load(), IO_FLAG_ACTIVE | IO_FLAG_QUEUED | IO_FLAG_READ);
    EXPECT_EQ(io_abort(a_), IO_OK);
}

TEST_F(CoreTest, QueueTwiceIsRefusedAndLogged) {
    char path[] = "/tmp/io_core_test_log_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    port::DebugSinkSetPath(path);
    a_->kind = IO_WRITE;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    EXPECT_EQ(io_default_queue(nullptr, active_, a_), IO_EFAIL);
    port::DebugSinkSetPath(nullptr);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("io_default_queue: request 0x"), std::string::npos);
    EXPECT_NE(text.str().find("already queued!\n"), std::string::npos);
    std::remove(path);
    EXPECT_EQ(io_abort(a_), IO_OK);
}

TEST_F(CoreTest, QueueRefusesARequestInFlightAndMissingBuffers) {
    a_->kind = IO_READ;
    a_->buffer = buffer_;
    a_->length = 4;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    a_->done = 3;  // as if the interface had moved three bytes
    EXPECT_EQ(io_queue(passive_, a_), IO_EFAIL);
    EXPECT_EQ(a_->conn, active_);  // untouched
    EXPECT_EQ(a_->done, 3u);
    EXPECT_EQ(io_abort(a_), IO_OK);

    b_->kind = IO_WRITE;
    b_->buffer = nullptr;
    b_->length = 10;
    EXPECT_EQ(io_queue(active_, b_), IO_EINVAL);
    b_->length = 0;  // nothing to move: no buffer needed
    EXPECT_EQ(io_queue(active_, b_), IO_OK);
    EXPECT_EQ(io_queue(nullptr, b_), IO_EINVAL);
    // Freeing a queued request takes it back first.
    io_freerequest(b_);
    ASSERT_EQ(io_createrequest(&b_), IO_OK);
    io_request_s* got = nullptr;
    EXPECT_EQ(io_getrequest(core_, &got), IO_ENOREQ);
}

TEST_F(CoreTest, BusyConnectionsDoNotStarveTheOthers) {
    // `busy` heads the list and has a completion ready again each time one is collected.
    io_conn_s* busy = nullptr;
    ASSERT_EQ(io_open(IO_ACTIVE, core_, 7, nullptr, &busy), IO_OK);
    io_request_s* c = nullptr;
    ASSERT_EQ(io_createrequest(&c), IO_OK);
    a_->kind = IO_READ;
    c->kind = IO_READ;
    ASSERT_EQ(io_queue(busy, a_), IO_OK);
    ASSERT_EQ(io_queue(active_, c), IO_OK);  // the last connection of the list
    io_complete(c, IO_OK);
    io_complete(a_, IO_OK);
    int busy_served = 0;
    bool other_served = false;
    for (int i = 0; i < 4 && !other_served; ++i) {
        io_request_s* got = nullptr;
        ASSERT_EQ(io_wait(core_, 0), IO_OK);
        ASSERT_EQ(io_getrequest(core_, &got), IO_OK);
        if (got == c) {
            other_served = true;
        } else {
            ASSERT_EQ(got, a_);
            ++busy_served;
            ASSERT_EQ(io_queue(busy, a_), IO_OK);
            io_complete(a_, IO_OK);
        }
    }
    EXPECT_TRUE(other_served);
    EXPECT_EQ(busy_served, 1);
    EXPECT_EQ(io_abort(a_), IO_OK);
    io_freerequest(c);
}

TEST_F(CoreTest, GetRequestWithNothingCompleted) {
    io_request_s* got = a_;
    EXPECT_EQ(io_getrequest(core_, &got), IO_ENOREQ);
    EXPECT_EQ(got, nullptr);
    a_->kind = IO_READ;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    EXPECT_EQ(io_getrequest(core_, &got), IO_ENOREQ);  // queued but not completed
    EXPECT_EQ(io_wait(core_, 0), IO_ETIMEOUT);
    EXPECT_EQ(io_abort(a_), IO_OK);
}

TEST_F(CoreTest, CompletedRequestsAreCollectedInListOrder) {
    a_->kind = IO_READ;
    a_->user = &buffer_[0];
    b_->kind = IO_WRITE;
    b_->user = &buffer_[1];
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    ASSERT_EQ(io_queue(active_, b_), IO_OK);
    io_complete(b_, IO_EBROKEN);
    io_complete(a_, IO_OK);
    EXPECT_EQ(Completions(), 2);
    EXPECT_EQ(b_->flags.load(),
              IO_FLAG_WRITE | IO_FLAG_QUEUED | IO_FLAG_COMPLETED | IO_FLAG_FAILED);

    io_request_s* got = nullptr;
    ASSERT_EQ(io_wait(core_, 1000000), IO_OK);
    ASSERT_EQ(io_getrequest(core_, &got), IO_OK);
    EXPECT_EQ(got, a_);  // queue order, not completion order
    EXPECT_EQ(got->user, &buffer_[0]);
    EXPECT_EQ(got->flags.load() & (IO_FLAG_QUEUED | IO_FLAG_ACTIVE), 0u);
    ASSERT_EQ(io_wait(core_, 1000000), IO_OK);
    ASSERT_EQ(io_getrequest(core_, &got), IO_OK);
    EXPECT_EQ(got, b_);
    EXPECT_EQ(got->result, static_cast<uint32_t>(IO_EBROKEN));
    EXPECT_EQ(Completions(), 0);
    EXPECT_EQ(io_semaphorecount(b_->sem), 0);
    // Collected requests may be queued again.
    EXPECT_EQ(io_queue(active_, a_), IO_OK);
    EXPECT_EQ(io_abort(a_), IO_OK);
}

TEST_F(CoreTest, WaitRequestTimesOutAndLeavesTheRequestQueued) {
    a_->kind = IO_READ;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    io_settimeout(active_, 20);
    auto start = Clock::now();
    EXPECT_EQ(io_waitrequest(a_), IO_ETIMEOUT);
    EXPECT_GE(MsSince(start), 19);
    EXPECT_TRUE(a_->flags.load() & IO_FLAG_QUEUED);
    io_complete(a_, IO_OK);
    EXPECT_EQ(io_waitrequest(a_), IO_OK);
    EXPECT_EQ(Completions(), 0);
    EXPECT_FALSE(a_->flags.load() & IO_FLAG_QUEUED);
}

TEST_F(CoreTest, WaitWithoutLimitReturnsWhenAnotherThreadCompletes) {
    a_->kind = IO_READ;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    std::thread t([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        io_complete(a_, IO_OK);
    });
    EXPECT_EQ(io_wait(core_, IO_INFINITE), IO_OK);
    t.join();
    io_request_s* got = nullptr;
    EXPECT_EQ(io_getrequest(core_, &got), IO_OK);
    EXPECT_EQ(got, a_);
}

TEST_F(CoreTest, WaitRaisesShortTimeoutsToTenMilliseconds) {
    auto start = Clock::now();
    EXPECT_EQ(io_wait(core_, 1), IO_ETIMEOUT);
    const int64_t short_wait = MsSince(start);
    EXPECT_GE(short_wait, 9);
    EXPECT_LT(short_wait, 400);
    start = Clock::now();
    EXPECT_EQ(io_wait(core_, 100000), IO_ETIMEOUT);
    EXPECT_GE(MsSince(start), 99);
}

TEST_F(CoreTest, AbortOfAnUnqueuedRequestChangesNothing) {
    a_->flags.store(IO_FLAG_SUSPENDED);
    EXPECT_EQ(io_abort(a_), IO_EFAIL);
    EXPECT_EQ(a_->flags.load(), IO_FLAG_SUSPENDED);
    EXPECT_EQ(Completions(), 0);
}

TEST_F(CoreTest, AbortOfACompletedRequestConsumesItsCounts) {
    a_->kind = IO_READ;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    io_complete(a_, IO_OK);
    EXPECT_EQ(Completions(), 1);
    EXPECT_EQ(io_abort(a_), IO_OK);
    EXPECT_EQ(Completions(), 0);
    EXPECT_EQ(io_semaphorecount(a_->sem), 0);
    EXPECT_EQ(io_abort(a_), IO_EFAIL);  // not queued any more
}

TEST_F(CoreTest, ClosingAConnectionWithTwoCompletedRequestsDropsTwoCounts) {
    io_request_s* c = nullptr;
    ASSERT_EQ(io_createrequest(&c), IO_OK);
    a_->kind = IO_READ;
    b_->kind = IO_WRITE;
    c->kind = IO_READ;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    ASSERT_EQ(io_queue(active_, b_), IO_OK);
    ASSERT_EQ(io_queue(passive_, c), IO_OK);
    io_complete(a_, IO_OK);
    io_complete(b_, IO_OK);
    io_complete(c, IO_OK);
    EXPECT_EQ(Completions(), 3);
    EXPECT_EQ(io_close(active_), IO_OK);
    EXPECT_EQ(g_fake.closes, 1);
    EXPECT_EQ(Completions(), 1);
    // The requests are idle again and carry no stale completion.
    EXPECT_EQ(a_->conn, nullptr);
    EXPECT_FALSE(a_->flags.load() & IO_FLAG_QUEUED);
    EXPECT_EQ(io_semaphorecount(a_->sem), 0);
    EXPECT_EQ(io_abort(b_), IO_EFAIL);
    // The other connection's completion is still collectable.
    io_request_s* got = nullptr;
    ASSERT_EQ(io_wait(core_, 0), IO_OK);
    ASSERT_EQ(io_getrequest(core_, &got), IO_OK);
    EXPECT_EQ(got, c);
    io_freerequest(c);
}

TEST_F(CoreTest, SuspendAndResumeToggleTheFlag) {
    a_->kind = IO_READ;
    ASSERT_EQ(io_queue(active_, a_), IO_OK);
    io_suspend(a_);
    EXPECT_TRUE(a_->flags.load() & IO_FLAG_SUSPENDED);
    io_resume(a_);
    EXPECT_FALSE(a_->flags.load() & IO_FLAG_SUSPENDED);
    EXPECT_EQ(io_abort(a_), IO_OK);
}

TEST_F(CoreTest, AdoptedConnectionsJoinTheCoreAndAreClosedAtTerm) {
    io_conn_s* extra = io_newconn();
    ASSERT_NE(extra, nullptr);
    extra->core = core_;
    extra->iface = active_->iface;
    extra->mode = IO_ACTIVE;
    io_adoptconn(core_, extra);
    a_->kind = IO_READ;
    ASSERT_EQ(io_queue(extra, a_), IO_OK);
    io_complete(a_, IO_OK);
    io_request_s* got = nullptr;
    ASSERT_EQ(io_wait(core_, 0), IO_OK);
    ASSERT_EQ(io_getrequest(core_, &got), IO_OK);
    EXPECT_EQ(got, a_);
    // io_term (TearDown) closes it with the others; the sanitizer build checks the leak.
}

TEST(IoLog, LongLinesAreCutAndEverythingGoesToTheSink) {
    char path[] = "/tmp/io_log_test_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    port::DebugSinkSetPath(path);
    std::string long_text(3000, 'x');
    io_log("start %s\n", long_text.c_str());
    io_log("second %d\n", 7);
    port::DebugSinkSetPath(nullptr);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const std::string got = text.str();
    EXPECT_EQ(got.substr(0, 6), "start ");
    EXPECT_EQ(got.find('\n'), 1022u);  // cut to 1023 characters, still one line
    EXPECT_EQ(got.find("second"), 1023u);
    EXPECT_EQ(got.substr(1023), "second 7\n");
    std::remove(path);
}

}  // namespace
