// The reading state machine over plain bytes: exact read lengths, split input, bad
// frames and the payload limit.
#include "wirelay/message_server_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "wirelay/wrl_alloc.h"

namespace wrl {
namespace {

std::vector<uint8_t> MakeFrame(uint32_t kind, const char* to, const char* from,
                               const std::string& payload, uint32_t magic = kFrameMagic,
                               uint32_t version = kFrameVersion) {
    FrameHeader h;
    h.magic = magic;
    h.version = version;
    h.kind = kind;
    h.length = static_cast<uint32_t>(payload.size());
    h.priority = 5;
    CopyName(h.to, to);
    CopyName(h.from, from);
    std::vector<uint8_t> out(kHeaderSize + payload.size());
    EncodeHeader(h, out.data());
    std::memcpy(out.data() + kHeaderSize, payload.data(), payload.size());
    return out;
}

struct Taken {
    FrameReader::Step step;
    FrameHeader header;
    std::string payload;
};

// Feeds `bytes` in pieces of `chunk` bytes and collects the messages.
std::vector<Taken> FeedAll(FrameReader& r, const std::vector<uint8_t>& bytes, size_t chunk,
                           FrameReader::Step* last = nullptr) {
    std::vector<Taken> got;
    FrameReader::Step end = FrameReader::Step::kNeedMore;
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        end = r.Feed(bytes.data() + at, n, [&](FrameReader::Step step) {
            Taken t{step, {}, {}};
            uint8_t* block = nullptr;
            uint8_t* payload = nullptr;
            r.TakeMessage(&t.header, &block, &payload);
            if (payload != nullptr)
                t.payload.assign(reinterpret_cast<char*>(payload), t.header.length);
            if (block != nullptr) wrl_free(block);
            got.push_back(t);
            return true;
        });
        if (end != FrameReader::Step::kNeedMore) break;
    }
    if (last != nullptr) *last = end;
    return got;
}

TEST(FrameReaderTest, ReadsHeaderThenNamesAndPayloadInOneRequest) {
    FrameReader r;
    EXPECT_EQ(r.Wanted(), kPrefixSize);
    const auto frame = MakeFrame(kKindNormal, "bob", "alice", "hello");
    std::memcpy(r.Buffer(), frame.data(), kPrefixSize);
    ASSERT_EQ(r.Advance(), FrameReader::Step::kNeedMore);
    EXPECT_EQ(r.Wanted(), kNamesSize + 5);
    std::memcpy(r.Buffer(), frame.data() + kPrefixSize, kNamesSize + 5);
    ASSERT_EQ(r.Advance(), FrameReader::Step::kMessage);
    EXPECT_EQ(r.Wanted(), kPrefixSize);  // already waiting for the next header
    FrameHeader h;
    uint8_t* block = nullptr;
    uint8_t* payload = nullptr;
    r.TakeMessage(&h, &block, &payload);
    EXPECT_STREQ(h.to, "bob");
    EXPECT_STREQ(h.from, "alice");
    EXPECT_EQ(h.priority, 5);
    ASSERT_EQ(h.length, 5u);
    EXPECT_EQ(std::memcmp(payload, "hello", 5), 0);
    wrl_free(block);
}

TEST(FrameReaderTest, EmptyPayloadIsCompleteAfterTheNames) {
    FrameReader r;
    const auto frame = MakeFrame(kKindNormal, "bob", "alice", "");
    std::memcpy(r.Buffer(), frame.data(), kPrefixSize);
    ASSERT_EQ(r.Advance(), FrameReader::Step::kNeedMore);
    EXPECT_EQ(r.Wanted(), kNamesSize);
    std::memcpy(r.Buffer(), frame.data() + kPrefixSize, kNamesSize);
    ASSERT_EQ(r.Advance(), FrameReader::Step::kMessage);
    FrameHeader h;
    uint8_t* block = reinterpret_cast<uint8_t*>(&h);
    uint8_t* payload = nullptr;
    r.TakeMessage(&h, &block, &payload);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(payload, nullptr);
    EXPECT_STREQ(h.to, "bob");
}

TEST(FrameReaderTest, SplitInputGivesTheSameMessagesInOrder) {
    std::vector<uint8_t> stream;
    for (int i = 0; i < 5; ++i) {
        const auto f =
            MakeFrame(kKindNormal, "to", "from", std::string(i * 7, static_cast<char>('a' + i)));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{87}, size_t{1000}}) {
        FrameReader r;
        const auto got = FeedAll(r, stream, chunk);
        ASSERT_EQ(got.size(), 5u) << chunk;
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(got[i].step, FrameReader::Step::kMessage);
            EXPECT_EQ(got[i].payload, std::string(i * 7, static_cast<char>('a' + i)));
        }
    }
}

