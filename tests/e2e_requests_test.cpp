// End-to-end tests of the 25 requests: a real qm_server on a free port, driven through
// the client library, with the exact results, bodies and log lines clients rely on.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "client/qm_client.h"
#include "tests/server_process.h"

// The call went through and its reply (in `r`) carries `res` and `err`.
#define EXPECT_ANSWER(call, res, err)        \
    do {                                     \
        ASSERT_EQ((call), 0) << #call;       \
        EXPECT_EQ(r.result, (res)) << #call; \
        EXPECT_EQ(r.error, (err)) << #call;  \
    } while (0)

namespace {

class Requests : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start()) << server_.log();
        connect(a, "alice");
        connect(b, "bob");
    }
    void connect(qm::client_c& client, const std::string& name) {
        ASSERT_EQ(client.connect(server_.address(), name, 3000), 0) << name;
    }
    bool logged(const std::string& text) { return server_.wait_for_log(text); }
    static std::string text(const cdb_request& r) {
        return std::string(r.body, strnlen(r.body, sizeof r.body));
    }
    static common_model_row counters(const char* model, int32_t db = 0, int32_t maxid = 0,
                                     int32_t ga = 0) {
        common_model_row row{};
        std::strcpy(row.name, model);
        row.db_number = db;
        row.maxid = maxid;
        row.ga_id = ga;
        return row;
    }

    qm_e2e::server_c server_;
    qm::client_c a, b;
    cdb_request r;
};

TEST_F(Requests, TestConnectionVersionAndDatabaseName) {
    EXPECT_ANSWER(a.test_connection(r), 1, 0);
    EXPECT_ANSWER(a.get_server_version(r), 1, 0);
    EXPECT_EQ(text(r), "2.5");
    EXPECT_ANSWER(a.get_server_database_name(r), 1, 0);
    EXPECT_EQ(text(r), server_.database_file());
    EXPECT_TRUE(logged("Client 'alice' connected.\n"));
    EXPECT_TRUE(
        logged("qm_server: received message from alice to alice prio 0 len 352\n"
               "Message CDB_TEST_CONNECTION\nresult 1\n"));
    EXPECT_TRUE(logged("Message CDB_GET_SERVER_VERSION\nresult 1\n"));
    EXPECT_TRUE(logged(
        "Message CDB_GET_SERVER_DATABASE_NAME\nDatabase name : " + server_.database_file() + "\n"));
}

TEST_F(Requests, UnknownCodesAreAnsweredWithTheirResultUntouched) {
    for (uint32_t code : {0u, 26u}) {
        for (int32_t sent : {0, 17}) {
            r = qm::make_request(code, "m");
            r.result = sent;
            EXPECT_ANSWER(a.call(r), sent, sent == 0 ? 1 : 0);
        }
    }
    EXPECT_TRUE(logged("len 352\nUnknown message\n"));
}

TEST_F(Requests, ClientCountsNeverFail) {
    EXPECT_ANSWER(a.get_nclients(r), 2, 0);
    qm::client_c c;
    connect(c, "carol");
    EXPECT_ANSWER(a.get_nclients(r), 3, 0);
    // Only requests that name a model make a user row.
    EXPECT_ANSWER(a.get_nclients_for_model("m1", r), 1, 0);
    ASSERT_EQ(b.test_connection(r), 0);
    r = qm::make_request(CDB_TEST_CONNECTION, "m1");
    ASSERT_EQ(b.call(r), 0);
    EXPECT_ANSWER(a.get_nclients_for_model("m1", r), 2, 0);
    EXPECT_ANSWER(a.get_nclients_for_model("m2", r), 1, 0);  // alice moves to m2
    ASSERT_EQ(b.get_nclients_for_model("m3", r), 0);         // bob to m3: nobody left on m1
    r = qm::make_request(CDB_GET_NCLIENTS_FOR_MODEL, "m1");
    r.model_name[0] = '\0';
    EXPECT_ANSWER(a.call(r), 0, 1);
}

TEST_F(Requests, IdAllocations) {
    EXPECT_ANSWER(a.get_maxid("model", counters("model", 3, 500), r), 501, 0);
    EXPECT_EQ(cdb_body_row<common_model_row>(r).maxid, 501);
    EXPECT_ANSWER(b.get_maxid("model", counters("model", 3, 501), r), 601, 0);
    EXPECT_ANSWER(b.get_maxid("model", counters("model", 3, 900), r), 901, 0);
    EXPECT_TRUE(logged("New model model/3\nmodel/3 id: 501\nresult 501\n"));
    EXPECT_TRUE(logged("Error: Model id conflict, used client id\nmodel/3 id: 901\n"));

    for (const auto& [sent, expected] : {std::pair{6, 7}, {3, 8}, {12, 13}})
        EXPECT_ANSWER(a.get_ga_id("gamodel", counters("gamodel", 0, 0, sent), r), expected, 0);
    EXPECT_EQ(cdb_body_row<common_model_row>(r).ga_id, 13);
    EXPECT_TRUE(logged("gamodel/0 GA id: 13\n"));

    ASSERT_EQ(a.get_multi_drawing_id("gamodel", counters("gamodel"), r), 0);
    const int32_t first = r.result;
    EXPECT_ANSWER(b.get_multi_drawing_id("gamodel", counters("gamodel"), r), first + 1, 0);
    EXPECT_TRUE(logged("gamodel/0 Multi drawing id: " + std::to_string(first + 1) + "\n"));
}

