// Drawing locks: recording, removal, conflict checks, the name list, promotion after a
// save and the cleanup of a departed user's locks.
#include "server/drawing_locks.h"

#include <cstring>
#include <string>

#include "server/client_bookkeeping.h"
#include "server/server_test_support.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

int record(const char* user, const char* drawing, int32_t mod_id, int32_t status,
           const char* model = "M") {
    drawinglocks_row body = ServerCoreTest::drawing_body(drawing, mod_id, status);
    return record_drawing_lock(model, user, body);
}

int check(const char* user, const char* drawing, int32_t mod_id, int32_t status, drawinglocks_row* out) {
    *out = ServerCoreTest::drawing_body(drawing, mod_id, status);
    return check_drawing_lock_status("M", user, *out);
}

std::string names_of(const char* user, int32_t status, int* result = nullptr) {
    char text[256];
    std::memset(text, 'x', sizeof text);
    int r = locked_drawing_names(user, status, text, sizeof text);
    if (result) *result = r;
    return text;
}

}  // namespace

using DrawingLocksTest = ServerCoreTest;

TEST_F(DrawingLocksTest, RecordingTwiceKeepsOneRowWithTheSecondValues) {
    drawinglocks_row body = drawing_body("Plan-1", 10, 2);
    body.TimeStamp = -1;
    ASSERT_EQ(record_drawing_lock("M", "A", body), 1);
    EXPECT_STREQ(body.ModelName, "M");
    EXPECT_STREQ(body.UserName, "A");
    EXPECT_EQ(body.TimeStamp, 1000);
    body = drawing_body("Plan-1", 12, 2);
    ASSERT_EQ(record_drawing_lock("M", "A", body), 1);
    auto rows = drawing_locks();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ModId, 12);
    EXPECT_EQ(rows[0].TimeStamp, 1001);
    EXPECT_EQ(rows[0].LockStatus, 2);
    // Another status of the same drawing is a lock of its own.
    ASSERT_EQ(record("A", "Plan-1", 12, 1), 1);
    EXPECT_EQ(drawing_locks().size(), 2u);
}

TEST_F(DrawingLocksTest, RemoveNeedsTheExactLock) {
    ASSERT_EQ(record("A", "D", 1, 2), 1);
    EXPECT_EQ(remove_drawing_lock("M", "A", drawing_body("D", 0, 1)), 0);
    EXPECT_EQ(remove_drawing_lock("M", "B", drawing_body("D", 0, 2)), 0);
    EXPECT_EQ(remove_drawing_lock("N", "A", drawing_body("D", 0, 2)), 0);
    EXPECT_EQ(remove_drawing_lock("M", "A", drawing_body("D", 0, 2)), 1);
    EXPECT_EQ(remove_drawing_lock("M", "A", drawing_body("D", 0, 2)), 0);
    EXPECT_TRUE(drawing_locks().empty());
}

TEST_F(DrawingLocksTest, CheckReportsASavedLockOnlyWhenItIsNewer) {
    drawinglocks_row out;
    ASSERT_EQ(record("A", "D", 10, 2), 1);
    EXPECT_EQ(check("A", "D", 10, 2, &out), 0);  // only A's own lock
    ASSERT_EQ(record("B", "D", 11, 2), 1);
    ASSERT_EQ(check("A", "D", 10, 2, &out), 1);
    EXPECT_STREQ(out.UserName, "B");
    EXPECT_EQ(out.LockStatus, 2);
    EXPECT_EQ(out.ModId, 11);
    EXPECT_EQ(out.TimeStamp, 1001);

    // B reports a save: its status 2 lock becomes status 3.
    touch_user_row("M", "B");
    multiusers_row user{};
    ASSERT_EQ(record_save("M", "B", user), 1);
    ASSERT_EQ(check("A", "D", 10, 2, &out), 1);
    EXPECT_STREQ(out.UserName, "B");
    EXPECT_EQ(out.LockStatus, 3);
    EXPECT_EQ(out.TimeStamp, user.LastSaveTime);
    EXPECT_EQ(check("A", "D", 11, 2, &out), 0);  // A already has B's version
    EXPECT_EQ(check("A", "D", 12, 2, &out), 0);
}

TEST_F(DrawingLocksTest, CheckPrefersHigherStatusThenTheLaterRow) {
    drawinglocks_row out;
    ASSERT_EQ(record("C", "D", 50, 1), 1);
    ASSERT_EQ(record("B", "D", 5, 2), 1);
    ASSERT_EQ(record("E", "D", 5, 2), 1);
    ASSERT_EQ(record("F", "D", 4, 2), 1);
    ASSERT_EQ(check("A", "D", 0, 1, &out), 1);
    EXPECT_STREQ(out.UserName, "E");  // equal status and ModId: the later row
    // A status 2 asker with a higher ModId outranks the status 2 locks.
    EXPECT_EQ(check("A", "D", 6, 2, &out), 0);
    // A status 1 asker starts from ModId 0: the status 1 lock of C counts.
    EXPECT_EQ(remove_drawing_lock("M", "B", drawing_body("D", 0, 2)), 1);
    EXPECT_EQ(remove_drawing_lock("M", "E", drawing_body("D", 0, 2)), 1);
    EXPECT_EQ(remove_drawing_lock("M", "F", drawing_body("D", 0, 2)), 1);
    ASSERT_EQ(check("A", "D", 99, 1, &out), 1);
    EXPECT_STREQ(out.UserName, "C");
    EXPECT_EQ(out.ModId, 50);
}

