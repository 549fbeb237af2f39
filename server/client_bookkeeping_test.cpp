// User rows, the walk over users, saves, kicking, and clients coming and going.
#include "server/client_bookkeeping.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "outside/table_store.h"
#include "server/drawing_locks.h"
#include "server/id_allocation.h"
#include "server/locks.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

using ClientBookkeepingTest = ServerCoreTest;

TEST_F(ClientBookkeepingTest, UserRowFollowsTheLatestModel) {
    EXPECT_EQ(touch_user_row("A-model", "u1"), 1);
    EXPECT_EQ(touch_user_row("A-model", "u2"), 1);
    EXPECT_EQ(count_model_users("A-model"), 2);
    EXPECT_EQ(touch_user_row("B-model", "u1"), 1);
    EXPECT_EQ(count_model_users("A-model"), 1);
    EXPECT_EQ(count_model_users("B-model"), 1);
    EXPECT_EQ(count_model_users("C-model"), 0);
    auto rows = users();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_STREQ(rows[0].UserName, "u1");
    EXPECT_STREQ(rows[0].ModelName, "B-model");
    EXPECT_EQ(rows[0].LoginTime, 1000);
    EXPECT_EQ(rows[0].LastAccessTime, 1002);
    EXPECT_EQ(rows[0].LastSaveTime, 0);
    EXPECT_EQ(rows[0].LockedTime, 0);
}

TEST_F(ClientBookkeepingTest, WalkingUsersFromAnEmptyNameReturnsEachOnce) {
    multiusers_row body{};
    EXPECT_EQ(next_user_row(body), 0);  // empty table
    for (const char* user : {"anna", "bert", "cleo"}) touch_user_row("M", user);
    std::vector<std::string> seen;
    body = multiusers_row{};
    while (next_user_row(body) == 1) {
        seen.emplace_back(body.UserName);
        ASSERT_LE(seen.size(), 3u);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"anna", "bert", "cleo"}));
    srv_copy_text(body.UserName, "nobody");
    EXPECT_EQ(next_user_row(body), 0);
}

TEST_F(ClientBookkeepingTest, SaveNeedsAUserRow) {
    multiusers_row body{};
    CaptureStdout();
    EXPECT_EQ(record_save("M", "u1", body), 0);
    EXPECT_EQ(GetCapturedStdout(), "Error: could not update multiuser save timestamp\n");

    touch_user_row("M", "u1");  // time 1000
    drawinglocks_row lock = drawing_body("D", 3, 2);
    ASSERT_EQ(record_drawing_lock("M", "u1", lock), 1);  // time 1001
    std::memset(&body, 0x7F, sizeof body);
    EXPECT_EQ(record_save("M", "u1", body), 1);
    EXPECT_STREQ(body.UserName, "u1");
    EXPECT_STREQ(body.ModelName, "M");
    EXPECT_EQ(body.LoginTime, 1000);
    EXPECT_EQ(body.LastSaveTime, 1002);
    EXPECT_EQ(body.LastAccessTime, 1002);
    EXPECT_EQ(users()[0].LastSaveTime, 1002);
    EXPECT_EQ(drawing_locks()[0].LockStatus, 3);
    EXPECT_EQ(drawing_locks()[0].TimeStamp, 1002);
}

TEST_F(ClientBookkeepingTest, KickFreesEveryLevelOfTheDatabaseLock) {
    touch_user_row("M", "u1");
    CaptureStdout();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(lock_model_object("M", "u1", 0), 1);
    ASSERT_EQ(lock_model_object("M", "u1", 5), 1);
    ASSERT_EQ(lock_model_object("N", "u1", 0), 1);
    GetCapturedStdout();
    drawinglocks_row lock = drawing_body("D", 0, 2);
    ASSERT_EQ(record_drawing_lock("M", "u1", lock), 1);
    lock = drawing_body("S", 0, 3);
    ASSERT_EQ(record_drawing_lock("M", "u1", lock), 1);

    CaptureStdout();
    EXPECT_EQ(kick_user("M", "u1"), 1);
    EXPECT_EQ(GetCapturedStdout(), "M\nM\nM\nM\n");  // three releases and the refusal
    CaptureStdout();
    EXPECT_EQ(confirm_model_object_lock("M", "u1", 0), 0);
    EXPECT_EQ(lock_model_object("M", "u2", 0), 1);   // free for others now
    EXPECT_EQ(confirm_model_object_lock("M", "u1", 5), 1);  // object lock stays
    EXPECT_EQ(confirm_model_object_lock("N", "u1", 0), 1);  // other model stays
    GetCapturedStdout();
    EXPECT_TRUE(users().empty());
    auto rows = drawing_locks();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_STREQ(rows[0].DrawingName, "S");
}

