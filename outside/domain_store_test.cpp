// Domains: id order and its limit, guids of own and imported ids, causality and the time-id
// comparison, clearing, stale handles and statistics.
#include "outside/domain_test_support.h"

namespace domain_store_test {
namespace {

TEST_F(DomainTest, IdsComeInOrderBadRangesUseNoneAndNoneIsPastInt32Max) {
    EXPECT_EQ(1, new_id());
    int32_t first = 77;
    for (const int32_t bad : {0, -3, INT32_MAX}) {  // INT32_MAX would end one past the limit
        EXPECT_NE(0, dbv_newidrange(domain_, bad, &first)) << bad;
    }
    EXPECT_EQ(77, first);
    ASSERT_EQ(0, dbv_newidrange(domain_, 5, &first));
    EXPECT_EQ(2, first);
    ASSERT_EQ(0, dbv_newidrange(domain_, INT32_MAX - 7, &first));
    EXPECT_EQ(7, first);
    EXPECT_EQ(INT32_MAX, new_id());
    int32_t id = 5;
    EXPECT_NE(0, dbv_newid(domain_, &id));
    EXPECT_NE(0, dbv_newidrange(domain_, 1, &first));
    EXPECT_EQ(5, id);
    int32_t back = 0;
    const dbv_guid_s guid = guid_of(INT32_MAX);  // the last id is an ordinary id
    ASSERT_EQ(0, dbv_guidtotimeid(domain_, &guid, &back));
    EXPECT_EQ(INT32_MAX, back);
}

TEST_F(DomainTest, GuidIsPrefixAndLittleEndianIdAndOnlyIssuedIdsHaveOne) {
    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(domain_, 0x01020304, &first));
    const dbv_guid_s last = guid_of(0x01020304);
    EXPECT_EQ(0, std::memcmp(guid_of(1).bytes, last.bytes, 12));
    const uint8_t tail[4] = {0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(0, std::memcmp(last.bytes + 12, tail, 4));

    dbv_guid_s guid{};
    for (const uint32_t unknown : {0u, 0x01020305u, 0x80000000u}) {
        EXPECT_NE(0, dbv_timeidtoguid(domain_, unknown, &guid)) << unknown;
    }
    guid = last;
    guid.bytes[12] = 0x05;  // own prefix, id not handed out
    int32_t id = -1;
    EXPECT_NE(0, dbv_guidtotimeid(domain_, &guid, &id));
    EXPECT_EQ(-1, id);

    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    new_id(other);
    const dbv_guid_s theirs = guid_of(1, other);
    EXPECT_NE(0, std::memcmp(last.bytes, theirs.bytes, 12));  // each domain its own prefix
    EXPECT_NE(0, dbv_guidtotimeid(domain_, &theirs, &id));
    EXPECT_EQ(0, dbv_deletedomain(other));
}

TEST_F(DomainTest, ImportedGuidGetsAFreshLocalIdOnce) {
    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    new_id(other);
    new_id(other);
    EXPECT_EQ(1, new_id());
    EXPECT_EQ(2, import_from(other, 2));
    EXPECT_EQ(2, import_from(other, 2));  // known already: the same local id
    EXPECT_EQ(3, new_id());
    EXPECT_EQ(0, std::memcmp(guid_of(2, other).bytes, guid_of(2).bytes, 16));

    // An own-prefix guid passes only for an own id already handed out; the one of local id
    // 2 names nothing (2 is the import's), and one of an id to come would clash later.
    dbv_guid_s own = guid_of(1);
    int32_t id = 0;
    ASSERT_EQ(0, dbv_importguid(domain_, &own, &id));
    EXPECT_EQ(1, id);
    for (const uint8_t unissued : {2, 9}) {
        own.bytes[12] = unissued;
        EXPECT_NE(0, dbv_importguid(domain_, &own, &id)) << int{unissued};
        EXPECT_NE(0, dbv_guidtotimeid(domain_, &own, &id)) << int{unissued};
    }
    EXPECT_EQ(4, new_id());
    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(domain_, INT32_MAX - 4, &first));
    const dbv_guid_s unseen = guid_of(1, other);  // no local id left for it
    EXPECT_NE(0, dbv_importguid(domain_, &unseen, &id));
    EXPECT_NE(0, dbv_guidtotimeid(domain_, &unseen, &id));
    EXPECT_EQ(0, dbv_deletedomain(other));
}

TEST_F(DomainTest, ClearForgetsImportsAndKeepsTheCounter) {
    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    new_id(other);
    EXPECT_EQ(1, new_id());
    EXPECT_EQ(2, import_from(other, 1));
    ASSERT_EQ(0, dbv_cleardomain(domain_));

    EXPECT_EQ(3, new_id());
    const dbv_guid_s foreign = guid_of(1, other);
    int32_t id = 0;
    int32_t result = 0;
    dbv_guid_s guid{};
    EXPECT_NE(0, dbv_guidtotimeid(domain_, &foreign, &id));
    EXPECT_NE(0, dbv_timeidtoguid(domain_, 2, &guid));  // the forgotten import's id
    EXPECT_NE(0, dbv_comparecausality(domain_, 3, 2, &result));
    EXPECT_EQ(0, dbv_timeidtoguid(domain_, 1, &guid));  // own ids stay known
    EXPECT_EQ(4, import_from(other, 1));                // imported again: a fresh id
    EXPECT_EQ(0, dbv_deletedomain(other));
}

// One scene: own ids 1, 3, 6; domain P's ids 2 and 1 imported in that order, as 2 (P2) and
// 4 (P1), so local numbers run against P's order; domain Q's id 1 imported as 5.
class CausalityTest : public DomainTest {
  protected:
    void SetUp() override {
        DomainTest::SetUp();
        ASSERT_EQ(0, dbv_createdomain(&p_));
        ASSERT_EQ(0, dbv_createdomain(&q_));
        new_id(p_);
        new_id(p_);
        new_id(q_);
        ASSERT_EQ(1, new_id());
        ASSERT_EQ(2, import_from(p_, 2));
        ASSERT_EQ(3, new_id());
        ASSERT_EQ(4, import_from(p_, 1));
        ASSERT_EQ(5, import_from(q_, 1));
        ASSERT_EQ(6, new_id());
    }
    void TearDown() override {
        dbv_deletedomain(p_);
        dbv_deletedomain(q_);
        DomainTest::TearDown();
    }
    dbv_domain_s* p_ = nullptr;
    dbv_domain_s* q_ = nullptr;
};

TEST_F(CausalityTest, CausalOrderFollowsOriginsAndImports) {
    const struct {
        uint32_t a, b;
        bool a_after_b;
    } cases[] = {
        {3, 1, true},  {1, 3, false},                 // own ids: order of making
        {3, 2, true},  {6, 5, true},                  // own after an import known before it
        {3, 4, false}, {4, 3, false},                 // import made later: concurrent
        {2, 1, false}, {5, 6, false},                 // an import is never after an own id
        {2, 4, true},  {4, 2, false},                 // P's ids in P's order
        {5, 4, false}, {4, 5, false}, {5, 2, false},  // different foreign origins
        {3, 3, false},                                // the same id
    };
    for (const auto& c : cases) {
        int32_t result = 7;
        ASSERT_EQ(0, dbv_comparecausality(domain_, c.a, c.b, &result));
        EXPECT_EQ(c.a_after_b, result == 0) << c.a << " after " << c.b;
    }
}

TEST_F(CausalityTest, ComparisonGivesPlusOneWhenTheFirstLiesBefore) {
    const struct {
        int32_t a, b, result;
    } cases[] = {
        {1, 3, +1}, {3, 1, -1}, {3, 3, 0},  // own ids
        {2, 3, +1}, {3, 2, -1},             // causality
        {2, 4, -1}, {4, 2, +1},             // P's order, against the local numbers
        {3, 4, +1}, {4, 3, -1},             // concurrent: local numbers
        {5, 4, -1}, {4, 5, +1}, {5, 6, +1}, {6, 5, -1},
    };
    for (const auto& c : cases) {
        int32_t result = 7;
        ASSERT_EQ(0, dbv_comparetimeid(domain_, c.a, c.b, &result));
        EXPECT_EQ(c.result, result) << c.a << " vs " << c.b;
    }
    int32_t result = 7;  // unknown ids
    EXPECT_NE(0, dbv_comparetimeid(domain_, 1, 0, &result));
    EXPECT_NE(0, dbv_comparetimeid(domain_, -1, 1, &result));
    EXPECT_NE(0, dbv_comparetimeid(domain_, 7, 1, &result));
    EXPECT_NE(0, dbv_comparecausality(domain_, 0xffffffffu, 1, &result));
    EXPECT_EQ(7, result);
}

TEST_F(DomainTest, DeletedDomainIsStaleAlsoAfterItsSlotIsReused) {
    new_id();
    dbv_domain_s* stale = domain_;
    ASSERT_EQ(0, dbv_deletedomain(stale));
    ASSERT_EQ(0, dbv_createdomain(&domain_));  // takes the freed slot
    ASSERT_NE(stale, domain_);
    int32_t id = -1;
    dbv_guid_s guid{};
    dbv_statistics_s* stats = nullptr;
    EXPECT_NE(0, dbv_newid(stale, &id));
    EXPECT_NE(0, dbv_timeidtoguid(stale, 1, &guid));
    EXPECT_NE(0, dbv_importguid(stale, &guid, &id));
    EXPECT_NE(0, dbv_comparetimeid(stale, 1, 1, &id));
    EXPECT_NE(0, dbv_cleardomain(stale));
    EXPECT_NE(0, dbv_getdomainstatistics(stale, &stats));
    EXPECT_NE(0, dbv_deletedomain(stale));
    EXPECT_NE(0, dbv_newid(nullptr, &id));
    EXPECT_EQ(-1, id);
    EXPECT_EQ(1, new_id());  // the new domain is untouched
}

TEST_F(DomainTest, StatisticsAreASnapshotOfTheIds) {
    dbv_domain_s* other = nullptr;
    ASSERT_EQ(0, dbv_createdomain(&other));
    new_id(other);
    int32_t first = 0;
    ASSERT_EQ(0, dbv_newidrange(domain_, 10, &first));
    import_from(other, 1);
    dbv_statistics_s* stats = nullptr;
    ASSERT_EQ(0, dbv_getdomainstatistics(domain_, &stats));
    new_id();  // after the snapshot
    const struct {
        const char* name;
        double value;
    } expected[] = {
        {"CompactedIdBase", 1}, {"CompactedIdCount", 11}, {"CompactedIdItemCount", 2},
        {"SessionIdBase", 1},   {"SessionIdCount", 11},   {"IdsInOrder", 1},
        {"ConnectedTables", 0}, {"ConnectedRows", 0},     {"ConnectedInvisibleRows", 0},
    };
    for (const auto& e : expected) {
        double value = -1;
        ASSERT_EQ(0, dbv_getstatistics(stats, e.name, &value)) << e.name;
        EXPECT_EQ(e.value, value) << e.name;
    }
    double value = 42;
    ASSERT_EQ(0, dbv_getstatistics(stats, "Bytes", &value));
    EXPECT_GT(value, 0);
    for (const char* unknown : {"Rows", "bytes", "", static_cast<const char*>(nullptr)}) {
        EXPECT_NE(0, dbv_getstatistics(stats, unknown, &value));
    }
    EXPECT_EQ(0, dbv_deletestatistics(stats));
    EXPECT_NE(0, dbv_getstatistics(stats, "Bytes", &value));
    EXPECT_NE(0, dbv_deletestatistics(stats));
    EXPECT_EQ(0, dbv_deletedomain(other));
}

}  // namespace
}  // namespace domain_store_test
