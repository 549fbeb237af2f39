// Bytes and bits: swapping beyond one chunk, bit reversal across byte borders, printing,
// and the bounded buffer copies at their size limits.
#include <cstring>
#include <string>
#include <vector>

#include "tools/dstring_test_util.h"

namespace {

TEST(Bytes, MemswapSmallLargeAndNull) {
  std::vector<unsigned char> a(3000), b(3000);
  for (std::size_t i = 0; i < a.size(); ++i) {
    a[i] = static_cast<unsigned char>(i);
    b[i] = static_cast<unsigned char>(255 - i % 256);
  }
  const auto a0 = a, b0 = b;
  EXPECT_EQ(tool_memswap(a.data(), b.data(), a.size()), 1);
  EXPECT_EQ(a, b0);
  EXPECT_EQ(b, a0);
  char x[] = "ab", y[] = "cd";
  EXPECT_EQ(tool_memswap(x, y, 1), 1);
  EXPECT_STREQ(x, "cb");
  EXPECT_STREQ(y, "ad");
  EXPECT_EQ(tool_memswap(nullptr, y, 1), 0);
  EXPECT_EQ(tool_memswap(nullptr, nullptr, 0), 1);
}

TEST(Bits, ReverseAcrossBytes) {
  unsigned char bytes[2] = {0x01, 0x00};  // bit 0 set
  tool_reversebits(12, bytes);            // bit 0 -> bit 11
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[1], 0x08);
  unsigned char pattern[1] = {0x0B};  // bits 0,1,3 of five: 11010 -> 01011
  tool_reversebits(5, pattern);
  EXPECT_EQ(pattern[0], 0x1A);
  tool_reversebits(1, pattern);
  tool_reversebits(0, nullptr);
  EXPECT_EQ(pattern[0], 0x1A);
}

TEST(Bits, PrintBits) {
  const unsigned char bytes[2] = {0x05, 0x01};
  testing::internal::CaptureStdout();
  tool_printbits("bits: ", 10, bytes);
  tool_printbits(nullptr, 3, bytes);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "bits: 1010000010\n101\n");
}

TEST(FixedBuffer, StrlcpyCutsAndTerminates) {
  char buffer[5];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(tool_strlcpy(buffer, "abcdefgh", sizeof buffer), 1);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(tool_strlcpy(buffer, nullptr, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(tool_strlcpy(buffer, "ab", 1), 1);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(tool_strlcpy(buffer, "ab", 0), 0);
  EXPECT_EQ(tool_strlcpy(nullptr, "ab", 5), 0);
}

TEST(FixedBuffer, StrlcatAppendsWhatFits) {
  char buffer[6] = "ab";
  EXPECT_EQ(tool_strlcat(buffer, "cd", sizeof buffer), 1);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(tool_strlcat(buffer, "efgh", sizeof buffer), 1);
  EXPECT_STREQ(buffer, "abcde");
  EXPECT_EQ(tool_strlcat(buffer, "z", sizeof buffer), 1);
  EXPECT_STREQ(buffer, "abcde");
  char full[4] = {'w', 'x', 'y', 'z'};  // not terminated within its size
  EXPECT_EQ(tool_strlcat(full, "q", sizeof full), 1);
  EXPECT_STREQ(full, "wxy");
  EXPECT_EQ(tool_strlcat(full, nullptr, sizeof full), 1);
  EXPECT_EQ(tool_strlcat(full, "q", 0), 0);
  EXPECT_EQ(tool_isdigit('7'), 1);
  EXPECT_EQ(tool_isdigit('a'), 0);
  EXPECT_EQ(tool_isdigit(-1), 0);
}

}  // namespace
