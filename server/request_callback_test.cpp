// Tests of the message-server callbacks on a socketless server: the acknowledgement
// statuses (0, 7 unknown destination, 8 short payload), the reply's addressing and
// content, and the client count kept by the connect and disconnect handlers.
#include "server/request_callback.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/cdb_request.h"
#include "server/server_state.h"
#include "wirelay/frame.h"
#include "wirelay/message_server_detached.h"
#include "wirelay/wrl_errors.h"

namespace {

struct captured_frame {
    wrl::FrameHeader header;
    std::vector<uint8_t> payload;
};

// One write may carry several frames (the acknowledgement and the reply together).
void collect(uint32_t, const uint8_t* bytes, size_t size, void* user) {
    auto* frames = static_cast<std::vector<captured_frame>*>(user);
    while (size >= wrl::kPrefixSize) {
        captured_frame f;
        wrl::DecodePrefix(bytes, &f.header);
        const size_t frame_size = wrl::FrameSize(f.header.status, f.header.length);
        if (frame_size > size) break;
        if (frame_size >= wrl::kHeaderSize) {
            wrl::DecodeNames(bytes + wrl::kPrefixSize, &f.header);
            f.payload.assign(bytes + wrl::kHeaderSize, bytes + frame_size);
        }
        frames->push_back(f);
        bytes += frame_size;
        size -= frame_size;
    }
}

std::vector<uint8_t> frame(uint32_t kind, const char* to, const char* from, const void* payload,
                           uint32_t length) {
    wrl::FrameHeader h;
    h.kind = kind;
    h.length = length;
    wrl::CopyName(h.to, to);
    wrl::CopyName(h.from, from);
    std::vector<uint8_t> bytes(wrl::kHeaderSize + length);
    wrl::EncodeHeader(h, bytes.data());
    if (length > 0) std::memcpy(bytes.data() + wrl::kHeaderSize, payload, length);
    return bytes;
}

class RequestCallback : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(wrl::CreateDetachedServer(collect, &frames_, &server_), WRL_OK);
        register_server_handlers(server_);
        ASSERT_EQ(wrl::AttachClient(server_, &client_), WRL_OK);
        server_state().connected_clients = 0;
        feed(frame(wrl::kKindIdentify, "", "cb-alice", nullptr, 0));
        ASSERT_EQ(frames_.size(), 1u);
        EXPECT_EQ(frames_[0].header.status, WRL_OK);  // identified
        frames_.clear();
    }
    void TearDown() override {
        detach();
        wrl_msgsrv_close(server_);
    }
    // Both run the handlers, whose log lines are kept in log_.
    void feed(const std::vector<uint8_t>& bytes) {
        ::testing::internal::CaptureStdout();
        const int rc = wrl::FeedClient(server_, client_, bytes.data(), bytes.size());
        log_ += ::testing::internal::GetCapturedStdout();
        ASSERT_EQ(rc, WRL_OK);
    }
    void detach() {
        ::testing::internal::CaptureStdout();
        wrl::DetachClient(server_, client_);
        log_ += ::testing::internal::GetCapturedStdout();
    }

    // The frames sent so far as "kind status to<from payload-size; ...", then forgotten.
    std::string take_frames() {
        std::string text;
        for (const captured_frame& f : frames_)
            text += (text.empty() ? "" : "; ") + std::string(wrl::KindName(f.header.kind)) + " " +
                    std::to_string(f.header.status) + " " + f.header.to + "<" + f.header.from +
                    " " + std::to_string(f.payload.size());
        frames_.clear();
        return text;
    }

    wrl_msgsrv* server_ = nullptr;
    uint32_t client_ = 0;
    std::vector<captured_frame> frames_;
    std::string log_;
};

TEST_F(RequestCallback, RequestIsAcknowledgedThenAnsweredToItsDestination) {
    EXPECT_EQ(server_state().connected_clients, 1);
    cdb_request r{};
    r.query = CDB_TEST_CONNECTION;
    r.result = 5;
    feed(frame(wrl::kKindNormal, "cb-alice", "cb-alice", &r, sizeof r));
    ASSERT_EQ(frames_.size(), 2u);
    cdb_request reply;
    std::memcpy(&reply, frames_[1].payload.data(),
                std::min(sizeof reply, frames_[1].payload.size()));
    EXPECT_EQ(take_frames(), "acknowledge 0 ack< 0; normal 0 cb-alice<cb-alice 352");
    EXPECT_EQ(reply.result, 1);
    EXPECT_EQ(reply.error, 0);
}

TEST_F(RequestCallback, RefusedRequestsGetTheirStatusAndNoReply) {
    cdb_request r{};
    r.query = CDB_GET_SERVER_VERSION;
    // A payload shorter than the record is rejected unread; an unknown destination is refused.
    feed(frame(wrl::kKindNormal, "cb-alice", "cb-alice", &r, 100));
    EXPECT_EQ(take_frames(), "acknowledge 8 ack< 0");
    feed(frame(wrl::kKindNormal, "cb-nobody", "cb-alice", &r, sizeof r));
    EXPECT_EQ(take_frames(), "acknowledge 7 ack< 0");
    feed(frame(wrl::kKindNormal, "", "cb-alice", &r, sizeof r));
    EXPECT_EQ(take_frames(), "acknowledge 7 ack< 0");
}

TEST_F(RequestCallback, DisconnectOfTheLastClientResetsTheCount) {
    detach();
    EXPECT_EQ(server_state().connected_clients, 0);
    EXPECT_NE(log_.find("Client 'cb-alice' connected.\n"), std::string::npos);
    EXPECT_NE(log_.find("Client 'cb-alice' disconnected.\n"
                        "No one is connected, clearing the database\n"),
              std::string::npos);
}

}  // namespace
