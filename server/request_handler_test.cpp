// Tests of the request record handling: body layouts, result and error rules, log lines,
// the short-payload refusal and hostile (unterminated) texts. The table logic itself is
// tested with server_core; here it is reached only through the records.
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

cdb_request make(uint32_t query, const char* model = "") {
  cdb_request r{};
  r.query = query;
  std::strncpy(r.model_name, model, sizeof r.model_name - 1);
  return r;
}

// Runs the request and returns what it printed.
std::string run(cdb_request& r, const char* sender) {
  ::testing::internal::CaptureStdout();
  perform_request(r, sender);
  return ::testing::internal::GetCapturedStdout();
}

TEST(RequestHandler, TestConnectionAnswersOneAndLeavesTheBody) {
  cdb_request r = make(CDB_TEST_CONNECTION, "handler-model-a");
  std::memset(r.body, 0x5a, sizeof r.body);
  r.result = 77;
  EXPECT_EQ(run(r, "tc-user"), "Message CDB_TEST_CONNECTION\nresult 1\n");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  for (unsigned char byte : r.body) ASSERT_EQ(byte, 0x5a);
  EXPECT_EQ(count_model_users("handler-model-a"), 1);  // the sender's user row was made
}

TEST(RequestHandler, UnknownCodesKeepTheirResult) {
  for (uint32_t code : {0u, 26u, 0xffffffffu}) {
    cdb_request r = make(code, "handler-model-u");
    r.result = 0;
    EXPECT_EQ(run(r, "unk-user"), "Unknown message\n");
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, 1);
    r.result = 42;
    run(r, "unk-user");
    EXPECT_EQ(r.result, 42);
    EXPECT_EQ(r.error, 0);
  }
}

TEST(RequestHandler, ClientCountIsNeverAnError) {
  cdb_request r = make(CDB_GET_NCLIENTS);
  server_state().connected_clients = 0;
  EXPECT_EQ(run(r, "count-user"), "Message CDB_GET_NCLIENTS\nresult 0\n");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 0);
  server_state().connected_clients = 3;
  run(r, "count-user");
  EXPECT_EQ(r.result, 3);
  server_state().connected_clients = 0;
}

TEST(RequestHandler, MaxIdTakesTheUserModelFromTheBodyWhenTheRecordHasNone) {
  cdb_request r = make(CDB_GET_MAXID);
  common_model_row counters{};
  std::strcpy(counters.name, "handler-body-model");
  counters.maxid = 500;
  cdb_set_body_row(r, counters);
  const std::string log = run(r, "maxid-user");
  EXPECT_EQ(r.result, 501);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(cdb_body_row<common_model_row>(r).maxid, 501);
  EXPECT_NE(log.find("Message CDB_GET_MAXID\n"), std::string::npos);
  EXPECT_NE(log.find("handler-body-model/0 id: 501\n"), std::string::npos);
  EXPECT_EQ(count_model_users("handler-body-model"), 1);

  // Another request without a model name leaves the user rows alone.
  cdb_request other = make(CDB_TEST_CONNECTION);
  common_model_row elsewhere{};
  std::strcpy(elsewhere.name, "handler-other-model");
  cdb_set_body_row(other, elsewhere);
  run(other, "maxid-user");
  EXPECT_EQ(count_model_users("handler-other-model"), 0);
  EXPECT_EQ(count_model_users("handler-body-model"), 1);
}

TEST(RequestHandler, TextBodies) {
  cdb_request r = make(CDB_GET_SERVER_VERSION);
  std::memset(r.body, 'x', sizeof r.body);
  run(r, "");
  EXPECT_STREQ(r.body, "2.5");
  EXPECT_EQ(r.result, 1);

  cdb_request n = make(CDB_GET_SERVER_DATABASE_NAME);
  const std::string log = run(n, "");
  EXPECT_EQ(std::string(n.body), server_state().database_file);
  EXPECT_EQ(n.result, 1);
  EXPECT_EQ(n.error, 0);
  EXPECT_EQ(log, "Message CDB_GET_SERVER_DATABASE_NAME\nDatabase name : " +
                     server_state().database_file + "\n");
}