TEST_F(ClientBookkeepingTest, DepartingClientsKeepLocksAndTheLastOneClearsUp) {
    use_database_file_in_temp_dir();
    CaptureStdout();
    EXPECT_EQ(client_connected("u1", nullptr), 0);
    EXPECT_EQ(client_connected("u2", nullptr), 0);
    EXPECT_EQ(server_state().connected_clients, 2);
    touch_user_row("M", "u1");
    touch_user_row("M", "u2");
    ASSERT_EQ(lock_model_object("M", "u1", 0), 1);
    object_lock_row guid{};
    srv_copy_text(guid.guid, "{G}");
    srv_copy_text(guid.client_name, "u1");
    ASSERT_EQ(guid_lock(guid), 1);
    for (auto [drawing, status] : {std::pair{"saved", 3}, {"viewed", 1}, {"edited", 2}}) {
        drawinglocks_row lock = drawing_body(drawing, 0, status);
        ASSERT_EQ(record_drawing_lock("M", "u1", lock), 1);
    }
    drawinglocks_row other = drawing_body("theirs", 0, 2);
    ASSERT_EQ(record_drawing_lock("M", "u2", other), 1);
    common_model_row counters = model_row("Plant", 1, 500);
    ASSERT_EQ(allocate_maxid(counters), 501);
    GetCapturedStdout();

    CaptureStdout();
    EXPECT_EQ(client_disconnected("u1", nullptr), 0);
    EXPECT_EQ(GetCapturedStdout(), "Client 'u1' disconnected.\n");
    EXPECT_EQ(server_state().connected_clients, 1);
    auto rows = drawing_locks();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_STREQ(rows[0].DrawingName, "saved");
    EXPECT_STREQ(rows[1].DrawingName, "theirs");
    ASSERT_EQ(users().size(), 1u);
    EXPECT_STREQ(users()[0].UserName, "u2");
    CaptureStdout();
    EXPECT_EQ(confirm_model_object_lock("M", "u1", 0), 1);  // the database lock stays
    GetCapturedStdout();
    EXPECT_EQ(guid_lock(guid), 1);
    EXPECT_TRUE(file_exists(server_state().database_file));

    CaptureStdout();
    EXPECT_EQ(client_disconnected("u2", nullptr), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Client 'u2' disconnected.\nNo one is connected, clearing the database\n");
    EXPECT_EQ(server_state().connected_clients, 0);
    EXPECT_TRUE(drawing_locks().empty());
    EXPECT_TRUE(users().empty());
    EXPECT_FALSE(file_exists(server_state().database_file));

    // The next allocation writes every model known since the start again.
    counters = model_row("Other", 4, 0);
    CaptureStdout();
    ASSERT_EQ(allocate_ga_id(counters), 1);
    GetCapturedStdout();
    dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
    ASSERT_EQ(read_database_file(), 0);
    auto models = common_models();
    ASSERT_EQ(models.size(), 2u);
    EXPECT_STREQ(models[0].name, "Plant");
    EXPECT_EQ(models[0].maxid, 501);
    EXPECT_STREQ(models[1].name, "Other");
}

TEST_F(ClientBookkeepingTest, ClientCountNeverGoesBelowZero) {
    CaptureStdout();
    EXPECT_EQ(client_disconnected("ghost", nullptr), 0);
    EXPECT_EQ(server_state().connected_clients, 0);
    EXPECT_EQ(client_connected("u1", nullptr), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Client 'ghost' disconnected.\nNo one is connected, clearing the database\n"
              "Client 'u1' connected.\n");
    EXPECT_EQ(server_state().connected_clients, 1);
}

TEST_F(ClientBookkeepingTest, KickByAnUnterminatedUserRow) {
    const std::string name(81, 'k');
    touch_user_row("M", name.c_str());
    multiusers_row body{};
    std::memset(body.UserName, 'k', sizeof body.UserName);  // no terminator at all
    CaptureStdout();
    EXPECT_EQ(kick_user("M", body), 1);
    GetCapturedStdout();
    EXPECT_TRUE(users().empty());
}
