// Processing of requests and identifies, queueing and client removal, driven through
// socketless clients so that every byte in and out is under the test's control.
#include "wirelay/message_server_detached.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "wirelay/frame.h"
#include "wirelay/message_server_testclient.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

struct Out {
    FrameHeader header;
    std::string payload;
    size_t size;
};

std::vector<uint8_t> Frame(uint32_t kind, const char* to, const char* from, int32_t priority,
                           const std::string& payload = "", uint32_t magic = kFrameMagic,
                           uint32_t version = kFrameVersion) {
    FrameHeader h;
    h.magic = magic;
    h.version = version;
    h.kind = kind;
    h.priority = priority;
    h.length = static_cast<uint32_t>(payload.size());
    CopyName(h.to, to);
    CopyName(h.from, from);
    std::vector<uint8_t> out(kHeaderSize + payload.size());
    EncodeHeader(h, out.data());
    std::memcpy(out.data() + kHeaderSize, payload.data(), payload.size());
    return out;
}

class DetachedServerTest : public testing::Test {
  protected:
    void SetUp() override {
        wrl_mallocstats_get(&mallocs0_, &frees0_);
        ASSERT_EQ(CreateDetachedServer(&DetachedServerTest::Sink, this, &server_), WRL_OK);
    }
    void TearDown() override {
        wrl_msgsrv_close(server_);
        unsigned long m = 0, f = 0;
        wrl_mallocstats_get(&m, &f);
        EXPECT_EQ(m - mallocs0_, f - frees0_) << "every allocation is given back at close";
    }

    // Socketless writes may carry several frames; they are split here.
    static void Sink(uint32_t id, const uint8_t* frame, size_t size, void* user) {
        auto* self = static_cast<DetachedServerTest*>(user);
        while (size >= kPrefixSize) {
            Out o{{}, {}, kPrefixSize};
            DecodePrefix(frame, &o.header);
            if (!IsShortStatus(o.header.status)) {
                DecodeNames(frame + kPrefixSize, &o.header);
                o.payload.assign(reinterpret_cast<const char*>(frame + kHeaderSize),
                                 o.header.length);
                o.size = kHeaderSize + o.header.length;
            }
            ASSERT_LE(o.size, size);
            self->out_[id].push_back(o);
            frame += o.size;
            size -= o.size;
        }
        EXPECT_EQ(size, 0u);
    }

    uint32_t Attach() {
        uint32_t id = 0;
        EXPECT_EQ(AttachClient(server_, &id), WRL_OK);
        return id;
    }
    int Feed(uint32_t id, const std::vector<uint8_t>& bytes) {
        return FeedClient(server_, id, bytes.data(), bytes.size());
    }
    uint32_t Identify(uint32_t id, const char* name) {
        const size_t before = out_[id].size();
        EXPECT_EQ(Feed(id, Frame(kKindIdentify, "", name, 0)), WRL_OK);
        if (out_[id].size() <= before) {
            ADD_FAILURE() << "no identify reply";
            return 999;
        }
        // The reply leaves ahead of anything that waited for the name.
        EXPECT_EQ(out_[id][before].header.kind, kKindIdentify);
        return out_[id][before].header.status;
    }

    wrl_msgsrv* server_ = nullptr;
    std::map<uint32_t, std::vector<Out>> out_;
    unsigned long mallocs0_ = 0, frees0_ = 0;
};

TEST_F(DetachedServerTest, DuplicateAndEmptyNamesAreRefusedAndTheClientMayRetry) {
    const uint32_t a = Attach();
    const uint32_t b = Attach();
    EXPECT_EQ(Identify(a, "alice"), WRL_OK);
    EXPECT_EQ(Identify(b, "alice"), WRL_EDUPLICATE);
    EXPECT_EQ(Identify(b, ""), WRL_EDUPLICATE);
    EXPECT_EQ(Identify(a, "alice"), WRL_EDUPLICATE);  // its own name counts too
    EXPECT_EQ(Identify(b, "bob"), WRL_OK);
    EXPECT_EQ(Identify(a, "carol"), WRL_OK);  // a new name replaces the old one
    EXPECT_EQ(Identify(b, "alice"), WRL_OK);  // ... which is free again
    uint32_t count = 0;
    EXPECT_EQ(wrl_msgsrv_countmsgs(server_, "bob", 0, &count), WRL_EUNKNOWN);
    EXPECT_EQ(wrl_msgsrv_countmsgs(server_, "carol", 0, &count), WRL_OK);
}

