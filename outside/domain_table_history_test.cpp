// Time ids of changed rows, the history of deleted rows in work mode 5, save actions
// against events and change control.
#include "outside/domain_table_test_support.h"

namespace domain_table_test {
namespace {

using HistoryTest = DomainTableTest;

TEST_F(HistoryTest, ChangesStampFreshTimeIds) {
    make_domain_table(2);
    const Seen first = times_of(0);
    const int32_t base = new_id();
    ASSERT_EQ(0, insert(lock_row("m", 5)));
    EXPECT_EQ((Seen{5, base + 1, base + 1}), times_of(5));
    const LockRow changed = lock_row("m", 0, "c", 50);
    ASSERT_EQ(0, dbv_update(lock_primary_, &changed));
    EXPECT_EQ((Seen{0, first.creation, base + 2}), times_of(0));

    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, dbv_fetch(cursor, &row));  // object 1
    row.locked = 11;
    ASSERT_EQ(0, dbv_updatecurrent(cursor, &row));
    int32_t creation = 0, modification = 0;
    ASSERT_EQ(0, dbv_getcursortime(cursor, &creation, &modification));
    EXPECT_EQ(base + 3, modification);
    dbv_closecursor(cursor);
    EXPECT_NE(0, dbv_getcursortime(nullptr, &creation, &modification));
}

TEST_F(HistoryTest, DeletedRowsAreKeptAndListedOnlyInWorkMode5) {
    make_domain_table(4);
    const Seen zero = times_of(0);
    const Seen three = times_of(3);
    ASSERT_EQ(0, erase(lock_row("m", 1)));
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_EQ(0, dbv_deletecurrent(cursor));  // object 0
    dbv_closecursor(cursor);
    EXPECT_EQ((Ids{2, 3}), lock_ids());
    EXPECT_EQ(2, dbv_getrowcount(lock_));

    ASSERT_EQ(0, dbv_setworkmode(DBV_WORKMODE_HISTORY));
    EXPECT_EQ(DBV_WORKMODE_HISTORY, dbv_inquireworkmode());
    const std::vector<Seen> all = scan();
    ASSERT_EQ(4u, all.size());
    EXPECT_EQ((std::vector<int32_t>{2, 3, 1, 0}),
              (std::vector<int32_t>{all[0].object_id, all[1].object_id, all[2].object_id,
                                    all[3].object_id}));
    EXPECT_EQ(zero, all[3]);  // a history row keeps its ids
    EXPECT_EQ(three, all[1]);
    // Index cursors and selects still see live rows only.
    row = lock_row("m", 1);
    EXPECT_NE(0, dbv_select(lock_primary_, &row));

    // A history row cannot be deleted or updated through the cursor.
    cursor = dbv_opencursor_all(lock_);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_EQ(1, row.object_id);
    EXPECT_NE(0, dbv_deletecurrent(cursor));
    EXPECT_NE(0, dbv_updatecurrent(cursor, &row));
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    ASSERT_NE(0, dbv_fetch(cursor, &row));
    int32_t creation = 0, modification = 0;
    EXPECT_NE(0, dbv_getcursortime(cursor, &creation, &modification));
    dbv_closecursor(cursor);

    // Rows deleted after the open are not added to it; clearing keeps every row.
    cursor = dbv_opencursor_all(lock_);
    ASSERT_EQ(0, dbv_cleartable(lock_));
    EXPECT_EQ(0, dbv_getrowcount(lock_));
    dbv_closecursor(cursor);
    EXPECT_EQ(4u, scan().size());
    ASSERT_EQ(0, dbv_setworkmode(DBV_WORKMODE_LIVE));
    EXPECT_TRUE(scan().empty());
    EXPECT_NE(0, dbv_setworkmode(10));
    EXPECT_NE(0, dbv_setworkmode(-1));
    EXPECT_EQ(0, dbv_setworkmode(0));
    EXPECT_TRUE(scan().empty());  // any mode but 5 shows live rows only
}

TEST_F(HistoryTest, SaveActionsAgainstEventsMadeAtDifferentTimes) {
    dbv_domainevents_s* events = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(domain_, &events));
    make_domain_table(3);  // objects 0 (kept), 1 (updated later), 2 (deleted later)
    dbv_event_s* before = nullptr;
    ASSERT_EQ(0, dbv_createevent(events, "before", &before));
    const LockRow updated = lock_row("m", 1, "c", 9);
    ASSERT_EQ(0, dbv_update(lock_primary_, &updated));
    ASSERT_EQ(0, erase(lock_row("m", 2)));
    ASSERT_EQ(0, insert(lock_row("m", 3)));  // inserted after `before`
    ASSERT_EQ(0, insert(lock_row("m", 4)));
    ASSERT_EQ(0, erase(lock_row("m", 4)));  // inserted and deleted after `before`
    dbv_event_s* after = nullptr;
    ASSERT_EQ(0, dbv_createevent(events, "after", &after));

