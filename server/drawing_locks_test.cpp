// Drawing locks: recording, removal, conflict checks, the name list, promotion after a
// save and the cleanup of a departed user's locks.
#include "server/drawing_locks.h"

#include <cstring>
#include <string>
#include <utility>

#include "server/client_bookkeeping.h"
#include "server/server_test_support.h"

namespace {

struct lock_spec {
    const char* user;
    const char* drawing;
    int32_t mod_id, status;
    const char* model = "M";
};

// Records each lock in turn; every one must be accepted.
void record(std::initializer_list<lock_spec> locks) {
    for (const lock_spec& l : locks) {
        drawinglocks_row body = ServerCoreTest::drawing_body(l.drawing, l.mod_id, l.status);
        ASSERT_EQ(record_drawing_lock(l.model, l.user, body), 1) << l.user << " " << l.drawing;
    }
}

// Checks drawing D of model M for `user`; returns the result and what the body came back as.
std::pair<int, std::string> check(const char* user, int32_t mod_id, int32_t status) {
    drawinglocks_row out = ServerCoreTest::drawing_body("D", mod_id, status);
    const int result = check_drawing_lock_status("M", user, out);
    return {result, ServerCoreTest::text_of(out)};
}

std::string names_of(const char* user, int32_t status, int* result = nullptr) {
    char text[256];
    std::memset(text, 'x', sizeof text);
    const int r = locked_drawing_names(user, status, text, sizeof text);
    if (result) *result = r;
    return text;
}

}  // namespace

using DrawingLocksTest = ServerCoreTest;

TEST_F(DrawingLocksTest, RecordingTwiceKeepsOneRowWithTheSecondValues) {
    drawinglocks_row body = drawing_body("Plan-1", 10, 2);
    body.TimeStamp = -1;
    ASSERT_EQ(record_drawing_lock("M", "A", body), 1);
    EXPECT_EQ(text_of(body), "M/Plan-1/A 10 2 1000");  // the body comes back completed
    record({{"A", "Plan-1", 12, 2}});
    EXPECT_EQ(drawing_locks(), "M/Plan-1/A 12 2 1001");
    record({{"A", "Plan-1", 12, 1}});  // another status is a lock of its own
    EXPECT_EQ(drawing_locks(), "M/Plan-1/A 12 2 1001; M/Plan-1/A 12 1 1002");
}

TEST_F(DrawingLocksTest, RemoveNeedsTheExactLock) {
    record({{"A", "D", 1, 2}});
    EXPECT_EQ(remove_drawing_lock("M", "A", drawing_body("D", 0, 1)), 0);
    EXPECT_EQ(remove_drawing_lock("M", "B", drawing_body("D", 0, 2)), 0);
    EXPECT_EQ(remove_drawing_lock("N", "A", drawing_body("D", 0, 2)), 0);
    EXPECT_EQ(remove_drawing_lock("M", "A", drawing_body("D", 0, 2)), 1);
    EXPECT_EQ(remove_drawing_lock("M", "A", drawing_body("D", 0, 2)), 0);
    EXPECT_EQ(drawing_locks(), "");
}

TEST_F(DrawingLocksTest, CheckReportsASavedLockOnlyWhenItIsNewer) {
    record({{"A", "D", 10, 2}});
    EXPECT_EQ(check("A", 10, 2).first, 0);  // only A's own lock
    record({{"B", "D", 11, 2}});
    EXPECT_EQ(check("A", 10, 2), std::make_pair(1, std::string("/D/B 11 2 1001")));

    // B reports a save: its status 2 lock becomes status 3, counted only with a newer ModId.
    touch_user_row("M", "B");
    multiusers_row user{};
    ASSERT_EQ(record_save("M", "B", user), 1);
    EXPECT_EQ(check("A", 10, 2),
              std::make_pair(1, "/D/B 11 3 " + std::to_string(user.LastSaveTime)));
    EXPECT_EQ(check("A", 11, 2).first, 0);  // A already has B's version
    EXPECT_EQ(check("A", 12, 2).first, 0);
}

