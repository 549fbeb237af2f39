// The message server over real loopback connections, its loop on a thread of its own:
// identify, relaying, handlers and acknowledgements, priorities, bad frames and the
// failures that must end a client but never the server.
#include "wirelay/message_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "port/socket.h"
#include "wirelay/message_server_testclient.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

using test::AppendNormal;
using test::Frame;
using test::ServerRunner;
using test::TestClient;

// Names seen by the connect and disconnect handlers, which run on the loop's thread.
struct Seen {
    std::mutex mu;
    std::vector<std::string> connected;
    std::vector<std::string> disconnected;
    size_t Disconnects() {
        std::lock_guard<std::mutex> g(mu);
        return disconnected.size();
    }
};

void Watch(wrl_msgsrv* s, Seen* seen) {
    wrl_msgsrv_setconnecthandler(
        s,
        [](const char* name, void* u) {
            auto* st = static_cast<Seen*>(u);
            std::lock_guard<std::mutex> g(st->mu);
            st->connected.push_back(name);
            return 0;
        },
        seen);
    wrl_msgsrv_setdisconnecthandler(
        s,
        [](const char* name, void* u) {
            auto* st = static_cast<Seen*>(u);
            std::lock_guard<std::mutex> g(st->mu);
            st->disconnected.push_back(name);
        },
        seen);
}

bool WaitFor(const std::function<bool()>& cond, int timeout_ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

TEST(MessageServerTest, IdentifyDuplicateAndReidentify) {
    Seen seen;
    ServerRunner run([&](wrl_msgsrv* s) { Watch(s, &seen); });
    ASSERT_TRUE(run.ok());
    TestClient a, b;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_TRUE(b.Connect(run.port()));
    EXPECT_EQ(a.Identify("alice"), WRL_OK);
    EXPECT_EQ(b.Identify("alice"), WRL_EDUPLICATE);
    EXPECT_EQ(b.Identify(""), WRL_EDUPLICATE);
    EXPECT_EQ(b.Identify("bob"), WRL_OK);
    EXPECT_EQ(b.Identify("robert"), WRL_OK);
    std::lock_guard<std::mutex> g(seen.mu);
    EXPECT_EQ(seen.connected, (std::vector<std::string>{"alice", "bob", "robert"}));
}

TEST(MessageServerTest, MismatchedIdentifyGetsAShortReplyAndIsClosed) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    for (auto [magic, version, status] :
         {std::tuple{0x7777u, 18u, WRL_EPROTOCOL}, std::tuple{kFrameMagic, 19u, WRL_EVERSION}}) {
        TestClient c;
        ASSERT_TRUE(c.Connect(run.port()));
        FrameHeader h;
        h.magic = magic;
        h.version = version;
        h.kind = kKindIdentify;
        CopyName(h.from, "x");
        ASSERT_TRUE(c.Send(h));
        Frame f;
        ASSERT_TRUE(c.Receive(&f));
        EXPECT_EQ(f.wire_size, kPrefixSize);
        EXPECT_EQ(f.header.status, status);
        EXPECT_EQ(f.header.kind, kKindIdentify);
        EXPECT_EQ(f.header.length, 0u);
        EXPECT_TRUE(c.ClosedByPeer());
    }
    TestClient ok;
    ASSERT_TRUE(ok.Connect(run.port()));
    EXPECT_EQ(ok.Identify("x"), WRL_OK);
}

TEST(MessageServerTest, NormalFrameWithWrongMagicDropsTheConnectionWithoutReply) {
    Seen seen;
    ServerRunner run([&](wrl_msgsrv* s) { Watch(s, &seen); });
    ASSERT_TRUE(run.ok());
    TestClient c;
    ASSERT_TRUE(c.Connect(run.port()));
    ASSERT_EQ(c.Identify("carl"), WRL_OK);
    FrameHeader h;
    h.magic = 0x4242;
    CopyName(h.to, "carl");
    ASSERT_TRUE(c.Send(h));
    EXPECT_TRUE(c.ClosedByPeer());
    EXPECT_TRUE(WaitFor([&] { return seen.Disconnects() == 1; }));
}

