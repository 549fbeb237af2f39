// Tests of the message server's memory policy: the size of a client's reads. (When a
// release is due is shown through a server in message_server_detached_test.cpp.)
#include "wirelay/message_server_memory.h"

#include <gtest/gtest.h>

namespace wrl {
namespace {

TEST(MessageServerMemoryTest, ReadsGrowWhenFullAndShrinkOtherwise) {
    struct Case {
        size_t current, brought, expected;
    };
    const Case cases[] = {
        {512, 512, 8192},    // filled: more is likely waiting
        {512, 440, 512},     // one request at a time stays small
        {512, 0, 512},       //
        {8192, 8192, 8192},  // a steady stream keeps the big halves
        {8192, 8191, 512},   // the tail of a burst: back to small
        {8192, 1, 512},      //
        {0, 0, 512},         // no buffer yet
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextReadSize(c.current, c.brought, 512, 8192), c.expected)
            << c.current << " " << c.brought;
    }
}

}  // namespace
}  // namespace wrl
