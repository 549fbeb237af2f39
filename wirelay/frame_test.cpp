// Frame header encoding: exact bytes on the wire, short frames, names at the limit.
#include "wirelay/frame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace wrl {
namespace {

TEST(FrameTest, EncodesEveryFieldLittleEndianAtItsOffset) {
    FrameHeader h;
    h.kind = kKindIdentify;
    h.status = 0x01020304;
    h.length = 0x0A0B0C0D;
    h.priority = -2;
    CopyName(h.to, "server");
    CopyName(h.from, "alice");
    uint8_t out[kHeaderSize];
    std::memset(out, 0xEE, sizeof out);
    ASSERT_EQ(EncodeHeader(h, out), kHeaderSize);
    EXPECT_EQ(out[0], 0x64);
    EXPECT_EQ(out[1], 0x6D);
    EXPECT_EQ(out[2], 18);
    EXPECT_EQ(out[3], 2);
    const uint8_t status[] = {0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(std::memcmp(out + 4, status, 4), 0);
    const uint8_t length[] = {0x0D, 0x0C, 0x0B, 0x0A};
    EXPECT_EQ(std::memcmp(out + 8, length, 4), 0);
    const uint8_t prio[] = {0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(out + 12, prio, 4), 0);
    for (int i = 16; i < 24; ++i) EXPECT_EQ(out[i], 0) << i;
    EXPECT_STREQ(reinterpret_cast<const char*>(out + 24), "server");
    for (int i = 24 + 6; i < 56; ++i) EXPECT_EQ(out[i], 0) << i;
    EXPECT_STREQ(reinterpret_cast<const char*>(out + 56), "alice");
}

TEST(FrameTest, DecodesWhatItEncodes) {
    FrameHeader h;
    h.kind = kKindNormal;
    h.status = 7;
    h.length = 352;
    h.priority = 123456;
    CopyName(h.to, "bob");
    CopyName(h.from, "carol");
    uint8_t out[kHeaderSize];
    EncodeHeader(h, out);
    FrameHeader back;
    DecodePrefix(out, &back);
    DecodeNames(out + kPrefixSize, &back);
    EXPECT_EQ(back.magic, kFrameMagic);
    EXPECT_EQ(back.version, kFrameVersion);
    EXPECT_EQ(back.kind, 0u);
    EXPECT_EQ(back.status, 7u);
    EXPECT_EQ(back.length, 352u);
    EXPECT_EQ(back.priority, 123456);
    EXPECT_STREQ(back.to, "bob");
    EXPECT_STREQ(back.from, "carol");
}

TEST(FrameTest, MismatchStatusesGiveShortFramesWithoutLength) {
    for (uint32_t status : {12u, 13u}) {
        FrameHeader h;
        h.kind = kKindIdentify;
        h.status = status;
        h.length = 99;
        uint8_t out[kHeaderSize];
        std::memset(out, 0xEE, sizeof out);
        EXPECT_EQ(EncodeHeader(h, out), kPrefixSize);
        EXPECT_EQ(out[8] | out[9] | out[10] | out[11], 0);
        EXPECT_EQ(out[kPrefixSize], 0xEE);  // nothing written past the prefix
        EXPECT_EQ(FrameSize(status, 99), kPrefixSize);
    }
    EXPECT_EQ(FrameSize(11, 10), kHeaderSize + 10);
    EXPECT_FALSE(IsShortStatus(0));
}

TEST(FrameTest, NamesOfThirtyTwoCharactersFillTheFieldWithoutTerminator) {
    const char* name32 = "abcdefghijklmnopqrstuvwxyz012345";
    ASSERT_EQ(std::strlen(name32), 32u);
    FrameHeader h;
    CopyName(h.to, name32);
    CopyName(h.from, "abcdefghijklmnopqrstuvwxyz0123456789");  // cut to 32
    uint8_t out[kHeaderSize];
    EncodeHeader(h, out);
    EXPECT_EQ(std::memcmp(out + kOffTo, name32, 32), 0);
    EXPECT_EQ(out[kOffFrom], 'a');  // no terminator between the two fields
    FrameHeader back;
    DecodeNames(out + kPrefixSize, &back);
    EXPECT_STREQ(back.to, name32);
    EXPECT_STREQ(back.from, name32);
}

TEST(FrameTest, DecodeStopsNamesAtTheFirstZero) {
    uint8_t names[kNamesSize];
    std::memset(names, 'x', sizeof names);
    names[3] = 0;
    FrameHeader back;
    DecodeNames(names, &back);
    EXPECT_STREQ(back.to, "xxx");
    EXPECT_EQ(std::strlen(back.from), 32u);
}

TEST(FrameTest, KindNames) {
    EXPECT_STREQ(KindName(0), "normal");
    EXPECT_STREQ(KindName(1), "acknowledge");
    EXPECT_STREQ(KindName(2), "identify");
    EXPECT_STREQ(KindName(6), "removeclient");
    EXPECT_STREQ(KindName(7), "unknown");
    EXPECT_STREQ(KindName(8), "status");
    EXPECT_STREQ(KindName(255), "unknown");
}

}  // namespace
}  // namespace wrl