TEST(MessageServerTest, RelayWithoutHandlerAcknowledgesThenDelivers) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    TestClient a, b;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_TRUE(b.Connect(run.port()));
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    ASSERT_EQ(b.Identify("bob"), WRL_OK);
    ASSERT_TRUE(a.SendNormal("bob", "alice", 7, "relayed payload"));
    ASSERT_TRUE(a.SendNormal("alice", "alice", 0, ""));  // payload length 0, to itself
    Frame f;
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    EXPECT_STREQ(f.header.to, "ack");
    EXPECT_EQ(f.header.status, WRL_OK);
    ASSERT_TRUE(b.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindNormal);
    EXPECT_STREQ(f.header.from, "alice");
    EXPECT_EQ(f.header.priority, 7);
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "relayed payload");
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindNormal);
    EXPECT_EQ(f.header.length, 0u);
    EXPECT_EQ(f.wire_size, kHeaderSize);
}

TEST(MessageServerTest, FramesArrivingTogetherAreAnsweredOneAfterTheOther) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    TestClient a;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    // Three frames in one write, the later ones of higher priority: each is answered before
    // the next is processed, so nothing overtakes.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i)
        AppendNormal(bytes, "alice", "alice", i * 5, "m" + std::to_string(i));
    ASSERT_TRUE(a.SendRaw(bytes.data(), bytes.size()));
    for (int i = 0; i < 3; ++i) {
        Frame f;
        ASSERT_TRUE(a.Receive(&f));
        EXPECT_EQ(f.header.kind, kKindAcknowledge) << i;
        ASSERT_TRUE(a.Receive(&f));
        EXPECT_EQ(f.header.kind, kKindNormal) << i;
        EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "m" + std::to_string(i));
    }
}

TEST(MessageServerTest, FramesTrickledOrBatchedAcrossReadsArriveWhole) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    TestClient a;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    // One frame a byte at a time: many reads, each with whatever came.
    FrameHeader h;
    h.kind = kKindNormal;
    CopyName(h.to, "alice");
    CopyName(h.from, "alice");
    const std::string small = "trickled";
    h.length = static_cast<uint32_t>(small.size());
    std::vector<uint8_t> one(kHeaderSize + small.size());
    EncodeHeader(h, one.data());
    std::memcpy(one.data() + kHeaderSize, small.data(), small.size());
    for (uint8_t b : one) {
        ASSERT_TRUE(a.SendRaw(&b, 1));
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    Frame f;
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), small);
    // Forty frames of 1500 bytes in one write: far more than one read takes, and frames
    // straddle the reads' boundaries.
    std::vector<uint8_t> many;
    for (int i = 0; i < 40; ++i) {
        std::string payload(1500, static_cast<char>('A' + i % 26));
        payload += std::to_string(i);
        h.length = static_cast<uint32_t>(payload.size());
        const size_t at = many.size();
        many.resize(at + kHeaderSize + payload.size());
        EncodeHeader(h, many.data() + at);
        std::memcpy(many.data() + at + kHeaderSize, payload.data(), payload.size());
    }
    ASSERT_TRUE(a.SendRaw(many.data(), many.size()));
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(a.Receive(&f));
        ASSERT_EQ(f.header.kind, kKindAcknowledge) << i;
        ASSERT_TRUE(a.Receive(&f));
        std::string expected(1500, static_cast<char>('A' + i % 26));
        expected += std::to_string(i);
        ASSERT_EQ(std::string(f.payload.begin(), f.payload.end()), expected) << i;
    }
    // Small again after the burst (the reads shrink back to their small halves).
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(a.SendRaw(one.data(), one.size()));
        ASSERT_TRUE(a.Receive(&f));
        ASSERT_TRUE(a.Receive(&f));
        EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), small) << i;
    }
}

// The idle handler runs once everything that has arrived is answered, without waiting for
// more traffic: whatever a handler buffered goes out right after a burst.
TEST(MessageServerTest, IdleHandlerRunsOnceABurstIsAnswered) {
    struct Counts {
        std::atomic<int> handled{0};
        std::atomic<int> handled_at_idle{-1};  // `handled` when the idle handler last ran
    } counts;
    ServerRunner run([&counts](wrl_msgsrv* s) {
        wrl_msgsrv_setmsghandler(
            s, [](wrl_msg*, wrl_msg*, void* u) { return ++static_cast<Counts*>(u)->handled, 0; },
            &counts);
        wrl_msgsrv_setidlehandler(
            s,
            [](void* u) {
                auto* c = static_cast<Counts*>(u);
                c->handled_at_idle.store(c->handled.load());
            },
            &counts);
    });
    ASSERT_TRUE(run.ok());
    TestClient a;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i) AppendNormal(bytes, "nobody", "alice", 0, "");
    ASSERT_TRUE(a.SendRaw(bytes.data(), bytes.size()));
    for (int i = 0; i < 3; ++i) {
        Frame f;
        ASSERT_TRUE(a.Receive(&f));
        EXPECT_EQ(f.header.status, WRL_EUNKNOWN) << i;  // no client of that name
    }
    EXPECT_TRUE(WaitFor([&counts] { return counts.handled_at_idle.load() == 3; }))
        << counts.handled_at_idle.load();
}