    ASSERT_EQ(0, dbv_setworkmode(DBV_WORKMODE_HISTORY));
    struct Expected {
        int32_t object_id, against_before, against_after;
    };
    const Expected expected[] = {{0, DBV_SAVEACTION_NONE, DBV_SAVEACTION_NONE},
                                 {1, DBV_SAVEACTION_UPDATE, DBV_SAVEACTION_NONE},
                                 {3, DBV_SAVEACTION_INSERT, DBV_SAVEACTION_NONE},
                                 {2, DBV_SAVEACTION_DELETE, DBV_SAVEACTION_NONE},
                                 {4, DBV_SAVEACTION_NONE, DBV_SAVEACTION_NONE}};
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    for (const Expected& e : expected) {
        ASSERT_EQ(0, dbv_fetch(cursor, &row));
        EXPECT_EQ(e.object_id, row.object_id);
        int32_t action = -1;
        ASSERT_EQ(0, dbv_getdomainsaveaction(cursor, before, &action));
        EXPECT_EQ(e.against_before, action) << e.object_id;
        ASSERT_EQ(0, dbv_getdomainsaveaction(cursor, after, &action));
        EXPECT_EQ(e.against_after, action) << e.object_id;
    }
    int32_t action = -1;
    EXPECT_NE(0, dbv_getdomainsaveaction(cursor, nullptr, &action));
    EXPECT_NE(0, dbv_fetch(cursor, &row));
    EXPECT_NE(0, dbv_getdomainsaveaction(cursor, before, &action));  // no current row
    dbv_closecursor(cursor);
}

TEST_F(HistoryTest, ChangeFlagsAndTheirReset) {
    make_domain_table(2);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_NE(0, dbv_resetchangecontrol(cursor, 3));  // mode 0 refuses
    ASSERT_EQ(0, dbv_settabledomainchangecontrolmode(lock_, 1));
    EXPECT_EQ(0, dbv_resetchangecontrol(cursor, DBV_CHANGE_EXISTENCE));
    dbv_closecursor(cursor);
    EXPECT_NE(0, dbv_settabledomainchangecontrolmode(lock_, 3));
    EXPECT_NE(0, dbv_resetchangecontrol(nullptr, 3));

    // In mode 2 a write holds only the flagged rows: object 1 (inserted) alone now.
    ASSERT_EQ(0, dbv_settabledomainchangecontrolmode(lock_, 2));
    dbv_domainheader_s* header = nullptr;
    ASSERT_EQ(0, dbv_createdomainheader(domain_, &header));
    const auto written_rows = [&] {
        MemoryStream stream;
        EXPECT_EQ(0, dbv_writetable_domain(stream.out(), header, lock_));
        const std::string bytes = stream.bytes();
        return (bytes.size() - 40) / (sizeof(LockRow) + 12);  // no history rows here
    };
    EXPECT_EQ(1u, written_rows());
    const LockRow changed = lock_row("m", 0, "c", 5);
    ASSERT_EQ(0, dbv_update(lock_primary_, &changed));  // flagged again (contents)
    EXPECT_EQ(2u, written_rows());

    cursor = dbv_opencursor_all(lock_);
    while (dbv_fetch(cursor, &row) == 0) ASSERT_EQ(0, dbv_resetchangecontrol(cursor, 3));
    EXPECT_NE(0, dbv_resetchangecontrol(cursor, 3));  // no current row
    dbv_closecursor(cursor);
    EXPECT_EQ(0u, written_rows());
    dbv_deletedomainheader(header);
}

TEST_F(HistoryTest, PlainTableHasNoFlagsToClear) {
    insert_locks(1);
    dbv_cursorstruct* cursor = dbv_opencursor_all(lock_);
    LockRow row;
    ASSERT_EQ(0, dbv_fetch(cursor, &row));
    EXPECT_NE(0, dbv_resetchangecontrol(cursor, 3));
    ASSERT_EQ(0, dbv_settabledomainchangecontrolmode(lock_, 1));
    EXPECT_EQ(0, dbv_resetchangecontrol(cursor, 3));
    int32_t creation = 0, modification = 0;
    EXPECT_NE(0, dbv_getcursortime(cursor, &creation, &modification));
    dbv_closecursor(cursor);
}

}  // namespace
}  // namespace domain_table_test
