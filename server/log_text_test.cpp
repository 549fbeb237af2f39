// The log line writers write exactly the text of the equivalent printf, whatever the length
// of the pieces and the range of the numbers.
#include "server/log_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "server/server_test_support.h"

namespace {

std::string printed(const std::function<void()>& action) {
    return ServerCoreTest::stdout_of([&] {
        action();
        std::fflush(stdout);
    });
}

TEST(LogText, EachWriterMatchesItsFormat) {
    EXPECT_EQ(printed([] { log_line("Bridge"); }), "Bridge\n");
    EXPECT_EQ(printed([] { log_line(""); }), "\n");
    EXPECT_EQ(printed([] { log_labelled("Message ", "CDB_TEST_CONNECTION"); }),
              "Message CDB_TEST_CONNECTION\n");
    EXPECT_EQ(printed([] { log_number("result ", 0); }), "result 0\n");
    EXPECT_EQ(printed([] { log_number("result ", INT32_MIN); }), "result -2147483648\n");
    EXPECT_EQ(printed([] { log_received("anna", "ben", -7, 352); }),
              "qm_server: received message from anna to ben prio -7 len 352\n");
    EXPECT_EQ(printed([] { log_received("", "", INT32_MAX, 0); }),
              "qm_server: received message from  to  prio 2147483647 len 0\n");
}

TEST(LogText, PiecesLongerThanTheLineBufferAreWrittenWhole) {
    const std::string long_name(700, 'n');
    const std::string almost(250, 'a');  // fills the buffer so the next piece must spill
    EXPECT_EQ(printed([&] { log_line(long_name.c_str()); }), long_name + "\n");
    EXPECT_EQ(printed([&] { log_labelled(almost.c_str(), long_name.c_str()); }),
              almost + long_name + "\n");
    EXPECT_EQ(printed([&] { log_received(almost.c_str(), almost.c_str(), 1, 2); }),
              "qm_server: received message from " + almost + " to " + almost + " prio 1 len 2\n");
}

}  // namespace