TEST_F(DrawingLocksTest, NameListIsNaturallySortedAndCutWithEllipsis) {
    int result = -1;
    EXPECT_EQ(names_of("A", 1, &result), "");
    EXPECT_EQ(result, 0);
    ASSERT_EQ(record("A", "d10", 0, 2), 1);
    ASSERT_EQ(record("A", "d2", 0, 3), 1);
    ASSERT_EQ(record("A", "d1", 0, 2, "Other"), 1);
    ASSERT_EQ(record("A", "d2", 0, 2), 1);  // one name, twice in the class
    ASSERT_EQ(record("A", "s1", 0, 1), 1);
    ASSERT_EQ(record("B", "b1", 0, 2), 1);
    EXPECT_EQ(names_of("A", 2, &result), "d1, d2, d10");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(names_of("A", 7), "d1, d2, d10");
    EXPECT_EQ(names_of("A", 1), "s1");
    EXPECT_EQ(names_of("A", 0, &result), "");
    EXPECT_EQ(result, 0);
}

TEST_F(DrawingLocksTest, EightLongNamesGiveSevenAndEllipsis) {
    std::string expected;
    for (char c = 'a'; c < 'a' + 8; ++c) {
        std::string name(32, c);
        ASSERT_EQ(record("A", name.c_str(), 0, 2), 1);
        if (c < 'a' + 7) expected += (expected.empty() ? "" : ", ") + name;
    }
    expected += ", ...";
    const std::string text = names_of("A", 2);
    EXPECT_EQ(text.size(), 241u);
    EXPECT_EQ(text, expected);
}

TEST_F(DrawingLocksTest, PromotionMergesAndRaisesStatusTwo) {
    ASSERT_EQ(record("A", "D1", 1, 2), 1);
    ASSERT_EQ(record("A", "D1", 2, 3), 1);  // merged into the first D1 row
    ASSERT_EQ(record("A", "D2", 3, 3), 1);  // saved before: left alone
    ASSERT_EQ(record("A", "D3", 4, 1), 1);
    ASSERT_EQ(record("A", "D4", 5, 2), 1);
    ASSERT_EQ(record("A", "D5", 6, 2, "Other"), 1);
    ASSERT_EQ(record("B", "D4", 7, 2), 1);
    EXPECT_EQ(promote_drawing_locks_after_save("M", "A", 777), 2);
    auto rows = drawing_locks();
    ASSERT_EQ(rows.size(), 6u);
    struct expected_row {
        const char* user;
        const char* drawing;
        int32_t mod_id, status, time;
    } expected[] = {{"A", "D1", 1, 3, 777}, {"A", "D2", 3, 3, 1002}, {"A", "D3", 4, 1, 1003},
                    {"A", "D4", 5, 3, 777}, {"A", "D5", 6, 2, 1005}, {"B", "D4", 7, 2, 1006}};
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(rows[i].UserName, expected[i].user);
        EXPECT_STREQ(rows[i].DrawingName, expected[i].drawing);
        EXPECT_EQ(rows[i].ModId, expected[i].mod_id);
        EXPECT_EQ(rows[i].LockStatus, expected[i].status);
        EXPECT_EQ(rows[i].TimeStamp, expected[i].time);
    }
}

TEST_F(DrawingLocksTest, DroppingAUsersLocksIgnoresRowOrder) {
    ASSERT_EQ(record("A", "saved", 0, 3), 1);  // first in A's rows
    ASSERT_EQ(record("A", "viewed", 0, 1), 1);
    ASSERT_EQ(record("A", "edited", 0, 2, "Other"), 1);
    ASSERT_EQ(record("A", "odd", 0, 0), 1);
    ASSERT_EQ(record("B", "edited", 0, 2), 1);
    EXPECT_EQ(drop_user_drawing_locks("A"), 3);
    auto rows = drawing_locks();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_STREQ(rows[0].DrawingName, "saved");
    EXPECT_STREQ(rows[1].UserName, "B");

    EXPECT_EQ(drop_drawing_locks_with_status(2), 1);
    EXPECT_EQ(drop_drawing_locks_with_status(2), 0);
    EXPECT_EQ(drop_drawing_locks_with_status(3), 1);
    EXPECT_TRUE(drawing_locks().empty());
}

TEST_F(DrawingLocksTest, NameListCanOverwriteTheRequestRow) {
    ASSERT_EQ(record("A", "first", 0, 1), 1);
    // The reply text goes into the same bytes the request row came in.
    struct {
        drawinglocks_row row;
        char rest[256 - sizeof(drawinglocks_row)];
    } body{};
    static_assert(sizeof body == 256);
    body.row.UserName[0] = 'A';
    body.row.LockStatus = 1;
    char* text = reinterpret_cast<char*>(&body);
    EXPECT_EQ(locked_drawing_names(body.row, text, sizeof body), 1);
    EXPECT_STREQ(text, "first");
}
