// Tests of the request record handling beyond what the end-to-end tests see: bodies left
// untouched, result and error rules at their edges, the short-payload refusal, answers in
// place, and hostile (unterminated) texts. The table logic itself is tested with server_core.
#include "server/request_handler.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "server/client_bookkeeping.h"
#include "server/server_database.h"
#include "server/server_state.h"

namespace {

// The server database lives for the whole test binary, in a folder of its own.
class ServerDatabaseEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        char pattern[] = "/tmp/qm_request_handler_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        server_state().fatal_pause_ms = 0;
        server_state().clock = [] { return int32_t{1000}; };
        ASSERT_EQ(open_server_database("tcpip:localhost,47123", dir_.c_str()), 0);
    }
    void TearDown() override {
        ::unlink(server_state().database_file.c_str());
        ::rmdir(dir_.c_str());
    }

  private:
    std::string dir_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ServerDatabaseEnvironment);

// A request with its body filled with `fill` and the given sent result.
cdb_request make(uint32_t query, const char* model = "", int32_t result = 0, char fill = 0) {
    cdb_request r{};
    r.query = query;
    r.result = result;
    std::strncpy(r.model_name, model, sizeof r.model_name - 1);
    std::memset(r.body, fill, sizeof r.body);
    return r;
}

// Runs the request and returns what it printed.
std::string run(cdb_request& r, const char* sender) {
    ::testing::internal::CaptureStdout();
    perform_request(r, sender);
    return ::testing::internal::GetCapturedStdout();
}

bool body_is(const cdb_request& r, char fill) {
    for (char byte : r.body)
        if (byte != fill) return false;
    return true;
}

TEST(RequestHandler, ResultAndErrorRulesLeaveTheBodyAlone) {
    const struct {
        uint32_t query;
        int32_t sent, result, error;
        const char* log;  // empty: not checked
    } cases[] = {
        {CDB_TEST_CONNECTION, 77, 1, 0, "Message CDB_TEST_CONNECTION\nresult 1\n"},
        {0, 0, 0, 1, "Unknown message\n"},  // unknown codes keep the sent result
        {26, 42, 42, 0, "Unknown message\n"},
        {0xffffffffu, 0, 0, 1, "Unknown message\n"},
        {CDB_GET_USER_AND_TIME_FOR_MODELLOCK, 0, 0, 1, ""},  // free model: the sent result
        {CDB_GET_USER_AND_TIME_FOR_MODELLOCK, 9, 9, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        cdb_request r = make(c.query, "handler-model-a", c.sent, 0x5a);
        const std::string log = run(r, "rules-user");
        if (c.log[0] != '\0') {
            EXPECT_EQ(log, c.log);
        }
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.error, c.error);
        EXPECT_TRUE(body_is(r, 0x5a));
    }
    EXPECT_EQ(count_model_users("handler-model-a"), 1);  // the sender's user row was made
}

TEST(RequestHandler, LockHolderWithoutAUserRowStillNamesTheHolder) {
    cdb_request lock = make(CDB_LOCK_DATABASE, "holder-model");
    run(lock, "gone-user");
    ASSERT_EQ(lock.result, 1);
    ::testing::internal::CaptureStdout();
    client_connected("keeper", nullptr);
    client_connected("gone-user", nullptr);
    client_disconnected("gone-user", nullptr);  // its row goes, its database lock stays
    ::testing::internal::GetCapturedStdout();

    const int32_t sent_results[] = {0, 7};
    for (int32_t sent : sent_results) {
        SCOPED_TRACE(sent);
        cdb_request r = make(CDB_GET_USER_AND_TIME_FOR_MODELLOCK, "holder-model", sent, 0x5a);
        run(r, "");  // no sender, so no user row of the asker is made either
        EXPECT_EQ(r.result, sent);
        EXPECT_EQ(r.error, sent == 0 ? 1 : 0);
        const multiusers_row body = cdb_body_row<multiusers_row>(r);
        EXPECT_EQ(std::string(body.UserName), "gone-user");
        EXPECT_EQ(std::string(body.ModelName, sizeof body.ModelName),
                  std::string(sizeof body.ModelName, 0x5a));  // the rest as sent
        EXPECT_EQ(body.LockedTime, 0x5a5a5a5a);
        EXPECT_EQ(r.body[sizeof body], 0x5a);
    }
    server_state().connected_clients = 0;
}

TEST(RequestHandler, ClientCountIsNeverAnErrorEvenAtZero) {
    cdb_request r = make(CDB_GET_NCLIENTS);
    server_state().connected_clients = 0;
    EXPECT_EQ(run(r, "count-user"), "Message CDB_GET_NCLIENTS\nresult 0\n");
    EXPECT_EQ(r.error, 0);
    server_state().connected_clients = 3;
    run(r, "count-user");
    EXPECT_EQ(r.result, 3);
    server_state().connected_clients = 0;
}

TEST(RequestHandler, UnterminatedTextsAreReadOnlyUpToTheirFields) {
    cdb_request r = make(CDB_LOCK_DRAWING, "", 0, 'd');
    std::memset(r.model_name, 'm', sizeof r.model_name);
    run(r, "hostile-user");
    EXPECT_EQ(r.result, 1);
    const drawinglocks_row row = cdb_body_row<drawinglocks_row>(r);
    EXPECT_EQ(std::strlen(row.ModelName), 81u);
    EXPECT_EQ(std::strlen(row.DrawingName), 32u);
    EXPECT_STREQ(row.UserName, "hostile-user");

    cdb_request names = make(CDB_GET_LOCKED_DRAWING_NAMES, "", 0, 'u');
    run(names, "hostile-user");
    EXPECT_EQ(names.result, 0);
    EXPECT_STREQ(names.body, "");
}

TEST(RequestPayload, ShortPayloadIsRejectedUnreadAndAWholeOneIsAnsweredInPlace) {
    unsigned char data[CDB_REQUEST_SIZE + 4];
    std::memset(data, 0x33, sizeof data);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(process_request_payload("me", "me", 3, data, CDB_REQUEST_SIZE - 1), 8u);
    EXPECT_EQ(process_request_payload("me", "me", 3, nullptr, 0), 8u);
    std::string log = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(log.find("qm_server: received message from me to me prio 3 len 351\n"), 0u);
    EXPECT_NE(log.find("Rejected"), std::string::npos);
    for (unsigned char byte : data) ASSERT_EQ(byte, 0x33);

    const cdb_request r = make(CDB_GET_SERVER_VERSION);
    std::memcpy(data, &r, sizeof r);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(process_request_payload("to-me", "from-me", 0, data, sizeof data), 0u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "qm_server: received message from from-me to to-me prio 0 len 356\n"
              "Message CDB_GET_SERVER_VERSION\nresult 1\n");
    cdb_request answered;
    std::memcpy(&answered, data, sizeof answered);
    EXPECT_EQ(answered.result, 1);
    EXPECT_STREQ(answered.body, "2.5");
    EXPECT_EQ(data[sizeof r + 3], 0x33);  // bytes past the record stay
}

}  // namespace