TEST_F(DetachedServerTest, MismatchedIdentifyGetsAShortReplyAndTheClientIsClosed) {
    static int disconnects;
    disconnects = 0;
    wrl_msgsrv_setdisconnecthandler(
        server_, [](const char*, void*) { ++disconnects; }, nullptr);
    const uint32_t a = Attach();
    const uint32_t b = Attach();
    ASSERT_EQ(Feed(a, Frame(kKindIdentify, "", "alice", 0, "xyz", 0x1111)), WRL_OK);
    ASSERT_EQ(Feed(b, Frame(kKindIdentify, "", "bob", 0, "", kFrameMagic, 17)), WRL_OK);
    ASSERT_EQ(out_[a].size(), 1u);
    EXPECT_EQ(out_[a][0].size, kPrefixSize);
    EXPECT_EQ(out_[a][0].header.status, WRL_EPROTOCOL);
    EXPECT_EQ(out_[a][0].header.magic, kFrameMagic);  // the server writes its own magic
    EXPECT_EQ(out_[a][0].header.length, 0u);
    ASSERT_EQ(out_[b].size(), 1u);
    EXPECT_EQ(out_[b][0].header.status, WRL_EVERSION);
    EXPECT_FALSE(HasClient(server_, a));
    EXPECT_FALSE(HasClient(server_, b));
    EXPECT_EQ(disconnects, 0);  // neither had identified
}

TEST_F(DetachedServerTest, NormalFrameWithWrongMagicDropsTheClientSilently) {
    const uint32_t a = Attach();
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    // A good request followed by garbage: the acknowledgement (by id) and the relayed copy
    // (by name) were both meant for this connection and leave with it.
    auto bytes = Frame(kKindNormal, "alice", "alice", 0, "ok");
    const auto bad = Frame(kKindNormal, "alice", "alice", 0, "", 0x0102);
    bytes.insert(bytes.end(), bad.begin(), bad.end());
    ASSERT_EQ(Feed(a, bytes), WRL_OK);
    EXPECT_FALSE(HasClient(server_, a));
    EXPECT_EQ(out_[a].size(), 1u);  // only the identify reply
    EXPECT_EQ(QueuedMessages(server_), 0u);
    // A stranger who takes the name later gets nothing of alice's.
    const uint32_t b = Attach();
    ASSERT_EQ(Identify(b, "alice"), WRL_OK);
    EXPECT_EQ(out_[b].size(), 1u);
    EXPECT_EQ(QueuedMessages(server_), 0u);
}

TEST_F(DetachedServerTest, MessagesQueuedForAnOldNameGoWhenTheClientRenamesItself) {
    const uint32_t a = Attach();
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    // The relay to "alice" is queued by name, then the client becomes "carol" before it
    // could be sent: the copy must not wait for the next "alice".
    auto bytes = Frame(kKindNormal, "alice", "alice", 0, "for alice");
    const auto rename = Frame(kKindIdentify, "", "carol", 0);
    bytes.insert(bytes.end(), rename.begin(), rename.end());
    ASSERT_EQ(Feed(a, bytes), WRL_OK);
    const uint32_t b = Attach();
    ASSERT_EQ(Identify(b, "alice"), WRL_OK);
    for (const auto& frame : out_[b]) EXPECT_NE(frame.payload, "for alice");
    EXPECT_EQ(QueuedMessages(server_), 0u);
}