TEST(MessageServerTest, UnknownDestinationIsAcknowledgedWithSevenAndNothingElse) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    TestClient a;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    ASSERT_TRUE(a.SendNormal("nobody", "alice", 0, "lost"));
    Frame f;
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    EXPECT_EQ(f.header.status, WRL_EUNKNOWN);
    EXPECT_TRUE(a.Silent(100));
}

TEST(MessageServerTest, HandlerStatusIsAcknowledgedBeforeTheReply) {
    static std::atomic<int> status{0};
    status = 0;
    ServerRunner run([](wrl_msgsrv* s) {
        wrl_msgsrv_setmsghandler(
            s,
            [](wrl_msg* req, wrl_msg* reply, void*) {
                const char* to;
                const char* from;
                int32_t prio;
                void* data;
                uint32_t len;
                wrl_msgsrv_getmsg(req, &to, &from, &prio, &data, &len);
                static_cast<char*>(data)[0] = 'R';  // the payload may be changed in place
                wrl_msgsrv_setmsg(reply, to, from, prio, data, len);
                wrl_msgsrv_addrecipient(reply, from);
                return status.load();
            },
            nullptr);
    });
    ASSERT_TRUE(run.ok());
    TestClient a;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    ASSERT_TRUE(a.SendNormal("server", "alice", 3, "request"));
    Frame f;
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    EXPECT_EQ(f.header.status, WRL_OK);
    EXPECT_EQ(f.header.priority, 4);
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindNormal);
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "Request");
    EXPECT_STREQ(f.header.to, "server");

    status = 8;
    ASSERT_TRUE(a.SendNormal("server", "alice", 3, "request"));
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_EQ(f.header.kind, kKindAcknowledge);
    EXPECT_EQ(f.header.status, WRL_EREJECTED);
    EXPECT_TRUE(a.Silent(100));
}

TEST(MessageServerTest, NamesOfThirtyTwoCharactersTravelWhole) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    const char* name = "0123456789abcdefghijklmnopqrstuv";
    ASSERT_EQ(std::strlen(name), 32u);
    TestClient a;
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(a.Identify(name), WRL_OK);
    ASSERT_TRUE(a.SendNormal(name, name, 0, "x"));
    Frame f;
    ASSERT_TRUE(a.Receive(&f));
    ASSERT_TRUE(a.Receive(&f));
    EXPECT_STREQ(f.header.to, name);
    EXPECT_STREQ(f.header.from, name);
}

TEST(MessageServerTest, BusyClientGetsQueuedMessagesByPriorityThenFirstCome) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    TestClient a, b;
    ASSERT_TRUE(b.SmallReceiveBuffer());
    ASSERT_TRUE(b.Connect(run.port()));
    ASSERT_TRUE(a.Connect(run.port()));
    ASSERT_EQ(b.Identify("bob"), WRL_OK);
    ASSERT_EQ(a.Identify("alice"), WRL_OK);
    // Bob does not read: the server's write of this frame cannot finish, so bob stays busy.
    std::string big(WRL_MAX_PAYLOAD, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 256);
    ASSERT_TRUE(a.SendNormal("bob", "alice", 0, big));
    Frame f;
    ASSERT_TRUE(a.Receive(&f));
    ASSERT_EQ(f.header.status, WRL_OK);
    const int prios[] = {1, 5, 1, 5};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(a.SendNormal("bob", "alice", prios[i], "m" + std::to_string(i)));
        ASSERT_TRUE(a.Receive(&f));
        ASSERT_EQ(f.header.kind, kKindAcknowledge);
        ASSERT_EQ(f.header.status, WRL_OK);
    }
    ASSERT_TRUE(b.Receive(&f, 10000));
    ASSERT_EQ(f.payload.size(), big.size());
    EXPECT_TRUE(std::string(f.payload.begin(), f.payload.end()) == big);
    for (const char* expected : {"m1", "m3", "m0", "m2"}) {
        ASSERT_TRUE(b.Receive(&f));
        EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), expected);
    }
}