TEST_F(Requests, MaxIdWithTheModelOnlyInTheBodyMakesTheUserRow) {
    EXPECT_ANSWER(a.get_maxid("", counters("bodymodel"), r), 1, 0);
    EXPECT_ANSWER(a.get_next_multiuser("", r), 1, 0);
    EXPECT_STREQ(cdb_body_row<multiusers_row>(r).UserName, "alice");
    EXPECT_STREQ(cdb_body_row<multiusers_row>(r).ModelName, "bodymodel");
    // Any other request with an empty model name leaves the row alone.
    ASSERT_EQ(a.get_ga_id("", counters("elsewhere"), r), 0);
    ASSERT_EQ(a.get_next_multiuser("", r), 0);
    EXPECT_STREQ(cdb_body_row<multiusers_row>(r).ModelName, "bodymodel");
}

TEST_F(Requests, DatabaseLocksNestAndShowTheirHolder) {
    EXPECT_ANSWER(a.get_user_and_time_for_modellock("M", 0, r), 0, 1);  // nobody locked M
    EXPECT_ANSWER(a.get_user_and_time_for_modellock("M", 7, r), 7, 0);
    EXPECT_ANSWER(a.lock_database("M", r), 1, 0);
    EXPECT_ANSWER(a.lock_database("M", r), 1, 0);
    EXPECT_ANSWER(a.confirm_database_lock("M", r), 2, 0);
    EXPECT_ANSWER(b.lock_database("M", r), 0, 1);
    EXPECT_ANSWER(b.confirm_database_lock("M", r), 0, 1);
    EXPECT_ANSWER(b.get_user_and_time_for_modellock("M", 0, r), 1, 0);
    const multiusers_row holder = cdb_body_row<multiusers_row>(r);
    EXPECT_STREQ(holder.UserName, "alice");
    EXPECT_STREQ(holder.ModelName, "M");
    EXPECT_LT(
        std::abs(static_cast<long>(holder.LockedTime) - static_cast<long>(std::time(nullptr))),
        300);
    EXPECT_ANSWER(b.unlock_database("M", r), 0, 1);  // not the holder
    EXPECT_ANSWER(a.unlock_database("M", r), 1, 0);
    EXPECT_ANSWER(a.confirm_database_lock("M", r), 1, 0);
    ASSERT_EQ(a.unlock_database("M", r), 0);
    EXPECT_ANSWER(b.lock_database("M", r), 1, 0);
    EXPECT_TRUE(logged("Message CDB_LOCK_DATABASE\nM\nresult 1\n"));
    EXPECT_TRUE(logged("Message CDB_UNLOCK_DATABASE\nM\nresult 0\n"));

    // Kicking bob frees every level of his lock and drops his user row.
    ASSERT_EQ(b.lock_database("M", r), 0);
    ASSERT_EQ(b.lock_database("M", r), 0);
    EXPECT_ANSWER(a.kick_client("M", "bob", r), 1, 0);
    EXPECT_ANSWER(a.get_user_and_time_for_modellock("M", 0, r), 0, 1);
    EXPECT_ANSWER(a.lock_database("M", r), 1, 0);
}

TEST_F(Requests, ObjectLocks) {
    EXPECT_ANSWER(a.lock_object("M", 42, r), 1, 0);
    ASSERT_EQ(a.lock_object("M", 42, r), 0);
    EXPECT_ANSWER(b.lock_object("M", 42, r), 0, 1);
    EXPECT_ANSWER(b.lock_object("M", 43, r), 1, 0);
    EXPECT_ANSWER(a.confirm_object_lock("M", 42, r), 2, 0);
    EXPECT_ANSWER(b.unlock_object("M", 42, r), 0, 1);
    EXPECT_ANSWER(a.unlock_object("M", 42, r), 1, 0);
    ASSERT_EQ(a.unlock_object("M", 42, r), 0);
    EXPECT_ANSWER(a.confirm_object_lock("M", 42, r), 0, 1);
    EXPECT_ANSWER(b.lock_object("M", 42, r), 1, 0);
    EXPECT_TRUE(logged("Message CDB_CONFIRM_OBJECT_LOCK\nM\nresult 2\n"));
}

