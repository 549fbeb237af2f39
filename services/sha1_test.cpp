// SHA-1 against the standard's test messages, fed whole and in awkward pieces.
#include "services/sha1.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string digest_of(const std::string& message, size_t piece) {
    tools::Sha1 sha;
    const auto* bytes = reinterpret_cast<const unsigned char*>(message.data());
    for (size_t at = 0; at < message.size(); at += piece) {
        sha.Update(bytes + at, std::min(piece, message.size() - at));
    }
    return tools::Sha1::Hex(sha.Finish());
}

TEST(Sha1Test, StandardMessagesInAnyPieces) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",  // 56 bytes: two blocks
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    };
    for (const auto& c : cases) {
        for (size_t piece : {size_t{1}, size_t{63}, size_t{64}, size_t{1000}}) {
            if (c.message.size() > 100000 && piece < 64) continue;
            EXPECT_EQ(c.digest, digest_of(c.message, piece)) << c.message.size() << "/" << piece;
        }
    }
}

}  // namespace