TEST(MessageServerTest, DisconnectHandlerOnlyForIdentifiedClients) {
    Seen seen;
    ServerRunner run([&](wrl_msgsrv* s) { Watch(s, &seen); });
    ASSERT_TRUE(run.ok());
    {
        TestClient anonymous, named;
        ASSERT_TRUE(anonymous.Connect(run.port()));
        ASSERT_TRUE(named.Connect(run.port()));
        ASSERT_EQ(named.Identify("dora"), WRL_OK);
        FrameHeader h;
        ASSERT_TRUE(anonymous.SendRaw(&h, 10));  // half a header, then gone
    }
    ASSERT_TRUE(WaitFor([&] { return seen.Disconnects() >= 1; }));
    // A client that is still unnamed leaves no trace either; give it time to be removed.
    TestClient probe;
    ASSERT_TRUE(probe.Connect(run.port()));
    ASSERT_EQ(probe.Identify("probe"), WRL_OK);
    std::lock_guard<std::mutex> g(seen.mu);
    EXPECT_EQ(seen.disconnected, std::vector<std::string>{"dora"});
}

TEST(MessageServerTest, OversizedFrameEndsThatClientOnly) {
    Seen seen;
    ServerRunner run([&](wrl_msgsrv* s) { Watch(s, &seen); });
    ASSERT_TRUE(run.ok());
    TestClient bad, good;
    ASSERT_TRUE(bad.Connect(run.port()));
    ASSERT_TRUE(good.Connect(run.port()));
    ASSERT_EQ(bad.Identify("greedy"), WRL_OK);
    FrameHeader h;
    h.length = 0xFFFFFFF0u;
    CopyName(h.to, "greedy");
    ASSERT_TRUE(bad.Send(h));
    EXPECT_TRUE(bad.ClosedByPeer());
    EXPECT_FALSE(run.WaitEnded(0));
    ASSERT_EQ(good.Identify("good"), WRL_OK);
    EXPECT_TRUE(WaitFor([&] { return seen.Disconnects() == 1; }));
}

TEST(MessageServerTest, FailedAcceptsNeverEndTheLoop) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    for (int error : {ECONNABORTED, EMFILE, ENOBUFS}) {
        port::InjectAcceptFailures(error, 2);
        TestClient c;
        ASSERT_TRUE(c.Connect(run.port()));
        EXPECT_EQ(c.Identify("late"), WRL_OK) << error;
        EXPECT_FALSE(run.WaitEnded(0));
    }
    port::InjectAcceptFailures(0, 0);
}

TEST(MessageServerTest, PeerVanishingMidFrameLeavesTheServerRunning) {
    ServerRunner run;
    ASSERT_TRUE(run.ok());
    {
        TestClient c;
        ASSERT_TRUE(c.Connect(run.port()));
        ASSERT_EQ(c.Identify("gone"), WRL_OK);
        FrameHeader h;
        h.length = 1000;
        uint8_t head[kHeaderSize];
        EncodeHeader(h, head);
        ASSERT_TRUE(c.SendRaw(head, sizeof head));
        ASSERT_TRUE(c.SendRaw("partial", 7));  // the payload read stays queued
    }
    TestClient again;
    ASSERT_TRUE(again.Connect(run.port()));
    // The name is free again once the first client has been removed.
    EXPECT_TRUE(WaitFor([&] { return again.Identify("gone") == WRL_OK; }));
    EXPECT_EQ(run.Stop(), WRL_ESHUTDOWN);
}

