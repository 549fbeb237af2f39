// Model, object and guid locks: nesting, refusals, holders, and the user row's lock time.
#include "server/locks.h"

#include <cstring>
#include <sstream>
#include <string>

#include "server/client_bookkeeping.h"
#include "server/server_test_support.h"

namespace {

object_lock_row guid_request(const char* guid, const char* holder, int32_t locked = 0) {
    object_lock_row row{};
    srv_copy_text(row.guid, guid);
    srv_copy_text(row.client_name, holder);
    row.locked = locked;
    return row;
}

// Runs a script of "<op><user>=<expected>" steps on model M, object `object`:
// op L lock, U unlock, C confirm (model locks) or check (guid locks, expects `locked`).
void model_script(const std::string& script, int32_t object = 0) {
    std::istringstream steps(script);
    for (std::string s; steps >> s;) {
        SCOPED_TRACE(s);
        const std::string user(1, s[1]);
        const int got = s[0] == 'L'   ? lock_model_object("M", user.c_str(), object)
                        : s[0] == 'U' ? unlock_model_object("M", user.c_str(), object)
                                      : confirm_model_object_lock("M", user.c_str(), object);
        EXPECT_EQ(got, std::stoi(s.substr(3)));
    }
}

void guid_script(const char* guid, const std::string& script) {
    std::istringstream steps(script);
    for (std::string s; steps >> s;) {
        SCOPED_TRACE(s);
        object_lock_row row = guid_request(guid, std::string(1, s[1]).c_str(), 42);
        const int expected = std::stoi(s.substr(3));
        if (s[0] == 'C') {
            EXPECT_EQ(guid_check(row), 1);
            EXPECT_EQ(row.locked, expected);
        } else {
            EXPECT_EQ(s[0] == 'L' ? guid_lock(row) : guid_unlock(row), expected);
        }
    }
}

}  // namespace

using LocksTest = ServerCoreTest;

TEST_F(LocksTest, DatabaseLockNestsForItsHolderOnly) {
    // A non-holder's unlock changes nothing; the holder changes only once the lock is free.
    const std::string log = stdout_of([] {
        model_script("LA=1 LA=1 CA=2 CB=0 LB=0 UB=0 CA=2 UA=1 CA=1 LB=0 UA=1 UA=0 LB=1 CB=1 CA=0");
    });
    std::string expected;  // each operation logs the model name once
    for (int i = 0; i < 15; ++i) expected += "M\n";
    EXPECT_EQ(log, expected);
}

TEST_F(LocksTest, ObjectLocksAreKeyedByModelAndObject) {
    const std::string long_name(100, 'm');
    stdout_of([&] {
        model_script("LA=1 LB=0 CA=1 UB=0 CC=0", 17);
        model_script("LB=1 CA=0", 18);
        model_script("CA=0 UA=0", 0);                                // the database lock is apart
        EXPECT_EQ(lock_model_object("N", "B", 17), 1);               // same object id, other model
        EXPECT_EQ(lock_model_object(long_name.c_str(), "A", 1), 1);  // names kept to 81
        EXPECT_EQ(confirm_model_object_lock(long_name.substr(0, 81).c_str(), "A", 1), 1);
    });
}

TEST_F(LocksTest, DatabaseLockRequestsKeepTheLockedTimeAndShowTheHolder) {
    multiusers_row body{};
    EXPECT_EQ(model_lock_holder("M", body), 0);  // nobody locked it
    touch_user_row("M", "A");                    // now = 1000
    const std::string log = stdout_of([&] {
        EXPECT_EQ(lock_database("M", "A"), 1);  // now = 1001
        EXPECT_EQ(users(), "M/A 1000 1000 0 1001");
        EXPECT_EQ(lock_database("M", "B"), 0);  // refused: B's (missing) row is not touched
    });
    ASSERT_EQ(model_lock_holder("M", body), 1);
    EXPECT_EQ(text_of(body), "M/A 1000 1000 0 1001");
    EXPECT_EQ(stdout_of([] {
                  EXPECT_EQ(unlock_database("M", "B"), 0);  // B has no user row
                  EXPECT_EQ(unlock_database("M", "A"), 1);
              }),
              "M\nError: could not update multiuser locked timestamp\nM\n");
    EXPECT_EQ(log, "M\nM\n");
    EXPECT_EQ(users(), "M/A 1000 1000 0 0");
    multiusers_row untouched{};
    untouched.LoginTime = -5;
    EXPECT_EQ(model_lock_holder("M", untouched), 0);  // free again, body left alone
    EXPECT_EQ(untouched.LoginTime, -5);
}

TEST_F(LocksTest, GuidLocksDoNotNestAndCheckHidesTheHoldersOwnLock) {
    // An unknown guid checks as sent (42), the holder's own lock as 0, others' as stored;
    // one unlock frees it, others cannot unlock it, an unknown or free guid unlocks as 1.
    guid_script("{G1}", "CA=42 LA=1 LA=1 CA=0 CB=1 LB=0 UB=0 UA=1 CB=0 LB=1 UB=1 UA=1");
    guid_script("{unknown}", "UA=1");
}

TEST_F(LocksTest, GuidFieldsFromTheWireNeedNoTerminator) {
    object_lock_row request{};
    std::memset(request.guid, 'g', sizeof request.guid);
    std::memset(request.client_name, 'c', sizeof request.client_name);
    EXPECT_EQ(guid_lock(request), 1);
    EXPECT_EQ(guid_lock(request), 1);
    object_lock_row other = guid_request(std::string(38, 'g').c_str(), "X");
    EXPECT_EQ(guid_lock(other), 0);  // the same guid once cut to 38 characters
}