TEST_F(DrawingLocksTest, CheckPrefersHigherStatusThenTheLaterRow) {
    record({{"C", "D", 50, 1}, {"B", "D", 5, 2}, {"E", "D", 5, 2}, {"F", "D", 4, 2}});
    EXPECT_EQ(check("A", 0, 1), std::make_pair(1, std::string("/D/E 5 2 1002")));  // later row
    EXPECT_EQ(check("A", 6, 2).first, 0);  // a status 2 asker with a higher ModId outranks
    for (const char* user : {"B", "E", "F"})
        EXPECT_EQ(remove_drawing_lock("M", user, drawing_body("D", 0, 2)), 1);
    // A status 1 asker starts from ModId 0: the status 1 lock of C counts.
    EXPECT_EQ(check("A", 99, 1), std::make_pair(1, std::string("/D/C 50 1 1000")));
}

TEST_F(DrawingLocksTest, NameListIsNaturallySortedAndCutWithEllipsis) {
    int result = -1;
    EXPECT_EQ(names_of("A", 1, &result), "");
    EXPECT_EQ(result, 0);
    // d2 is in the class twice, d1 belongs to another model.
    record({{"A", "d10", 0, 2},
            {"A", "d2", 0, 3},
            {"A", "d1", 0, 2, "Other"},
            {"A", "d2", 0, 2},
            {"A", "s1", 0, 1},
            {"B", "b1", 0, 2}});
    EXPECT_EQ(names_of("A", 2, &result), "d1, d2, d10");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(names_of("A", 7), "d1, d2, d10");
    EXPECT_EQ(names_of("A", 1), "s1");
    EXPECT_EQ(names_of("A", 0, &result), "");
    EXPECT_EQ(result, 0);

    std::string expected;  // eight 32-character names give seven and ", ..." in 241 characters
    for (char c = 'a'; c < 'a' + 8; ++c) {
        const std::string name(32, c);
        record({{"Z", name.c_str(), 0, 2}});
        if (c < 'a' + 7) expected += (expected.empty() ? "" : ", ") + name;
    }
    EXPECT_EQ(names_of("Z", 2), expected + ", ...");
    EXPECT_EQ(names_of("Z", 2).size(), 241u);
}

TEST_F(DrawingLocksTest, NameListCanOverwriteTheRequestRow) {
    record({{"A", "first", 0, 1}});
    struct {  // the reply text goes into the same bytes the request row came in
        drawinglocks_row row;
        char rest[256 - sizeof(drawinglocks_row)];
    } body{};
    body.row.UserName[0] = 'A';
    body.row.LockStatus = 1;
    char* text = reinterpret_cast<char*>(&body);
    EXPECT_EQ(locked_drawing_names(body.row, text, sizeof body), 1);
    EXPECT_STREQ(text, "first");
}

TEST_F(DrawingLocksTest, PromotionMergesAndRaisesStatusTwo) {
    // The second D1 is merged into the first row; D2 was saved before and stays alone.
    record({{"A", "D1", 1, 2},
            {"A", "D1", 2, 3},
            {"A", "D2", 3, 3},
            {"A", "D3", 4, 1},
            {"A", "D4", 5, 2},
            {"A", "D5", 6, 2, "Other"},
            {"B", "D4", 7, 2}});
    EXPECT_EQ(promote_drawing_locks_after_save("M", "A", 777), 2);
    EXPECT_EQ(drawing_locks(),
              "M/D1/A 1 3 777; M/D2/A 3 3 1002; M/D3/A 4 1 1003; "
              "M/D4/A 5 3 777; Other/D5/A 6 2 1005; M/D4/B 7 2 1006");
}

TEST_F(DrawingLocksTest, DroppingAUsersLocksIgnoresRowOrder) {
    // A status 3 row first in A's rows must not stop the drop of the rows after it.
    record({{"A", "saved", 0, 3},
            {"A", "viewed", 0, 1},
            {"A", "edited", 0, 2, "Other"},
            {"A", "odd", 0, 0},
            {"B", "edited", 0, 2}});
    EXPECT_EQ(drop_user_drawing_locks("A"), 3);
    EXPECT_EQ(drawing_locks(), "M/saved/A 0 3 1000; M/edited/B 0 2 1004");

    EXPECT_EQ(drop_drawing_locks_with_status(2), 1);
    EXPECT_EQ(drop_drawing_locks_with_status(2), 0);
    EXPECT_EQ(drop_drawing_locks_with_status(3), 1);
    EXPECT_EQ(drawing_locks(), "");
}