TEST_F(DetachedServerTest, UnknownOrEmptyDestinationGivesStatusSevenAndNoReply) {
    const uint32_t a = Attach();
    const uint32_t b = Attach();  // never identifies: its empty name is no address
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "nobody", "alice", 0, "x")), WRL_OK);
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "", "alice", 0, "x")), WRL_OK);
    ASSERT_EQ(out_[a].size(), 3u);
    EXPECT_EQ(out_[a][1].header.status, WRL_EUNKNOWN);
    EXPECT_EQ(out_[a][2].header.status, WRL_EUNKNOWN);
    EXPECT_TRUE(out_[b].empty());
}

TEST_F(DetachedServerTest, HandlerStatusReachesTheAcknowledgementAndBlocksTheReply) {
    struct State {
        int status = 0;
        bool address = true;
        std::string seen;
    } state;
    wrl_msgsrv_setmsghandler(
        server_,
        [](wrl_msg* req, wrl_msg* reply, void* user) {
            auto* st = static_cast<State*>(user);
            const char* to;
            const char* from;
            int32_t prio;
            void* data;
            uint32_t len;
            wrl_msgsrv_getmsg(req, &to, &from, &prio, &data, &len);
            st->seen = std::string(static_cast<char*>(data), len) + "@" + to + "<" + from;
            const std::string answer = "re:" + std::string(static_cast<char*>(data), len);
            EXPECT_EQ(wrl_msgsrv_setmsg(reply, to, from, prio, answer.data(),
                                        static_cast<uint32_t>(answer.size())),
                      WRL_OK);
            if (st->address) {
                EXPECT_EQ(wrl_msgsrv_addrecipient(reply, from), WRL_OK);
            }
            EXPECT_EQ(wrl_msgsrv_addrecipient(reply, ""), WRL_EFAIL);
            return st->status;
        },
        &state);
    const uint32_t a = Attach();
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "server", "alice", 2, "q1")), WRL_OK);
    EXPECT_EQ(state.seen, "q1@server<alice");
    ASSERT_EQ(out_[a].size(), 3u);
    EXPECT_EQ(out_[a][1].header.kind, 1u);
    EXPECT_EQ(out_[a][1].header.status, WRL_OK);
    EXPECT_EQ(out_[a][2].header.kind, 0u);
    EXPECT_EQ(out_[a][2].payload, "re:q1");
    EXPECT_STREQ(out_[a][2].header.to, "server");

    state.status = static_cast<int>(0x80000008u);  // a user-level status
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "server", "alice", 2, "q2")), WRL_OK);
    ASSERT_EQ(out_[a].size(), 4u);
    EXPECT_EQ(out_[a][3].header.kind, 1u);
    EXPECT_EQ(out_[a][3].header.status, 0x80000008u);

    // A refusal without any addressee keeps the handler's status; success without one is 7.
    state.address = false;
    state.status = 8;
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "server", "alice", 2, "q3")), WRL_OK);
    state.status = 0;
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "server", "alice", 2, "q4")), WRL_OK);
    ASSERT_EQ(out_[a].size(), 6u);
    EXPECT_EQ(out_[a][4].header.status, WRL_EREJECTED);
    EXPECT_EQ(out_[a][5].header.status, WRL_EUNKNOWN);
}