TEST(RequestHandler, ModelLockHolderOfAFreeModelKeepsTheSentResult) {
  cdb_request r = make(CDB_GET_USER_AND_TIME_FOR_MODELLOCK, "handler-free-model");
  std::memset(r.body, 0x11, sizeof r.body);
  r.result = 0;
  run(r, "holder-asker");
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  EXPECT_EQ(static_cast<unsigned char>(r.body[0]), 0x11);
  r.result = 9;
  run(r, "holder-asker");
  EXPECT_EQ(r.result, 9);
  EXPECT_EQ(r.error, 0);

  cdb_request lock = make(CDB_LOCK_DATABASE, "handler-free-model");
  EXPECT_EQ(run(lock, "holder-user"),
            "Message CDB_LOCK_DATABASE\nhandler-free-model\nresult 1\n");
  run(r, "holder-asker");
  EXPECT_EQ(r.result, 1);
  const multiusers_row holder = cdb_body_row<multiusers_row>(r);
  EXPECT_STREQ(holder.UserName, "holder-user");
  EXPECT_STREQ(holder.ModelName, "handler-free-model");
  EXPECT_EQ(holder.LockedTime, 1000);
  cdb_request unlock = make(CDB_UNLOCK_DATABASE, "handler-free-model");
  run(unlock, "holder-user");
  EXPECT_EQ(unlock.result, 1);
}

TEST(RequestHandler, ObjectLocksUseTheBodyObjectIdAndTheSender) {
  cdb_request lock = make(CDB_LOCK_OBJECT, "handler-objects");
  cdb_set_body_object_id(lock, 77);
  run(lock, "obj-a");
  EXPECT_EQ(lock.result, 1);
  cdb_request other = lock;
  run(other, "obj-b");
  EXPECT_EQ(other.result, 0);
  EXPECT_EQ(other.error, 1);
  cdb_request confirm = make(CDB_CONFIRM_OBJECT_LOCK, "handler-objects");
  cdb_set_body_object_id(confirm, 77);
  run(confirm, "obj-a");
  EXPECT_EQ(confirm.result, 1);
  cdb_set_body_object_id(confirm, 78);
  run(confirm, "obj-a");
  EXPECT_EQ(confirm.result, 0);
}

TEST(RequestHandler, UnterminatedTextsAreReadOnlyUpToTheirFields) {
  cdb_request r = make(CDB_LOCK_DRAWING);
  std::memset(r.model_name, 'm', sizeof r.model_name);
  std::memset(r.body, 'd', sizeof r.body);
  run(r, "hostile-user");
  EXPECT_EQ(r.result, 1);
  const drawinglocks_row row = cdb_body_row<drawinglocks_row>(r);
  EXPECT_EQ(std::strlen(row.ModelName), 81u);
  EXPECT_EQ(std::strlen(row.DrawingName), 32u);
  EXPECT_STREQ(row.UserName, "hostile-user");

  cdb_request names = make(CDB_GET_LOCKED_DRAWING_NAMES);
  std::memset(names.body, 'u', sizeof names.body);
  run(names, "hostile-user");
  EXPECT_EQ(names.result, 0);
  EXPECT_STREQ(names.body, "");
}

TEST(RequestPayload, ShortPayloadIsRejectedUnread) {
  unsigned char data[CDB_REQUEST_SIZE - 1];
  std::memset(data, 0x33, sizeof data);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(process_request_payload("me", "me", 3, data, sizeof data), 8u);
  EXPECT_EQ(process_request_payload("me", "me", 3, nullptr, 0), 8u);
  const std::string log = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(log.find("qm_server: received message from me to me prio 3 len 351\n"), 0u);
  EXPECT_NE(log.find("Rejected"), std::string::npos);
  for (unsigned char byte : data) ASSERT_EQ(byte, 0x33);
}

TEST(RequestPayload, WholeRecordIsAnsweredInPlaceAndExtraBytesStay) {
  unsigned char data[CDB_REQUEST_SIZE + 4];
  cdb_request r = make(CDB_GET_SERVER_VERSION);
  std::memcpy(data, &r, sizeof r);
  std::memset(data + sizeof r, 0x44, 4);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(process_request_payload("to-me", "from-me", 0, data, sizeof data), 0u);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "qm_server: received message from from-me to to-me prio 0 len 356\n"
            "Message CDB_GET_SERVER_VERSION\nresult 1\n");
  cdb_request answered;
  std::memcpy(&answered, data, sizeof answered);
  EXPECT_EQ(answered.result, 1);
  EXPECT_STREQ(answered.body, "2.5");
  EXPECT_EQ(data[sizeof r + 3], 0x44);
}

}  // namespace
