// Bytes and bits: swapping beyond one chunk, bit reversal across byte borders, printing,
// and the bounded buffer copies at their size limits.
#include <cstring>
#include <string>
#include <vector>

#include "tools/dstring_test_util.h"

namespace {

TEST(Bytes, MemswapBeyondOneChunkAndNull) {
    std::vector<unsigned char> a(3000), b(3000);
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<unsigned char>(i);
        b[i] = static_cast<unsigned char>(255 - i % 256);
    }
    const auto a0 = a, b0 = b;
    EXPECT_EQ(tool_memswap(a.data(), b.data(), a.size()), 1);
    EXPECT_TRUE(a == b0 && b == a0);
    EXPECT_EQ(tool_memswap(nullptr, b.data(), 1), 0);
    EXPECT_EQ(tool_memswap(nullptr, nullptr, 0), 1);
}

TEST(Bits, ReverseAcrossBytesAndPrint) {
    unsigned char bytes[2] = {0x01, 0x00};
    tool_reversebits(12, bytes);  // bit 0 -> bit 11
    EXPECT_TRUE(bytes[0] == 0x00 && bytes[1] == 0x08);
    unsigned char pattern[1] = {0x0B};  // five bits 11010 -> 01011
    tool_reversebits(5, pattern);
    EXPECT_EQ(pattern[0], 0x1A);
    tool_reversebits(0, nullptr);
    const unsigned char printed[2] = {0x05, 0x01};
    testing::internal::CaptureStdout();
    tool_printbits("bits: ", 10, printed);
    tool_printbits(nullptr, 3, printed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "bits: 1010000010\n101\n");
}

TEST(FixedBuffer, StrlcpyAndStrlcatCutAndTerminate) {
    char buffer[6];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(tool_strlcpy(buffer, "abcdefgh", 5), 1);
    EXPECT_EQ(std::string(buffer, 6), std::string("abcd\0x", 6));
    EXPECT_EQ(tool_strlcpy(buffer, nullptr, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(tool_strlcpy(buffer, "ab", 1), 1);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(tool_strlcpy(buffer, "ab", 0) + tool_strlcpy(nullptr, "ab", 5), 0);
    EXPECT_EQ(tool_strlcat(buffer, "abcd", sizeof buffer), 1);
    EXPECT_EQ(tool_strlcat(buffer, "efgh", sizeof buffer), 1);
    EXPECT_STREQ(buffer, "abcde");
    char full[4] = {'w', 'x', 'y', 'z'};  // not terminated within its size
    EXPECT_EQ(tool_strlcat(full, "q", sizeof full), 1);
    EXPECT_STREQ(full, "wxy");
    EXPECT_EQ(tool_strlcat(full, nullptr, sizeof full), 1);
    EXPECT_EQ(tool_strlcat(full, "q", 0), 0);
}

}  // namespace