TEST_F(DetachedServerTest, PriorityOrderWithFirstComeAmongEquals) {
    static uint32_t counts[3][2];
    static int calls;
    calls = 0;
    const uint32_t a = Attach();
    const uint32_t b = Attach();
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    ASSERT_EQ(Identify(b, "bob"), WRL_OK);
    wrl_msgsrv_setmsghandler(
        server_,
        [](wrl_msg* req, wrl_msg* reply, void* srv) {
            test::EchoRequest(req, reply, false);
            if (calls < 3) {
                auto* s = static_cast<wrl_msgsrv*>(srv);
                EXPECT_EQ(wrl_msgsrv_countmsgs(s, "bob", 0, &counts[calls][0]), WRL_OK);
                EXPECT_EQ(wrl_msgsrv_countmsgs(s, "bob", 5, &counts[calls][1]), WRL_OK);
            }
            ++calls;
            return 0;
        },
        server_);
    // All four arrive before anything is written, so they meet in the queue.
    std::vector<uint8_t> bytes;
    const int prios[] = {1, 5, 1, 5};
    for (int i = 0; i < 4; ++i) {
        const auto f = Frame(kKindNormal, "bob", "alice", prios[i], "m" + std::to_string(i));
        bytes.insert(bytes.end(), f.begin(), f.end());
    }
    ASSERT_EQ(Feed(a, bytes), WRL_OK);
    ASSERT_EQ(out_[b].size(), 5u);
    EXPECT_EQ(out_[b][1].payload, "m1");
    EXPECT_EQ(out_[b][2].payload, "m3");
    EXPECT_EQ(out_[b][3].payload, "m0");
    EXPECT_EQ(out_[b][4].payload, "m2");
    ASSERT_EQ(out_[a].size(), 5u);
    for (int i = 1; i < 5; ++i) EXPECT_EQ(out_[a][i].header.kind, 1u);
    // Counted inside the handler of the third request: two replies for bob are queued,
    // one of them at priority 5 (the walk stops at the first lower priority).
    EXPECT_EQ(counts[0][0], 0u);
    EXPECT_EQ(counts[2][0], 2u);
    EXPECT_EQ(counts[2][1], 1u);
}

TEST_F(DetachedServerTest, UnknownKindsAreDroppedAndReadingGoesOn) {
    const uint32_t a = Attach();
    ASSERT_EQ(Feed(a, Frame(kKindStatus, "x", "y", 0, "zz")), WRL_OK);
    ASSERT_EQ(Feed(a, Frame(kKindAcknowledge, "x", "y", 0)), WRL_OK);
    EXPECT_TRUE(out_[a].empty());
    EXPECT_TRUE(HasClient(server_, a));
    EXPECT_EQ(Identify(a, "alice"), WRL_OK);
}

TEST_F(DetachedServerTest, MessageIsReleasedOnceNoConnectedRecipientRemains) {
    const uint32_t a = Attach();
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    wrl_msgsrv_setmsghandler(
        server_,
        [](wrl_msg*, wrl_msg* reply, void*) {
            wrl_msgsrv_setmsg(reply, "late", "alice", 0, "hi", 2);
            wrl_msgsrv_addrecipient(reply, "alice");
            wrl_msgsrv_addrecipient(reply, "late");
            wrl_msgsrv_removerecipient(reply, "alice");
            wrl_msgsrv_addrecipient(reply, "alice");
            return 0;
        },
        nullptr);
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "x", "alice", 0)), WRL_OK);
    ASSERT_EQ(out_[a].size(), 3u);
    EXPECT_EQ(out_[a][2].payload, "hi");
    EXPECT_EQ(QueuedMessages(server_), 0u);  // "late" is not connected
    const uint32_t b = Attach();
    ASSERT_EQ(Identify(b, "late"), WRL_OK);
    EXPECT_EQ(out_[b].size(), 1u);
}

TEST_F(DetachedServerTest, SetmsgCopiesFromItsOwnPayloadAndRefusesBadLengths) {
    wrl_msgsrv_setmsghandler(
        server_,
        [](wrl_msg* req, wrl_msg* reply, void*) {
            void* data;
            uint32_t len;
            wrl_msgsrv_getmsg(req, nullptr, nullptr, nullptr, &data, &len);
            EXPECT_EQ(wrl_msgsrv_setmsg(reply, "alice", "srv", 1, data, len), WRL_OK);
            const char* to;
            wrl_msgsrv_getmsg(reply, &to, nullptr, nullptr, &data, &len);
            // Its own names and payload passed back in: the copy is taken before the old goes.
            EXPECT_EQ(wrl_msgsrv_setmsg(reply, to, "srv", 1, data, len - 1), WRL_OK);
            EXPECT_EQ(wrl_msgsrv_setmsg(reply, to, "srv", 1, nullptr, 5), WRL_EFAIL);
            EXPECT_EQ(wrl_msgsrv_setmsg(reply, to, "srv", 1, data, WRL_MAX_PAYLOAD + 1), WRL_EFAIL);
            return wrl_msgsrv_addrecipient(reply, to);
        },
        nullptr);
    const uint32_t a = Attach();
    ASSERT_EQ(Identify(a, "alice"), WRL_OK);
    ASSERT_EQ(Feed(a, Frame(kKindNormal, "srv", "alice", 0, "abcdef")), WRL_OK);
    ASSERT_EQ(out_[a].size(), 3u);
    EXPECT_EQ(out_[a][2].payload, "abcde");
    EXPECT_STREQ(out_[a][2].header.to, "alice");
    EXPECT_STREQ(out_[a][2].header.from, "srv");
}

