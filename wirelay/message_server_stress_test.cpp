// Many clients at once: each identifies and relays a long series of messages to itself
// through the server, several in flight at a time. Every message must arrive exactly once
// and in order, and the transport must give back all it allocated.
#include <gtest/gtest.h>
#include <poll.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "wirelay/message_server_testclient.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int kClients = 100;  // the sanitizer slows every byte down
constexpr int kMessages = 500;
#else
constexpr int kClients = 200;
constexpr int kMessages = 1000;
#endif
constexpr int kWindow = 4;  // messages in flight per client

struct Peer {
    test::TestClient sock;
    std::string name;
    std::vector<uint8_t> in;   // bytes received, not yet parsed
    std::vector<uint8_t> out;  // bytes to send
    size_t out_at = 0;
    bool identified = false;
    int sent = 0;
    int acks = 0;
    int delivered = 0;
    std::string error;
};

void QueueFrame(Peer& p, uint32_t kind, int32_t priority, const std::string& payload) {
    FrameHeader h;
    h.kind = kind;
    h.priority = priority;
    h.length = static_cast<uint32_t>(payload.size());
    CopyName(h.to, p.name.c_str());
    CopyName(h.from, p.name.c_str());
    const size_t at = p.out.size();
    p.out.resize(at + kHeaderSize + payload.size());
    EncodeHeader(h, p.out.data() + at);
    std::memcpy(p.out.data() + at + kHeaderSize, payload.data(), payload.size());
}

std::string Payload(const Peer& p, int seq) {
    return p.name + "#" + std::to_string(seq);
}

void TopUp(Peer& p) {
    while (p.identified && p.sent < kMessages && p.sent - p.delivered < kWindow) {
        QueueFrame(p, kKindNormal, p.sent % 3, Payload(p, p.sent));
        ++p.sent;
    }
}

// Parses every whole frame received so far.
void Parse(Peer& p) {
    size_t at = 0;
    while (p.in.size() - at >= kHeaderSize) {
        FrameHeader h;
        DecodePrefix(p.in.data() + at, &h);
        if (p.in.size() - at < kHeaderSize + h.length) break;
        DecodeNames(p.in.data() + at + kPrefixSize, &h);
        const std::string body(reinterpret_cast<const char*>(p.in.data() + at + kHeaderSize),
                               h.length);
        at += kHeaderSize + h.length;
        if (h.status != WRL_OK) p.error = "status " + std::to_string(h.status);
        if (h.kind == kKindIdentify) {
            p.identified = true;
        } else if (h.kind == kKindAcknowledge) {
            ++p.acks;
        } else if (h.kind == kKindNormal) {
            if (body != Payload(p, p.delivered))
                p.error = "got " + body + " at " + std::to_string(p.delivered);
            ++p.delivered;
        }
    }
    p.in.erase(p.in.begin(), p.in.begin() + static_cast<std::ptrdiff_t>(at));
    TopUp(p);
}

TEST(MessageServerStressTest, ManyClientsRelayEveryMessageOnceAndInOrder) {
    unsigned long m0 = 0, f0 = 0;
    wrl_mallocstats_get(&m0, &f0);
    {
        // Departures are counted by the server's own thread, the only one that may look
        // at its registry while the loop runs.
        std::atomic<int> gone{0};
        test::ServerRunner run([&gone](wrl_msgsrv* s) {
            wrl_msgsrv_setdisconnecthandler(
                s, [](const char*, void* user) { ++*static_cast<std::atomic<int>*>(user); }, &gone);
        });
        ASSERT_TRUE(run.ok());
        std::vector<std::unique_ptr<Peer>> peers;
        for (int i = 0; i < kClients; ++i) {
            auto p = std::make_unique<Peer>();
            p->name = "client" + std::to_string(i);
            ASSERT_TRUE(p->sock.Connect(run.port())) << i;
            QueueFrame(*p, kKindIdentify, 0, "");
            peers.push_back(std::move(p));
        }
        std::vector<pollfd> fds(peers.size());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        uint8_t buf[65536];
        for (;;) {
            bool done = true;
            for (size_t i = 0; i < peers.size(); ++i) {
                Peer& p = *peers[i];
                ASSERT_TRUE(p.error.empty()) << p.name << ": " << p.error;
                if (p.delivered < kMessages || p.acks < kMessages) done = false;
                fds[i] = {p.sock.fd(),
                          static_cast<short>(POLLIN | (p.out_at < p.out.size() ? POLLOUT : 0)), 0};
            }
            if (done) break;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "stalled";
            ASSERT_GE(::poll(fds.data(), fds.size(), 1000), 0);
            for (size_t i = 0; i < peers.size(); ++i) {
                Peer& p = *peers[i];
                if (fds[i].revents & POLLOUT) {
                    const ssize_t n = ::send(p.sock.fd(), p.out.data() + p.out_at,
                                             p.out.size() - p.out_at, MSG_NOSIGNAL | MSG_DONTWAIT);
                    if (n > 0) p.out_at += static_cast<size_t>(n);
                    if (p.out_at == p.out.size()) {
                        p.out.clear();
                        p.out_at = 0;
                    }
                }
                if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = ::recv(p.sock.fd(), buf, sizeof buf, MSG_DONTWAIT);
                    ASSERT_NE(n, 0) << p.name << " closed by the server";
                    if (n > 0) {
                        p.in.insert(p.in.end(), buf, buf + n);
                        Parse(p);
                    }
                }
            }
        }
        for (auto& p : peers) {
            EXPECT_EQ(p->delivered, kMessages);
            EXPECT_EQ(p->acks, kMessages);
        }
        peers.clear();  // every client goes away; the server must notice and forget them all
        unsigned long m1 = 0, f1 = 0;
        ASSERT_TRUE([&] {
            for (int i = 0; i < 500 && gone.load() < kClients; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return gone.load() == kClients;
        }()) << gone.load()
             << " of " << kClients << " clients noticed gone";
        wrl_mallocstats_get(&m1, &f1);
        // What stays live is bounded by the server's own caches, not by the traffic.
        EXPECT_LT((m1 - m0) - (f1 - f0), 2000u);
        EXPECT_EQ(run.Stop(), WRL_ESHUTDOWN);
    }
    unsigned long m2 = 0, f2 = 0;
    wrl_mallocstats_get(&m2, &f2);
    EXPECT_EQ(m2 - m0, f2 - f0) << "mallocs and frees balance once the server is closed";
    EXPECT_GT(m2 - m0, static_cast<unsigned long>(kClients * kMessages));
}

}  // namespace
}  // namespace wrl
