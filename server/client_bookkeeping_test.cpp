// User rows, the walk over users, saves, kicking, and clients coming and going.
#include "server/client_bookkeeping.h"

#include <cstring>
#include <string>
#include <vector>

#include "outside/table_store.h"
#include "server/drawing_locks.h"
#include "server/id_allocation.h"
#include "server/locks.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

namespace {
void record(const char* user, const char* drawing, int32_t status) {
    drawinglocks_row lock = ServerCoreTest::drawing_body(drawing, 0, status);
    ASSERT_EQ(record_drawing_lock("M", user, lock), 1);
}
}  // namespace

using ClientBookkeepingTest = ServerCoreTest;

TEST_F(ClientBookkeepingTest, UserRowFollowsTheLatestModel) {
    EXPECT_EQ(touch_user_row("A-model", "u1"), 1);
    EXPECT_EQ(touch_user_row("A-model", "u2"), 1);
    EXPECT_EQ(count_model_users("A-model"), 2);
    EXPECT_EQ(touch_user_row("B-model", "u1"), 1);
    EXPECT_EQ(count_model_users("A-model"), 1);
    EXPECT_EQ(count_model_users("B-model"), 1);
    EXPECT_EQ(count_model_users("C-model"), 0);
    EXPECT_EQ(users(), "B-model/u1 1000 1002 0 0; A-model/u2 1001 1001 0 0");
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
    EXPECT_EQ(stdout_of([&] { EXPECT_EQ(record_save("M", "u1", body), 0); }),
              "Error: could not update multiuser save timestamp\n");
    touch_user_row("M", "u1");  // time 1000
    record("u1", "D", 2);       // time 1001
    std::memset(&body, 0x7F, sizeof body);
    EXPECT_EQ(record_save("M", "u1", body), 1);
    EXPECT_EQ(text_of(body), "M/u1 1000 1002 1002 0");
    EXPECT_EQ(users(), "M/u1 1000 1002 1002 0");
    EXPECT_EQ(drawing_locks(), "M/D/u1 0 3 1002");
}

TEST_F(ClientBookkeepingTest, KickFreesEveryLevelOfTheDatabaseLock) {
    touch_user_row("M", "u1");
    stdout_of([] {
        for (int i = 0; i < 3; ++i) ASSERT_EQ(lock_model_object("M", "u1", 0), 1);
        ASSERT_EQ(lock_model_object("M", "u1", 5), 1);
        ASSERT_EQ(lock_model_object("N", "u1", 0), 1);
    });
    record("u1", "D", 2);
    record("u1", "S", 3);
    EXPECT_EQ(stdout_of([] { EXPECT_EQ(kick_user("M", "u1"), 1); }),
              "M\nM\nM\nM\n");  // three releases and the refusal
    stdout_of([] {
        EXPECT_EQ(confirm_model_object_lock("M", "u1", 0), 0);
        EXPECT_EQ(lock_model_object("M", "u2", 0), 1);          // free for others now
        EXPECT_EQ(confirm_model_object_lock("M", "u1", 5), 1);  // object lock stays
        EXPECT_EQ(confirm_model_object_lock("N", "u1", 0), 1);  // other model stays
    });
    EXPECT_EQ(users(), "");
    EXPECT_EQ(drawing_locks(), "M/S/u1 0 3 1002");

    const std::string name(81, 'k');  // a kick request whose user name has no terminator
    touch_user_row("M", name.c_str());
    multiusers_row body{};
    std::memset(body.UserName, 'k', sizeof body.UserName);
    stdout_of([&] { EXPECT_EQ(kick_user("M", body), 1); });
    EXPECT_EQ(users(), "");
}

TEST_F(ClientBookkeepingTest, DepartingClientsKeepLocksAndTheLastOneClearsUp) {
    use_database_file_in_temp_dir();
    object_lock_row guid{};
    srv_copy_text(guid.guid, "{G}");
    srv_copy_text(guid.client_name, "u1");
    stdout_of([&] {
        EXPECT_EQ(client_connected("u1", nullptr), 0);
        EXPECT_EQ(client_connected("u2", nullptr), 0);
        touch_user_row("M", "u1");
        touch_user_row("M", "u2");
        ASSERT_EQ(lock_model_object("M", "u1", 0), 1);
        ASSERT_EQ(guid_lock(guid), 1);
        record("u1", "saved", 3);
        record("u1", "viewed", 1);
        record("u1", "edited", 2);
        record("u2", "theirs", 2);
        common_model_row counters = model_row("Plant", 1, 500);
        ASSERT_EQ(allocate_maxid(counters), 501);
        commit_pending_save();  // as the server does before the reply leaves
        ASSERT_EQ(allocate_maxid(counters), 601);
        commit_pending_save();  // the second save leaves the first file as the temporary one
    });
    EXPECT_TRUE(file_exists(server_state().temporary_file));
    EXPECT_EQ(server_state().connected_clients, 2);

    EXPECT_EQ(stdout_of([] { EXPECT_EQ(client_disconnected("u1", nullptr), 0); }),
              "Client 'u1' disconnected.\n");
    EXPECT_EQ(server_state().connected_clients, 1);
    EXPECT_EQ(drawing_locks(), "M/saved/u1 0 3 1002; M/theirs/u2 0 2 1005");
    EXPECT_EQ(users(), "M/u2 1001 1001 0 0");
    stdout_of([] { EXPECT_EQ(confirm_model_object_lock("M", "u1", 0), 1); });  // lock stays
    EXPECT_EQ(guid_lock(guid), 1);
    EXPECT_TRUE(file_exists(server_state().database_file));

    EXPECT_EQ(stdout_of([] { EXPECT_EQ(client_disconnected("u2", nullptr), 0); }),
              "Client 'u2' disconnected.\nNo one is connected, clearing the database\n");
    EXPECT_EQ(server_state().connected_clients, 0);
    EXPECT_EQ(drawing_locks(), "");
    EXPECT_EQ(users(), "");
    EXPECT_FALSE(file_exists(server_state().database_file));
    EXPECT_FALSE(file_exists(server_state().temporary_file));

    // The next allocation writes every model known since the start again.
    stdout_of([] {
        common_model_row counters = model_row("Other", 4, 0);
        ASSERT_EQ(allocate_ga_id(counters), 1);
        commit_pending_save();
    });
    dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
    ASSERT_EQ(read_database_file(), 0);
    EXPECT_EQ(models(), "Plant/1 601 0 0; Other/4 0 1 0");

    // A disconnect nobody announced never takes the count below zero.
    EXPECT_EQ(stdout_of([] {
                  EXPECT_EQ(client_disconnected("ghost", nullptr), 0);
                  EXPECT_EQ(client_connected("u3", nullptr), 0);
              }),
              "Client 'ghost' disconnected.\nNo one is connected, clearing the database\n"
              "Client 'u3' connected.\n");
    EXPECT_EQ(server_state().connected_clients, 1);
}

// Within one second a repeated touch leaves the row as it is, but a change of model in that
// second is still recorded.
TEST_F(ClientBookkeepingTest, TouchWithinOneSecondStillFollowsTheModel) {
    server_state().clock = [] { return int32_t{5000}; };
    EXPECT_EQ(touch_user_row("A-model", "u1"), 1);
    EXPECT_EQ(touch_user_row("A-model", "u1"), 1);
    EXPECT_EQ(users(), "A-model/u1 5000 5000 0 0");
    EXPECT_EQ(touch_user_row("B-model", "u1"), 1);
    EXPECT_EQ(users(), "B-model/u1 5000 5000 0 0");
}