TEST_F(DetachedServerTest, FramesBeingReceivedAreBoundedForAllClientsTogether) {
    const std::vector<uint8_t> frame = Frame(kKindNormal, "nobody", "x", 0, std::string(1000, 'p'));
    const size_t block = kNamesSize + 1000;
    wrl_msgsrv_setlimits(server_, WRL_MAX_BACKLOG_TOTAL, 2 * block + block / 2);
    const std::vector<uint8_t> head(frame.begin(), frame.begin() + kHeaderSize + 10);
    const std::vector<uint8_t> rest(frame.begin() + kHeaderSize + 10, frame.end());
    uint32_t ids[3];
    for (uint32_t& id : ids) {
        id = Attach();
        ASSERT_EQ(Identify(id, ("c" + std::to_string(id)).c_str()), WRL_OK);
        ASSERT_EQ(Feed(id, head), WRL_OK);  // a frame begun and left unfinished
    }
    EXPECT_TRUE(HasClient(server_, ids[0]));
    EXPECT_TRUE(HasClient(server_, ids[1]));
    EXPECT_FALSE(HasClient(server_, ids[2]));  // its frame would pass the total
    // A finished frame gives its share back: another client's frame fits again.
    ASSERT_EQ(Feed(ids[0], rest), WRL_OK);
    EXPECT_EQ(out_[ids[0]].back().header.status, static_cast<uint32_t>(WRL_EUNKNOWN));
    const uint32_t late = Attach();
    ASSERT_EQ(Feed(late, head), WRL_OK);
    EXPECT_TRUE(HasClient(server_, late));
    // Frames without payload take no share; a removed client gives its share back.
    DetachClient(server_, ids[1]);
    DetachClient(server_, late);
    for (int i = 0; i < 2; ++i) {
        const uint32_t next = Attach();
        ASSERT_EQ(Feed(next, head), WRL_OK);
        EXPECT_TRUE(HasClient(server_, next));
    }
}

TEST_F(DetachedServerTest, ReleaseHandlerIsCalledOnceWhatClientsHoldFallsByAStep) {
    int releases = 0;
    wrl_msgsrv_setreleasehandler(
        server_, [](void* user) { ++*static_cast<int*>(user); }, &releases);
    // Each client begins a frame of 1 MiB and leaves it unfinished: its block is held.
    FrameHeader h;
    h.kind = kKindNormal;
    h.length = 1u << 20;
    std::vector<uint8_t> head(kHeaderSize);
    EncodeHeader(h, head.data());
    std::vector<uint32_t> ids;
    for (int i = 0; i < 6; ++i) {
        ids.push_back(Attach());
        ASSERT_EQ(Feed(ids.back(), head), WRL_OK);
    }
    EXPECT_EQ(releases, 0);
    // 3 MiB fall: less than a step. 3 MiB more: a whole step below the highest.
    for (int i = 0; i < 3; ++i) DetachClient(server_, ids[static_cast<size_t>(i)]);
    EXPECT_EQ(releases, 0);
    DetachClient(server_, ids[3]);
    EXPECT_EQ(releases, 1);
    // The watch restarted at 2 MiB: dropping them is no new step.
    DetachClient(server_, ids[4]);
    DetachClient(server_, ids[5]);
    EXPECT_EQ(releases, 1);
}

}  // namespace
}  // namespace wrl