TEST(MessageServerTest, ClientThatNeverReadsIsRemovedOnceItsBacklogOverflows) {
    Seen seen;
    ServerRunner run([&](wrl_msgsrv* s) {
        Watch(s, &seen);
        wrl_msgsrv_setlimits(s, SIZE_MAX, WRL_MAX_RECEIVING_TOTAL);  // its own limit only
    });
    ASSERT_TRUE(run.ok());
    TestClient hog, other;
    ASSERT_TRUE(hog.SmallReceiveBuffer());
    ASSERT_TRUE(hog.Connect(run.port()));
    ASSERT_TRUE(other.Connect(run.port()));
    ASSERT_EQ(hog.Identify("hog"), WRL_OK);
    ASSERT_EQ(other.Identify("other"), WRL_OK);
    // Every request queues its answer for the hog itself, which never reads them.
    const std::string chunk(256 * 1024, 'h');
    int sent = 0;
    while (sent < 1000 && hog.SendNormal("hog", "hog", 0, chunk)) ++sent;
    EXPECT_GT(sent, static_cast<int>(WRL_MAX_BACKLOG / chunk.size()));
    EXPECT_TRUE(hog.DrainUntilClosed());
    EXPECT_TRUE(WaitFor([&] { return seen.Disconnects() == 1; }));
    // Nothing waits for the name any more: a new "hog" starts with an empty queue.
    TestClient again;
    ASSERT_TRUE(again.Connect(run.port()));
    ASSERT_EQ(again.Identify("hog"), WRL_OK);
    EXPECT_TRUE(again.Silent(100));
    ASSERT_TRUE(other.SendNormal("other", "other", 0, "still served"));
    Frame f;
    ASSERT_TRUE(other.Receive(&f));
    ASSERT_TRUE(other.Receive(&f));
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "still served");
}

TEST(MessageServerTest, UnreadAnswersAreBoundedForAllClientsTogether) {
    Seen seen;
    ServerRunner run([&](wrl_msgsrv* s) {
        Watch(s, &seen);
        wrl_msgsrv_setlimits(s, size_t{6} << 20, WRL_MAX_RECEIVING_TOTAL);
    });
    ASSERT_TRUE(run.ok());
    TestClient first, second;
    ASSERT_TRUE(first.SmallReceiveBuffer());
    ASSERT_TRUE(second.SmallReceiveBuffer());
    ASSERT_TRUE(first.Connect(run.port()));
    ASSERT_TRUE(second.Connect(run.port()));
    ASSERT_EQ(first.Identify("first"), WRL_OK);
    ASSERT_EQ(second.Identify("second"), WRL_OK);
    // Each is far within its own allowance; the first leaves 4 MiB unread, the second's
    // answers then take the total past 6 MiB.
    const std::string chunk(256 * 1024, 'h');
    for (int i = 0; i < 16; ++i) ASSERT_TRUE(first.SendNormal("first", "first", 0, chunk));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let the server take them
    int sent = 0;
    while (sent < 64 && second.SendNormal("second", "second", 0, chunk)) ++sent;
    EXPECT_TRUE(second.DrainUntilClosed());
    EXPECT_TRUE(WaitFor([&] { return seen.Disconnects() == 1; }));
    {
        std::lock_guard<std::mutex> g(seen.mu);
        EXPECT_EQ(seen.disconnected, std::vector<std::string>{"second"});
    }
    // The first is still served, and gets every answer it left waiting.
    ASSERT_TRUE(first.SendNormal("first", "first", 0, "still served"));
    Frame f;
    for (int i = 0; i < 2 * 17; ++i) ASSERT_TRUE(first.Receive(&f)) << i;
    EXPECT_EQ(std::string(f.payload.begin(), f.payload.end()), "still served");
}

TEST(MessageServerTest, PeerFilterSeesTheAddressAndClosesRefusedConnectionsAtOnce) {
    struct Peers {
        std::mutex mu;
        std::vector<std::string> seen;  // "family:a.b.c.d"
        bool allow = false;
    } peers;
    ServerRunner run([&](wrl_msgsrv* s) {
        wrl_msgsrv_setpeerfilter(
            s,
            [](int family, const uint8_t* a, void* u) {
                auto* p = static_cast<Peers*>(u);
                std::lock_guard<std::mutex> g(p->mu);
                p->seen.push_back(std::to_string(family) + ":" + std::to_string(a[0]) + "." +
                                  std::to_string(a[1]) + "." + std::to_string(a[2]) + "." +
                                  std::to_string(a[3]));
                return p->allow;
            },
            &peers);
    });
    ASSERT_TRUE(run.ok());
    TestClient refused;
    ASSERT_TRUE(refused.Connect(run.port()));
    EXPECT_TRUE(refused.ClosedByPeer());
    {
        std::lock_guard<std::mutex> g(peers.mu);
        EXPECT_EQ(peers.seen, std::vector<std::string>{"4:127.0.0.1"});
        peers.allow = true;
    }
    TestClient allowed;
    ASSERT_TRUE(allowed.Connect(run.port()));
    EXPECT_EQ(allowed.Identify("welcome"), WRL_OK);
    std::lock_guard<std::mutex> g(peers.mu);
    EXPECT_EQ(peers.seen.size(), 2u);
}

}  // namespace
}  // namespace wrl
