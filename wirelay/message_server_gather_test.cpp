// The message server's gather step: before a batch is finished, the loop waits (as long as
// the gather handler allows) for the clients answered in the previous batch, so that
// clients working in step share one batch handler call.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "wirelay/message_server.h"
#include "wirelay/message_server_testclient.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

using test::Frame;
using test::ServerRunner;
using test::TestClient;

// What the handlers saw, on the loop's thread: messages handled since the last batch call,
// and for every batch call that followed some message, how many there were.
struct Batches {
    std::mutex mu;
    int handled = 0;
    std::vector<int> sizes;
    std::atomic<int64_t> allowance_us{0};

    std::vector<int> Sizes() {
        std::lock_guard<std::mutex> g(mu);
        return sizes;
    }
};

// Every message is answered to its sender with its own payload.
int Echo(wrl_msg* request, wrl_msg* reply, void* user) {
    test::EchoRequest(request, reply, true);
    auto* b = static_cast<Batches*>(user);
    std::lock_guard<std::mutex> g(b->mu);
    ++b->handled;
    return WRL_OK;
}

void Install(wrl_msgsrv* s, Batches* b) {
    wrl_msgsrv_setmsghandler(s, Echo, b);
    wrl_msgsrv_setbatchhandler(
        s,
        [](void* user) {
            auto* st = static_cast<Batches*>(user);
            std::lock_guard<std::mutex> g(st->mu);
            if (st->handled > 0) st->sizes.push_back(st->handled);
            st->handled = 0;
        },
        b);
    wrl_msgsrv_setgatherhandler(
        s, [](void* user) { return static_cast<Batches*>(user)->allowance_us.load(); }, b);
}

// Sends one message and reads its acknowledgement and the echo.
bool RoundTrip(TestClient& c, const char* name, const std::string& payload, int timeout_ms) {
    if (!c.SendNormal("server", name, 0, payload)) return false;
    Frame ack, echo;
    return c.Receive(&ack, timeout_ms) && ack.header.kind == kKindAcknowledge &&
           c.Receive(&echo, timeout_ms) &&
           std::string(echo.payload.begin(), echo.payload.end()) == payload;
}

// Two identified clients; the first has just been answered alone, so the next batch's
// previous one holds it only.
struct TwoClients {
    Batches batches;
    ServerRunner run{[this](wrl_msgsrv* s) { Install(s, &batches); }};
    TestClient a, b;

    bool Start() {
        return run.ok() && a.Connect(run.port()) && b.Connect(run.port()) &&
               a.Identify("anna") == WRL_OK && b.Identify("bert") == WRL_OK &&
               RoundTrip(a, "anna", "warm", 5000);
    }
};

TEST(MessageServerGatherTest, WaitsForTheClientOfThePreviousBatchAndAnswersBothTogether) {
    TwoClients t;
    ASSERT_TRUE(t.Start());
    t.batches.allowance_us = 5'000'000;
    ASSERT_TRUE(t.b.SendNormal("server", "bert", 0, "b1"));
    // Anna was answered in the batch before and has not sent again: Bert's answer waits.
    EXPECT_TRUE(t.b.Silent(150));
    ASSERT_TRUE(t.a.SendNormal("server", "anna", 0, "a1"));
    Frame f;
    ASSERT_TRUE(t.b.Receive(&f, 2000));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    ASSERT_TRUE(t.b.Receive(&f, 2000));
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "b1");
    ASSERT_TRUE(t.a.Receive(&f, 2000));
    ASSERT_TRUE(t.a.Receive(&f, 2000));
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "a1");
    // Identifies answered outside the message handler; the last batch held both messages.
    const std::vector<int> sizes = t.batches.Sizes();
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back(), 2);
}

TEST(MessageServerGatherTest, TheWaitEndsWhenTheAllowancePasses) {
    TwoClients t;
    ASSERT_TRUE(t.Start());
    t.batches.allowance_us = 300'000;
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(RoundTrip(t.b, "bert", "alone", 5000));  // Anna never sends
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(300));
    EXPECT_EQ(t.batches.Sizes().back(), 1);
}

TEST(MessageServerGatherTest, NoWaitWhenEveryClientOfThePreviousBatchHasSentAgain) {
    TwoClients t;
    ASSERT_TRUE(t.Start());
    // An allowance far beyond the time-outs: any wait would fail the round trips.
    t.batches.allowance_us = 60'000'000;
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(RoundTrip(t.a, "anna", "again" + std::to_string(i), 2000)) << i;
}

TEST(MessageServerGatherTest, NoWaitWhenTheHandlerAllowsNone) {
    TwoClients t;
    ASSERT_TRUE(t.Start());
    t.batches.allowance_us = 0;
    EXPECT_TRUE(RoundTrip(t.b, "bert", "at once", 2000));
}

}  // namespace
}  // namespace wrl
