// End-to-end tests of the 25 requests: a real qm_server on a free port, driven through
// the client library, with the exact results, bodies and log lines clients rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "client/qm_client.h"
#include "tests/server_process.h"

namespace {

using qm::client_c;

class Requests : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.start()) << server_.log(); }

  void connect(client_c& client, const std::string& name) {
    ASSERT_EQ(client.connect(server_.address(), name, 3000), 0) << name;
  }

  static std::string text(const cdb_request& r) { return std::string(r.body, strnlen(r.body, sizeof r.body)); }

  qm_e2e::server_c server_;
};

TEST_F(Requests, TestConnectionVersionAndDatabaseName) {
  client_c a;
  connect(a, "alice");
  cdb_request r;
  ASSERT_EQ(a.test_connection(r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(a.get_server_version(r), 0);
  EXPECT_EQ(text(r), "2.5");
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(a.get_server_database_name(r), 0);
  EXPECT_EQ(text(r), server_.database_file());
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  EXPECT_TRUE(server_.wait_for_log("Client 'alice' connected.\n"));
  EXPECT_TRUE(server_.wait_for_log("qm_server: received message from alice to alice prio 0 len 352\n"
                                   "Message CDB_TEST_CONNECTION\nresult 1\n"));
  EXPECT_TRUE(server_.wait_for_log("Message CDB_GET_SERVER_VERSION\nresult 1\n"));
  EXPECT_TRUE(server_.wait_for_log("Message CDB_GET_SERVER_DATABASE_NAME\nDatabase name : " +
                                   server_.database_file() + "\n"));
}

TEST_F(Requests, UnknownCodesAreAnsweredWithTheirResultUntouched) {
  client_c a;
  connect(a, "alice");
  for (uint32_t code : {0u, 26u}) {
    cdb_request r = qm::make_request(code, "m");
    r.result = 0;
    ASSERT_EQ(a.call(r), 0);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.error, 1);
    r = qm::make_request(code, "m");
    r.result = 17;
    ASSERT_EQ(a.call(r), 0);
    EXPECT_EQ(r.result, 17);
    EXPECT_EQ(r.error, 0);
  }
  EXPECT_TRUE(server_.wait_for_log("len 352\nUnknown message\n"));
}

TEST_F(Requests, ClientCountsNeverFail) {
  client_c a, b;
  connect(a, "alice");
  cdb_request r;
  ASSERT_EQ(a.get_nclients(r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  connect(b, "bob");
  ASSERT_EQ(a.get_nclients(r), 0);
  EXPECT_EQ(r.result, 2);
  // Users per model: only requests that name a model make a user row.
  ASSERT_EQ(a.get_nclients_for_model("m1", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(b.test_connection(r), 0);  // no model named: bob has no row yet
  r = qm::make_request(CDB_TEST_CONNECTION, "m1");
  ASSERT_EQ(b.call(r), 0);
  ASSERT_EQ(a.get_nclients_for_model("m1", r), 0);
  EXPECT_EQ(r.result, 2);
  ASSERT_EQ(a.get_nclients_for_model("m2", r), 0);  // alice moves to m2
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(b.get_nclients_for_model("m3", r), 0);  // bob moves to m3: nobody left on m1
  r = qm::make_request(CDB_GET_NCLIENTS_FOR_MODEL, "m1");
  r.model_name[0] = '\0';
  ASSERT_EQ(a.call(r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
}

TEST_F(Requests, IdAllocations) {
  client_c a, b;
  connect(a, "alice");
  connect(b, "bob");
  common_model_row counters{};
  std::strcpy(counters.name, "model");
  counters.db_number = 3;
  counters.maxid = 500;
  cdb_request r;
  ASSERT_EQ(a.get_maxid("model", counters, r), 0);
  EXPECT_EQ(r.result, 501);
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(cdb_body_row<common_model_row>(r).maxid, 501);
  counters.maxid = 501;
  ASSERT_EQ(b.get_maxid("model", counters, r), 0);
  EXPECT_EQ(r.result, 601);
  counters.maxid = 900;
  ASSERT_EQ(b.get_maxid("model", counters, r), 0);
  EXPECT_EQ(r.result, 901);
  EXPECT_TRUE(server_.wait_for_log("New model model/3\nmodel/3 id: 501\nresult 501\n"));
  EXPECT_TRUE(server_.wait_for_log("Error: Model id conflict, used client id\nmodel/3 id: 901\n"));

  common_model_row ga{};
  std::strcpy(ga.name, "gamodel");
  ga.ga_id = 6;
  ASSERT_EQ(a.get_ga_id("gamodel", ga, r), 0);
  EXPECT_EQ(r.result, 7);
  ga.ga_id = 3;
  ASSERT_EQ(a.get_ga_id("gamodel", ga, r), 0);
  EXPECT_EQ(r.result, 8);
  EXPECT_EQ(cdb_body_row<common_model_row>(r).ga_id, 8);
  ga.ga_id = 12;
  ASSERT_EQ(a.get_ga_id("gamodel", ga, r), 0);
  EXPECT_EQ(r.result, 13);
  EXPECT_TRUE(server_.wait_for_log("gamodel/0 GA id: 13\n"));

  common_model_row md{};
  std::strcpy(md.name, "gamodel");
  ASSERT_EQ(a.get_multi_drawing_id("gamodel", md, r), 0);
  const int32_t first = r.result;
  ASSERT_EQ(b.get_multi_drawing_id("gamodel", md, r), 0);
  EXPECT_EQ(r.result, first + 1);
  EXPECT_EQ(r.error, 0);
  EXPECT_TRUE(server_.wait_for_log("gamodel/0 Multi drawing id: " + std::to_string(first + 1) + "\n"));
}

TEST_F(Requests, MaxIdWithTheModelOnlyInTheBodyMakesTheUserRow) {
  client_c a;
  connect(a, "alice");
  common_model_row counters{};
  std::strcpy(counters.name, "bodymodel");
  cdb_request r;
  ASSERT_EQ(a.get_maxid("", counters, r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.get_next_multiuser("", r), 0);
  ASSERT_EQ(r.result, 1);
  const multiusers_row row = cdb_body_row<multiusers_row>(r);
  EXPECT_STREQ(row.UserName, "alice");
  EXPECT_STREQ(row.ModelName, "bodymodel");
  // Any other request with an empty model name leaves the row alone.
  cdb_request other = qm::make_request(CDB_GET_GA_ID, "");
  common_model_row elsewhere{};
  std::strcpy(elsewhere.name, "elsewhere");
  cdb_set_body_row(other, elsewhere);
  ASSERT_EQ(a.call(other), 0);
  ASSERT_EQ(a.get_next_multiuser("", r), 0);
  EXPECT_STREQ(cdb_body_row<multiusers_row>(r).ModelName, "bodymodel");
}

TEST_F(Requests, DatabaseLocksNestAndShowTheirHolder) {
  client_c a, b;
  connect(a, "alice");
  connect(b, "bob");
  cdb_request r;
  ASSERT_EQ(a.get_user_and_time_for_modellock("M", 0, r), 0);  // nobody locked M
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  ASSERT_EQ(a.get_user_and_time_for_modellock("M", 7, r), 0);
  EXPECT_EQ(r.result, 7);
  EXPECT_EQ(r.error, 0);

  ASSERT_EQ(a.lock_database("M", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.lock_database("M", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.confirm_database_lock("M", r), 0);
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(b.lock_database("M", r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  ASSERT_EQ(b.confirm_database_lock("M", r), 0);
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(b.get_user_and_time_for_modellock("M", 0, r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  multiusers_row holder = cdb_body_row<multiusers_row>(r);
  EXPECT_STREQ(holder.UserName, "alice");
  EXPECT_STREQ(holder.ModelName, "M");
  EXPECT_LT(std::abs(static_cast<long>(holder.LockedTime) - static_cast<long>(std::time(nullptr))), 300);
  ASSERT_EQ(b.unlock_database("M", r), 0);  // not the holder
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(a.unlock_database("M", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.confirm_database_lock("M", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.unlock_database("M", r), 0);
  ASSERT_EQ(b.lock_database("M", r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(server_.wait_for_log("Message CDB_LOCK_DATABASE\nM\nresult 1\n"));
  EXPECT_TRUE(server_.wait_for_log("Message CDB_UNLOCK_DATABASE\nM\nresult 0\n"));

  // Kicking bob frees every level of his lock and drops his user row.
  ASSERT_EQ(b.lock_database("M", r), 0);
  ASSERT_EQ(b.lock_database("M", r), 0);
  ASSERT_EQ(a.kick_client("M", "bob", r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(a.get_user_and_time_for_modellock("M", 0, r), 0);
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(a.lock_database("M", r), 0);
  EXPECT_EQ(r.result, 1);
}

TEST_F(Requests, ObjectLocks) {
  client_c a, b;
  connect(a, "alice");
  connect(b, "bob");
  cdb_request r;
  ASSERT_EQ(a.lock_object("M", 42, r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.lock_object("M", 42, r), 0);
  ASSERT_EQ(b.lock_object("M", 42, r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  ASSERT_EQ(b.lock_object("M", 43, r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.confirm_object_lock("M", 42, r), 0);
  EXPECT_EQ(r.result, 2);
  ASSERT_EQ(b.unlock_object("M", 42, r), 0);
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(a.unlock_object("M", 42, r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.unlock_object("M", 42, r), 0);
  ASSERT_EQ(a.confirm_object_lock("M", 42, r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  ASSERT_EQ(b.lock_object("M", 42, r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(server_.wait_for_log("Message CDB_CONFIRM_OBJECT_LOCK\nM\nresult 2\n"));
}

TEST_F(Requests, GuidLocks) {
  client_c a;
  connect(a, "alice");
  const std::string guid = "{0123456789abcdef}";
  cdb_request r;
  ASSERT_EQ(a.lock_object_proto(guid, "h1", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.lock_object_proto(guid, "h1", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.lock_object_proto(guid, "h2", r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  ASSERT_EQ(a.check_object_lock_proto(guid, "h1", 5, r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(cdb_body_row<object_lock_row>(r).locked, 0);
  ASSERT_EQ(a.check_object_lock_proto(guid, "h2", 5, r), 0);
  EXPECT_EQ(cdb_body_row<object_lock_row>(r).locked, 1);
  ASSERT_EQ(a.check_object_lock_proto("unknown-guid", "h2", 5, r), 0);
  EXPECT_EQ(cdb_body_row<object_lock_row>(r).locked, 5);
  EXPECT_EQ(r.error, 0);
  ASSERT_EQ(a.unlock_object_proto(guid, "h2", r), 0);
  EXPECT_EQ(r.result, 0);
  ASSERT_EQ(a.unlock_object_proto(guid, "h1", r), 0);  // one unlock frees a double lock
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.lock_object_proto(guid, "h2", r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.unlock_object_proto("never-locked", "h1", r), 0);
  EXPECT_EQ(r.result, 1);
}

TEST_F(Requests, DrawingLocksSavesAndUsers) {
  client_c a, b;
  connect(a, "alice");
  connect(b, "bob");
  cdb_request r;
  ASSERT_EQ(a.lock_drawing("M", "D", 5, 2, r), 0);
  EXPECT_EQ(r.result, 1);
  drawinglocks_row stored = cdb_body_row<drawinglocks_row>(r);
  EXPECT_STREQ(stored.ModelName, "M");
  EXPECT_STREQ(stored.UserName, "alice");
  EXPECT_EQ(stored.ModId, 5);
  ASSERT_EQ(b.lock_drawing("M", "D", 7, 2, r), 0);
  ASSERT_EQ(a.check_drawing_lock_status("M", "D", 5, 2, r), 0);
  EXPECT_EQ(r.result, 1);
  drawinglocks_row found = cdb_body_row<drawinglocks_row>(r);
  EXPECT_STREQ(found.UserName, "bob");
  EXPECT_EQ(found.LockStatus, 2);
  EXPECT_EQ(found.ModId, 7);

  ASSERT_EQ(b.save_completed("M", r), 0);
  EXPECT_EQ(r.result, 1);
  const multiusers_row saved = cdb_body_row<multiusers_row>(r);
  EXPECT_STREQ(saved.UserName, "bob");
  EXPECT_NE(saved.LastSaveTime, 0);
  ASSERT_EQ(a.check_drawing_lock_status("M", "D", 5, 2, r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(cdb_body_row<drawinglocks_row>(r).LockStatus, 3);
  ASSERT_EQ(a.check_drawing_lock_status("M", "D", 9, 2, r), 0);  // bob's status 3 is older
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);

  ASSERT_EQ(a.lock_drawing("M", "D10", 1, 1, r), 0);
  ASSERT_EQ(a.lock_drawing("N", "D2", 1, 1, r), 0);
  ASSERT_EQ(a.lock_drawing("M", "D1", 1, 1, r), 0);
  ASSERT_EQ(b.get_locked_drawing_names("alice", 1, r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(text(r), "D1, D2, D10");
  ASSERT_EQ(b.get_locked_drawing_names("alice", 2, r), 0);
  EXPECT_EQ(text(r), "D");
  ASSERT_EQ(b.get_locked_drawing_names("nobody", 1, r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  EXPECT_EQ(text(r), "");

  ASSERT_EQ(a.unlock_drawing("M", "D10", 1, r), 0);
  EXPECT_EQ(r.result, 1);
  ASSERT_EQ(a.unlock_drawing("M", "D10", 1, r), 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);

  // A client that never named a model has no user row to save.
  client_c c;
  connect(c, "carol");
  cdb_request save = qm::make_request(CDB_SAVE_COMPLETED);
  ASSERT_EQ(c.call(save), 0);
  EXPECT_EQ(save.result, 0);
  EXPECT_EQ(save.error, 1);
  EXPECT_TRUE(server_.wait_for_log("Error: could not update multiuser save timestamp\n"));

  // Walking the users returns each once, then 0.
  std::string last;
  std::string seen;
  for (int i = 0; i < 10; ++i) {
    ASSERT_EQ(c.get_next_multiuser(last, r), 0);
    if (r.result == 0) break;
    last = cdb_body_row<multiusers_row>(r).UserName;
    seen += last + ";";
  }
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.error, 1);
  EXPECT_EQ(seen, "alice;bob;");
}

TEST_F(Requests, ShortPayloadIsRejectedAndTheConnectionStaysUsable) {
  client_c a;
  connect(a, "alice");
  std::vector<unsigned char> reply;
  const std::vector<unsigned char> payload(CDB_REQUEST_SIZE - 1, 0x08);
  EXPECT_EQ(a.call_raw(payload.data(), static_cast<uint32_t>(payload.size()), &reply), 8);
  EXPECT_EQ(a.call_raw(nullptr, 0, &reply), 8);
  cdb_request r;
  ASSERT_EQ(a.test_connection(r), 0);
  EXPECT_EQ(r.result, 1);
  EXPECT_TRUE(server_.wait_for_log("prio 0 len 351\nRejected"));
  EXPECT_EQ(server_.log().find("Message CDB_TEST_CONNECTION\nresult 1\n"),
            server_.log().rfind("Message CDB_TEST_CONNECTION\nresult 1\n"));  // once only
}

}  // namespace
