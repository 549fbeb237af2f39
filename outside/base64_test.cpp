// Tests of Base64 decoding of dump values: valid texts, every kind of corruption, buffer
// sizes, and encoding round trips.
#include "outside/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

// Decodes through the three-call sequence the dump reader uses.
bool decode(const std::string& text, Bytes* bytes) {
    size_t capacity = 0, size = 0;
    unsigned char* buffer = tools::AllocateBase64DecodingBuffer(text, &capacity);
    if (buffer == nullptr) return false;
    const bool ok = tools::Base64Decode(text, buffer, capacity, &size);
    bytes->assign(buffer, buffer + size);
    tools::DeleteBase64DecodingBuffer(buffer);
    EXPECT_EQ(buffer, nullptr);
    return ok;
}

TEST(Base64, DecodesValidTexts) {
    const std::pair<const char*, Bytes> cases[] = {{"AQAA/w==", {1, 0, 0, 255}},
                                                   {"TWFu", {'M', 'a', 'n'}},
                                                   {"TWE=", {'M', 'a'}},
                                                   {"+/+/", {0xfb, 0xff, 0xbf}},
                                                   {"", {}}};
    for (const auto& [text, expected] : cases) {
        Bytes bytes;
        ASSERT_TRUE(decode(text, &bytes)) << text;
        EXPECT_EQ(bytes, expected) << text;
    }
}

TEST(Base64, RefusesCorruptTextsAndSmallBuffers) {
    Bytes bytes;
    for (const std::string& bad : std::vector<std::string>{
             "TWF", "TWFuT", "TW=u", "T===", "====", "=TWF", "TWFu====", "TW-u", "TWF\n",
             "TWE=TWFu", "TW u", "1:0:0:255", "AQAA/w=", "TR==", "TWF=", std::string("TW\0u", 4)}) {
        EXPECT_FALSE(decode(bad, &bytes)) << bad;
        EXPECT_TRUE(bytes.empty()) << bad;
    }
    size_t size = 99;
    unsigned char two[2];
    EXPECT_FALSE(tools::Base64Decode("TWFu", two, sizeof two, &size));
    EXPECT_EQ(size, 0u);
    EXPECT_TRUE(tools::Base64Decode("TWE=", two, sizeof two, &size));
    EXPECT_EQ(size, 2u);
    EXPECT_FALSE(tools::Base64Decode("TWFu", nullptr, 3, &size));
    size_t capacity = 1;
    EXPECT_EQ(tools::AllocateBase64DecodingBuffer(std::string((64u << 20) + 4, 'A'), &capacity),
              nullptr);
    EXPECT_EQ(capacity, 0u);
}

TEST(Base64, EncodeRoundTripsEveryLength) {
    Bytes data;
    for (int i = 0; i < 100; ++i) data.push_back(static_cast<unsigned char>(i * 37 + 11));
    for (size_t length = 0; length <= data.size(); ++length) {
        const std::string text = tools::Base64Encode(data.data(), length);
        EXPECT_EQ(text.size(), (length + 2) / 3 * 4);
        Bytes back;
        ASSERT_TRUE(decode(text, &back)) << length;
        EXPECT_EQ(back, Bytes(data.begin(), data.begin() + static_cast<long>(length)));
    }
}

}  // namespace