TEST(FrameReaderTest, IdentifyWithWrongMagicOrVersionEndsReadingWithEmptyNames) {
    for (auto [magic, version] : {std::pair{0x1234u, 18u}, std::pair{kFrameMagic, 17u}}) {
        FrameReader r;
        auto stream = MakeFrame(kKindIdentify, "x", "y", "payload", magic, version);
        const auto more = MakeFrame(kKindNormal, "a", "b", "");
        stream.insert(stream.end(), more.begin(), more.end());
        const auto got = FeedAll(r, stream, 1);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].step, FrameReader::Step::kLastMessage);
        EXPECT_EQ(got[0].header.magic, magic);
        EXPECT_EQ(got[0].header.version, version);
        EXPECT_EQ(got[0].header.length, 0u);
        EXPECT_STREQ(got[0].header.from, "");
        EXPECT_TRUE(r.Stopped());
    }
}

TEST(FrameReaderTest, OtherKindsWithWrongMagicAreDropped) {
    FrameReader r;
    FrameReader::Step last;
    const auto got = FeedAll(r, MakeFrame(kKindNormal, "x", "y", "abc", 0x4444), 200, &last);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(last, FrameReader::Step::kDrop);
    EXPECT_TRUE(r.Stopped());
}

TEST(FrameReaderTest, OversizedPayloadIsDroppedBeforeAnythingIsAllocated) {
    unsigned long m0 = 0;
    wrl_mallocstats_get(&m0, nullptr);
    FrameHeader h;
    h.length = 0xFFFFFFFFu;
    FrameReader r;
    EncodeHeader(h, r.Buffer());
    EXPECT_EQ(r.Advance(), FrameReader::Step::kDrop);
    unsigned long m1 = 0;
    wrl_mallocstats_get(&m1, nullptr);
    EXPECT_EQ(m1, m0);

    FrameReader at_limit;
    h.length = WRL_MAX_PAYLOAD;
    EncodeHeader(h, at_limit.Buffer());
    EXPECT_EQ(at_limit.Advance(), FrameReader::Step::kNeedMore);
    EXPECT_EQ(at_limit.Wanted(), kNamesSize + WRL_MAX_PAYLOAD);
}

TEST(FrameReaderTest, ResetFreesAPartlyReadFrame) {
    unsigned long m0 = 0, f0 = 0;
    wrl_mallocstats_get(&m0, &f0);
    {
        FrameReader r;
        const auto frame = MakeFrame(kKindNormal, "b", "a", "0123456789");
        FeedAll(r, std::vector<uint8_t>(frame.begin(), frame.begin() + 40), 40);
        r.Reset();
        EXPECT_EQ(r.Wanted(), kPrefixSize);
        const auto got = FeedAll(r, frame, 9);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].payload, "0123456789");
    }
    unsigned long m1 = 0, f1 = 0;
    wrl_mallocstats_get(&m1, &f1);
    EXPECT_EQ(m1 - m0, f1 - f0);
}

}  // namespace
}  // namespace wrl
