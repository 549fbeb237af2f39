// Conversion of plain tables into domain tables, the domain information, inserts with given
// time ids and the identity index.
#include "outside/domain_table_test_support.h"

namespace domain_table_test {
namespace {

using ConvertTest = DomainTableTest;

struct CallbackPlan {
    int32_t creation = 0;
    int32_t modification = 0;
    int32_t object_id_of_all = -1;  // >= 0: every row gets this object id
    int calls = 0;
};

int32_t plan_callback(dbv_tablestruct*, void* context, dbv_domainrow32_s* row) {
    auto* plan = static_cast<CallbackPlan*>(context);
    ++plan->calls;
    auto* lock = static_cast<LockRow*>(row->row);
    lock->locked += 100;
    if (plan->object_id_of_all >= 0) lock->object_id = plan->object_id_of_all;
    row->creation = plan->creation;
    row->modification = plan->modification;
    return 7;  // ignored
}

TEST_F(ConvertTest, CallbackSeesEveryRowAndSetsBytesAndTimeIds) {
    insert_locks(3);
    const int32_t created = new_id();
    const int32_t modified = new_id();
    CallbackPlan plan{created, modified};
    ASSERT_EQ(0,
              dbv_converttable_domain(lock_, domain_, lock_fields(domain_), &plan, plan_callback));
    EXPECT_EQ(3, plan.calls);
    EXPECT_EQ(
        (std::vector<Seen>{{0, created, modified}, {1, created, modified}, {2, created, modified}}),
        scan());
    LockRow row = lock_row("m", 2);
    ASSERT_EQ(0, dbv_select(lock_primary_, &row));
    EXPECT_EQ(102, row.locked);

    dbv_domain_s* domain = nullptr;
    dbv_domainfieldspec_s fields[1];
    int32_t count = 0;
    ASSERT_EQ(0, dbv_gettabledomaininfo(lock_, &domain, fields, 1, &count));
    EXPECT_EQ(domain_, domain);
    EXPECT_EQ(2, count);  // more than the room given
    EXPECT_EQ(2, fields[0].field);
    ASSERT_EQ(0, dbv_gettabledomaininfo(lock_, &domain, nullptr, 0, &count));
    EXPECT_EQ(2, count);
}

TEST_F(ConvertTest, ZeroTimeIdsGetFreshOnesAndZeroModificationTheCreation) {
    insert_locks(2);
    const int32_t before = new_id();
    CallbackPlan plan;
    ASSERT_EQ(0, dbv_converttable_domain(lock_, domain_, nullptr, &plan, plan_callback));
    EXPECT_EQ((std::vector<Seen>{{0, before + 1, before + 1}, {1, before + 2, before + 2}}),
              scan());
    ASSERT_EQ(0, dbv_deletedomain(domain_));  // stale from here: operations refused cleanly
    const LockRow fresh = lock_row("m", 9);
    const LockRow first = lock_row("m", 0);
    EXPECT_NE(0, dbv_insert(lock_, &fresh));
    EXPECT_NE(0, dbv_delete(lock_primary_, &first));
    EXPECT_NE(0, dbv_update(lock_primary_, &first));
    EXPECT_EQ(2, dbv_getrowcount(lock_));
}

TEST_F(ConvertTest, RefusalsLeaveTheTableAsItWas) {
    const int32_t unknown = 1000;
    const dbv_domainfieldspec_s text_column[] = {{0, 0, nullptr}, {-1, 0, nullptr}};
    const dbv_domainfieldspec_s twice[] = {{2, 0, nullptr}, {2, 0, nullptr}, {-1, 0, nullptr}};
    const dbv_domainfieldspec_s beyond[] = {{9, 0, nullptr}, {-1, 0, nullptr}};
    struct Case {
        const char* what;
        const dbv_domainfieldspec_s* specs;
        CallbackPlan plan;
    };
    const Case cases[] = {
        {"a text column", text_column, {}},
        {"a column twice", twice, {}},
        {"no such column", beyond, {}},
        {"unknown creation id", nullptr, {unknown, 0}},
        {"unknown modification id", nullptr, {0, unknown}},
        {"two rows with one primary key", nullptr, {0, 0, 5}},
    };
    insert_locks(3);
    for (const Case& c : cases) {
        CallbackPlan plan = c.plan;
        EXPECT_NE(0, dbv_converttable_domain(lock_, domain_, c.specs, &plan, plan_callback))
            << c.what;
        dbv_domain_s* domain = domain_;
        int32_t count = -1;
        ASSERT_EQ(0, dbv_gettabledomaininfo(lock_, &domain, nullptr, 0, &count));
        EXPECT_EQ(nullptr, domain) << c.what;
        EXPECT_EQ((Ids{0, 1, 2}), lock_ids()) << c.what;
        LockRow row = lock_row("m", 1);
        ASSERT_EQ(0, dbv_select(lock_primary_, &row));
        EXPECT_EQ(1, row.locked) << c.what;  // the callback's change was not kept
    }
    ASSERT_EQ(0, dbv_converttable_domain(lock_, domain_, nullptr, nullptr, nullptr));
    EXPECT_NE(0, dbv_converttable_domain(lock_, domain_, nullptr, nullptr, nullptr));
    EXPECT_NE(0, dbv_converttable_domain(nullptr, domain_, nullptr, nullptr, nullptr));
}

TEST_F(ConvertTest, NullDomainRunsTheCallbackAndLeavesThePlainTable) {
    insert_locks(2);
    CallbackPlan plan;
    ASSERT_EQ(0, dbv_converttable_domain(lock_, nullptr, nullptr, &plan, plan_callback));
    EXPECT_EQ(2, plan.calls);
    dbv_domain_s* domain = domain_;
    int32_t count = -1;
    ASSERT_EQ(0, dbv_gettabledomaininfo(lock_, &domain, nullptr, 0, &count));
    EXPECT_EQ(nullptr, domain);
    EXPECT_EQ(0, count);
    dbv_domainrow32_s record{nullptr, 0, 0};
    LockRow row = lock_row("m", 7);
    record.row = &row;
    EXPECT_NE(0, dbv_insert_domain(lock_, &record));  // a plain table
}

TEST_F(ConvertTest, InsertDomainTakesKnownIdsOnly) {
    make_domain_table();
    const int32_t created = new_id();
    const int32_t modified = new_id();
    struct Case {
        int32_t object_id, creation, modification;
        int result;
        Seen expected;
    };
    const Case cases[] = {
        {1, created, modified, 0, {1, created, modified}},
        {2, created, 0, 0, {2, created, created}},
        {3, 0, 0, 0, {3, modified + 1, modified + 1}},
        {4, 999, 0, 1, {}},
        {5, created, 999, 1, {}},
        {1, created, modified, 1, {}},  // primary key taken
    };
    for (const Case& c : cases) {
        LockRow row = lock_row("m", c.object_id);
        const dbv_domainrow32_s record{&row, c.creation, c.modification};
        ASSERT_EQ(c.result, dbv_insert_domain(lock_, &record)) << c.object_id;
        if (c.result == 0) {
            EXPECT_EQ(c.expected, times_of(c.object_id));
        }
    }
    EXPECT_EQ(3, dbv_getrowcount(lock_));
}

TEST_F(ConvertTest, IdentityIndexFailsOnTwoRowsWithOneIdentity) {
    insert_locks(3);
    ASSERT_EQ(0, insert(lock_row("other", 1, "c", 1)));  // object 1, locked 1 again
    ASSERT_EQ(0, dbv_converttable_domain(lock_, domain_, lock_fields(domain_), nullptr, nullptr));
    const dbv_identityindexoptions_s unique{1, 1, 0, {0, 0}};
    dbv_indexstruct* index = nullptr;
    EXPECT_NE(0, dbv_createdomainidentityindex(lock_, &unique, &index));
    EXPECT_EQ(nullptr, index);

    ASSERT_EQ(0, erase(lock_row("other", 1)));
    ASSERT_EQ(0, dbv_createdomainidentityindex(lock_, &unique, &index));
    ASSERT_NE(nullptr, index);
    LockRow row = lock_row("m", 1);
    EXPECT_NE(0, dbv_select(index, &row));  // the identity index answers no lookups
    EXPECT_EQ(nullptr, dbv_opencursor(index, &row));
    EXPECT_EQ(0, dbv_dropindex(index));
    EXPECT_NE(0, dbv_dropindex(index));
    EXPECT_NE(0, dbv_dropindex(lock_primary_));  // the table's own index stays

    const dbv_identityindexoptions_s bad[] = {
        {2, 1, 0, {0, 0}}, {1, 2, 0, {0, 0}}, {1, 1, 1, {0, 0}}, {1, 1, 0, {1, 0}}};
    for (const auto& options : bad) {
        EXPECT_NE(0, dbv_createdomainidentityindex(lock_, &options, &index));
    }
    EXPECT_NE(0, dbv_createdomainidentityindex(drawings_, &unique, &index));  // plain table
}

TEST_F(ConvertTest, IdentityIndexOfADroppedTableIsGone) {
    make_domain_table(2);
    const dbv_identityindexoptions_s unique{1, 1, 0, {0, 0}};
    dbv_indexstruct* index = nullptr;
    ASSERT_EQ(0, dbv_createdomainidentityindex(lock_, &unique, &index));
    ASSERT_TRUE(dbv::DropVirtualTable("lock"));
    EXPECT_NE(0, dbv_dropindex(index));
}

}  // namespace
}  // namespace domain_table_test
