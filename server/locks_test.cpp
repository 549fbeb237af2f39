// Model, object and guid locks: nesting, refusals, holders, and the user row's lock time.
#include "server/locks.h"

#include <cstring>
#include <string>

#include "server/client_bookkeeping.h"
#include "server/server_test_support.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

object_lock_row guid_request(const char* guid, const char* holder, int32_t locked = 0) {
    object_lock_row row{};
    srv_copy_text(row.guid, guid);
    srv_copy_text(row.client_name, holder);
    row.locked = locked;
    return row;
}

}  // namespace

using LocksTest = ServerCoreTest;

TEST_F(LocksTest, DatabaseLockNestsForItsHolderOnly) {
    CaptureStdout();
    EXPECT_EQ(lock_model_object("M", "A", 0), 1);
    EXPECT_EQ(lock_model_object("M", "A", 0), 1);
    EXPECT_EQ(confirm_model_object_lock("M", "A", 0), 2);
    EXPECT_EQ(confirm_model_object_lock("M", "B", 0), 0);
    EXPECT_EQ(lock_model_object("M", "B", 0), 0);
    EXPECT_EQ(unlock_model_object("M", "B", 0), 0);  // not the holder: nothing changes
    EXPECT_EQ(confirm_model_object_lock("M", "A", 0), 2);
    EXPECT_EQ(unlock_model_object("M", "A", 0), 1);
    EXPECT_EQ(confirm_model_object_lock("M", "A", 0), 1);
    EXPECT_EQ(lock_model_object("M", "B", 0), 0);
    EXPECT_EQ(unlock_model_object("M", "A", 0), 1);
    EXPECT_EQ(unlock_model_object("M", "A", 0), 0);  // free now
    EXPECT_EQ(lock_model_object("M", "B", 0), 1);    // holder changes once free
    EXPECT_EQ(confirm_model_object_lock("M", "B", 0), 1);
    EXPECT_EQ(confirm_model_object_lock("M", "A", 0), 0);
    // Each operation logs the model name once.
    std::string expected;
    for (int i = 0; i < 15; ++i) expected += "M\n";
    EXPECT_EQ(GetCapturedStdout(), expected);
}

TEST_F(LocksTest, ObjectLocksAreKeyedByModelAndObject) {
    CaptureStdout();
    EXPECT_EQ(lock_model_object("M", "A", 17), 1);
    EXPECT_EQ(lock_model_object("M", "B", 18), 1);
    EXPECT_EQ(lock_model_object("N", "B", 17), 1);  // same object id, other model
    EXPECT_EQ(lock_model_object("M", "B", 17), 0);
    EXPECT_EQ(confirm_model_object_lock("M", "A", 17), 1);
    EXPECT_EQ(confirm_model_object_lock("M", "A", 0), 0);  // the database lock is apart
    EXPECT_EQ(unlock_model_object("M", "A", 99), 0);       // never locked
    // A model name is kept to 81 characters; longer names meet the same lock.
    const std::string long_name(100, 'm');
    EXPECT_EQ(lock_model_object(long_name.c_str(), "A", 1), 1);
    EXPECT_EQ(confirm_model_object_lock(long_name.substr(0, 81).c_str(), "A", 1), 1);
    GetCapturedStdout();
}

TEST_F(LocksTest, LockHolderAndLockedTimeGoThroughTheUserRow) {
    multiusers_row body{};
    CaptureStdout();
    EXPECT_EQ(model_lock_holder("M", body), 0);  // nobody locked it
    EXPECT_EQ(set_user_locked_time("A", 5), 0);  // A has no user row yet
    EXPECT_EQ(GetCapturedStdout(), "Error: could not update multiuser locked timestamp\n");

    touch_user_row("M", "A");
    CaptureStdout();
    ASSERT_EQ(lock_model_object("M", "A", 0), 1);
    EXPECT_EQ(set_user_locked_time("A", 4711), 1);
    GetCapturedStdout();
    ASSERT_EQ(model_lock_holder("M", body), 1);
    EXPECT_STREQ(body.UserName, "A");
    EXPECT_STREQ(body.ModelName, "M");
    EXPECT_EQ(body.LockedTime, 4711);

    CaptureStdout();
    ASSERT_EQ(unlock_model_object("M", "A", 0), 1);
    GetCapturedStdout();
    multiusers_row untouched{};
    untouched.LoginTime = -5;
    EXPECT_EQ(model_lock_holder("M", untouched), 0);  // free again
    EXPECT_EQ(untouched.LoginTime, -5);
}

TEST_F(LocksTest, GuidLocksDoNotNest) {
    EXPECT_EQ(guid_lock(guid_request("{G1}", "A")), 1);
    EXPECT_EQ(guid_lock(guid_request("{G1}", "A")), 1);
    EXPECT_EQ(guid_lock(guid_request("{G1}", "B")), 0);
    EXPECT_EQ(guid_unlock(guid_request("{G1}", "B")), 0);  // someone else's
    EXPECT_EQ(guid_unlock(guid_request("{G1}", "A")), 1);  // one unlock frees it
    EXPECT_EQ(guid_lock(guid_request("{G1}", "B")), 1);
    EXPECT_EQ(guid_unlock(guid_request("{unknown}", "A")), 1);
    EXPECT_EQ(guid_unlock(guid_request("{G1}", "B")), 1);
    EXPECT_EQ(guid_unlock(guid_request("{G1}", "A")), 1);  // already free: nothing to do
}

TEST_F(LocksTest, GuidCheckHidesTheHoldersOwnLock) {
    object_lock_row check = guid_request("{G2}", "A", 42);
    EXPECT_EQ(guid_check(check), 1);
    EXPECT_EQ(check.locked, 42);  // unknown guid: as sent
    ASSERT_EQ(guid_lock(guid_request("{G2}", "A")), 1);
    check = guid_request("{G2}", "A", 42);
    EXPECT_EQ(guid_check(check), 1);
    EXPECT_EQ(check.locked, 0);
    check = guid_request("{G2}", "B", 42);
    EXPECT_EQ(guid_check(check), 1);
    EXPECT_EQ(check.locked, 1);
    ASSERT_EQ(guid_unlock(guid_request("{G2}", "A")), 1);
    check = guid_request("{G2}", "B", 42);
    EXPECT_EQ(guid_check(check), 1);
    EXPECT_EQ(check.locked, 0);  // the stored value of a freed lock
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

TEST_F(LocksTest, DatabaseLockRequestsKeepTheLockedTime) {
    touch_user_row("M", "A");  // now = 1000
    CaptureStdout();
    EXPECT_EQ(lock_database("M", "A"), 1);  // now = 1001
    EXPECT_EQ(users()[0].LockedTime, 1001);
    EXPECT_EQ(lock_database("M", "B"), 0);  // refused: B's (missing) row is not touched
    EXPECT_EQ(unlock_database("M", "B"), 0);
    EXPECT_EQ(unlock_database("M", "A"), 1);
    EXPECT_EQ(users()[0].LockedTime, 0);
    EXPECT_EQ(GetCapturedStdout(),
              "M\nM\nM\nError: could not update multiuser locked timestamp\nM\n");
}