TEST_F(Requests, GuidLocks) {
    const std::string guid = "{0123456789abcdef}";
    EXPECT_ANSWER(a.lock_object_proto(guid, "h1", r), 1, 0);
    EXPECT_ANSWER(a.lock_object_proto(guid, "h1", r), 1, 0);
    EXPECT_ANSWER(a.lock_object_proto(guid, "h2", r), 0, 1);
    // The check reports in the body: 0 free or own, 1 held by another, else what was sent.
    for (const auto& [id, holder, locked] :
         {std::tuple{guid, "h1", 0}, {guid, "h2", 1}, {"unknown-guid", "h2", 5}}) {
        EXPECT_ANSWER(a.check_object_lock_proto(id, holder, 5, r), 1, 0);
        EXPECT_EQ(cdb_body_row<object_lock_row>(r).locked, locked) << id << " " << holder;
    }
    EXPECT_ANSWER(a.unlock_object_proto(guid, "h2", r), 0, 1);
    EXPECT_ANSWER(a.unlock_object_proto(guid, "h1", r), 1, 0);  // one unlock frees a double lock
    EXPECT_ANSWER(a.lock_object_proto(guid, "h2", r), 1, 0);
    EXPECT_ANSWER(a.unlock_object_proto("never-locked", "h1", r), 1, 0);
}

TEST_F(Requests, DrawingLocksSavesAndUsers) {
    EXPECT_ANSWER(a.lock_drawing("M", "D", 5, 2, r), 1, 0);
    const drawinglocks_row stored = cdb_body_row<drawinglocks_row>(r);
    EXPECT_STREQ(stored.ModelName, "M");
    EXPECT_STREQ(stored.UserName, "alice");
    EXPECT_EQ(stored.ModId, 5);
    ASSERT_EQ(b.lock_drawing("M", "D", 7, 2, r), 0);
    EXPECT_ANSWER(a.check_drawing_lock_status("M", "D", 5, 2, r), 1, 0);
    const drawinglocks_row found = cdb_body_row<drawinglocks_row>(r);
    EXPECT_STREQ(found.UserName, "bob");
    EXPECT_EQ(found.LockStatus, 2);
    EXPECT_EQ(found.ModId, 7);

    EXPECT_ANSWER(b.save_completed("M", r), 1, 0);
    EXPECT_STREQ(cdb_body_row<multiusers_row>(r).UserName, "bob");
    EXPECT_NE(cdb_body_row<multiusers_row>(r).LastSaveTime, 0);
    EXPECT_ANSWER(a.check_drawing_lock_status("M", "D", 5, 2, r), 1, 0);
    EXPECT_EQ(cdb_body_row<drawinglocks_row>(r).LockStatus, 3);
    EXPECT_ANSWER(a.check_drawing_lock_status("M", "D", 9, 2, r), 0, 1);  // bob's status 3 is older

    for (const auto& [model, drawing] : {std::pair{"M", "D10"}, {"N", "D2"}, {"M", "D1"}})
        ASSERT_EQ(a.lock_drawing(model, drawing, 1, 1, r), 0);
    EXPECT_ANSWER(b.get_locked_drawing_names("alice", 1, r), 1, 0);
    EXPECT_EQ(text(r), "D1, D2, D10");
    EXPECT_ANSWER(b.get_locked_drawing_names("alice", 2, r), 1, 0);
    EXPECT_EQ(text(r), "D");
    EXPECT_ANSWER(b.get_locked_drawing_names("nobody", 1, r), 0, 1);
    EXPECT_EQ(text(r), "");
    EXPECT_ANSWER(a.unlock_drawing("M", "D10", 1, r), 1, 0);
    EXPECT_ANSWER(a.unlock_drawing("M", "D10", 1, r), 0, 1);

    // A client that never named a model has no user row to save.
    qm::client_c c;
    connect(c, "carol");
    r = qm::make_request(CDB_SAVE_COMPLETED);
    EXPECT_ANSWER(c.call(r), 0, 1);
    EXPECT_TRUE(logged("Error: could not update multiuser save timestamp\n"));

    // Walking the users returns each once, then 0.
    std::string last, seen;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(c.get_next_multiuser(last, r), 0);
        if (r.result == 0) break;
        last = cdb_body_row<multiusers_row>(r).UserName;
        seen += last + ";";
    }
    EXPECT_EQ(r.error, 1);
    EXPECT_EQ(seen, "alice;bob;");
}

TEST_F(Requests, ShortPayloadIsRejectedAndTheConnectionStaysUsable) {
    std::vector<unsigned char> reply;
    const std::vector<unsigned char> payload(CDB_REQUEST_SIZE - 1, 0x08);
    EXPECT_EQ(a.call_raw(payload.data(), static_cast<uint32_t>(payload.size()), &reply), 8);
    EXPECT_EQ(a.call_raw(nullptr, 0, &reply), 8);
    EXPECT_ANSWER(a.test_connection(r), 1, 0);
    EXPECT_TRUE(logged("prio 0 len 351\nRejected"));
    const std::string log = server_.log(), once = "Message CDB_TEST_CONNECTION\nresult 1\n";
    EXPECT_EQ(log.find(once), log.rfind(once));
}

}  // namespace
