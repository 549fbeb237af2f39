// Tests of the time-id functions against the real in-memory store: ids and events, the
// order of two ids, the guid text in both directions and their failure paths.
#include "dbv/time_ids.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "dbv/domain_registry.h"
#include "outside/assert_log.h"
#include "outside/store_seams.h"

namespace {

// The guid whose bytes are 00 01 ... 0f and its text.
dbv_guid_s CountingGuid() {
    dbv_guid_s guid{};
    for (int i = 0; i < 16; ++i) guid.bytes[i] = static_cast<uint8_t>(i);
    return guid;
}
const char* const kCountingGuidText = "03020100-0504-0706-0809-0a0b0c0d0e0f";

class TimeIdsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        mainResetAssertions();
        ASSERT_EQ(dbv_createdomain(&domain_), 0);
    }
    void TearDown() override {
        store_seams::Reset();
        dbv_deletedomain(domain_);
        mainResetAssertions();
    }
    // The single report expected, by text and source.
    void ExpectOneReport(const char* text, const char* source) {
        const auto records = mainGetAssertRecords();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].condition_text, text);
        EXPECT_EQ(records[0].source_file, source);
    }
    dbv_domain_s* domain_ = nullptr;
};

TEST_F(TimeIdsTest, NewIdCountsUpAndGivesZeroWhenTheStoreRefuses) {
    EXPECT_EQ(dbv::NewId(domain_), 1);
    EXPECT_EQ(dbv::NewId(domain_), 2);
    EXPECT_EQ(dbv::NewId(nullptr), 0);
    store_seams::FailOperation("dbv_newid", 1);
    EXPECT_EQ(dbv::NewId(domain_), 0);
    EXPECT_EQ(dbv::NewId(domain_), 3);
    EXPECT_EQ(mainGetAssertCount(), 0);
}

TEST_F(TimeIdsTest, CreateDbvEventGivesTheEventsTimeIdOrZeroWithOneReport) {
    dbv_domainevents_s* events = nullptr;
    ASSERT_EQ(dbv_createdomainevents(domain_, &events), 0);
    dbv::NewId(domain_);
    EXPECT_EQ(dbv::CreateDbvEvent(events, "Saved"), 2);
    EXPECT_EQ(dbv::CreateDbvEvent(events, nullptr), 3);
    int32_t count = 0;
    ASSERT_EQ(dbv_geteventcount(events, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(mainGetAssertCount(), 0);

    // Failures are reported once and give zero.
    EXPECT_EQ(dbv::CreateDbvEvent(nullptr, "Saved"), 0);
    ExpectOneReport("CreateResult == 0", "dbv_interface");
    mainResetAssertions();
    store_seams::FailOperation("dbv_geteventtimeid", 1);
    EXPECT_EQ(dbv::CreateDbvEvent(events, "Saved"), 0);
    ExpectOneReport("Result == 0", "dbv_interface");
}

TEST_F(TimeIdsTest, CompareTimeIdsFollowsTheDomainsOrder) {
    const dbv::Id_c one{dbv::NewId(domain_)};
    const dbv::Id_c two{dbv::NewId(domain_)};
    struct Case {
        dbv::Id_c a, b;
        dbv::dbIdOrder_e expected;
    };
    const Case cases[] = {
        {one, two, dbv::ID_ORDER_FIRST_BEFORE},
        {two, one, dbv::ID_ORDER_FIRST_AFTER},
        {two, two, dbv::ID_ORDER_EQUAL},
        {one, dbv::Id_c{999}, dbv::ID_ORDER_UNDEFINED},  // unknown to the domain
        {dbv::Id_c{0}, one, dbv::ID_ORDER_UNDEFINED},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dbv::CompareTimeIds(domain_, c.a, c.b), c.expected)
            << c.a.timeId << " vs " << c.b.timeId;
    }
    EXPECT_EQ(dbv::CompareTimeIds(nullptr, one, two), dbv::ID_ORDER_UNDEFINED);
    EXPECT_EQ(mainGetAssertCount(), 0);
}

TEST_F(TimeIdsTest, ForcedComparisonResultsMapOrAreReported) {
    const dbv::Id_c one{dbv::NewId(domain_)};
    const dbv::Id_c two{dbv::NewId(domain_)};
    const std::pair<int32_t, dbv::dbIdOrder_e> cases[] = {
        {-1, dbv::ID_ORDER_FIRST_AFTER},
        {0, dbv::ID_ORDER_EQUAL},
        {1, dbv::ID_ORDER_FIRST_BEFORE},
    };
    for (const auto& [forced, expected] : cases) {
        store_seams::ForceCompareResult(forced);
        EXPECT_EQ(dbv::CompareTimeIds(domain_, one, two), expected) << forced;
    }
    EXPECT_EQ(mainGetAssertCount(), 0);

    store_seams::ForceCompareResult(2);
    EXPECT_EQ(dbv::CompareTimeIds(domain_, one, two), dbv::ID_ORDER_UNDEFINED);
    ExpectOneReport("!\"Unsupported comparison result\"", "rowhive_tools");

    store_seams::FailOperation("dbv_comparetimeid", 1);
    EXPECT_EQ(dbv::CompareTimeIds(domain_, one, two), dbv::ID_ORDER_UNDEFINED);
    EXPECT_EQ(mainGetAssertCount(), 1);  // a refused comparison is no report
}

TEST_F(TimeIdsTest, CompareTimeIdAndCompareCausalityPassTheStoreThrough) {
    const int32_t one = dbv::NewId(domain_);
    const int32_t two = dbv::NewId(domain_);
    int32_t result = 7;
    EXPECT_EQ(dbv::CompareTimeId(domain_, one, two, &result), 0);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(dbv::CompareTimeId(domain_, two, one, &result), 0);
    EXPECT_EQ(result, -1);
    EXPECT_NE(dbv::CompareTimeId(domain_, one, 999, &result), 0);

    EXPECT_EQ(dbv::CompareCausality(domain_, 2, 1, &result), 0);
    EXPECT_EQ(result, 0);  // 2 is causally after 1
    EXPECT_EQ(dbv::CompareCausality(domain_, 1, 2, &result), 0);
    EXPECT_NE(result, 0);
    EXPECT_NE(dbv::CompareCausality(domain_, 1, 999, &result), 0);
}

TEST_F(TimeIdsTest, GuidTextHasTheFixedByteOrderAndUnknownIdsLeaveTheBuffer) {
    const dbv_guid_s guid = CountingGuid();
    int32_t timeId = 0;
    ASSERT_EQ(dbv_importguid(domain_, &guid, &timeId), 0);

    char text[dbv::kGuidTextBufferSize];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(dbv::GetGuidStringFromTimeId(domain_, static_cast<uint32_t>(timeId), text), 0);
    EXPECT_STREQ(text, kCountingGuidText);
    EXPECT_EQ(dbv::TimeIdToString(static_cast<uint32_t>(timeId), domain_), kCountingGuidText);

    // An unknown id leaves the buffer alone.
    std::strcpy(text, "untouched");
    EXPECT_EQ(dbv::GetGuidStringFromTimeId(domain_, 999, text), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(dbv::GetGuidStringFromTimeId(nullptr, 1, text), 0);
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(dbv::GetGuidStringFromTimeId(domain_, 1, nullptr), 0);

    EXPECT_EQ(dbv::TimeIdToString(999u, domain_), "");
    EXPECT_EQ(dbv::TimeIdToString(0u, domain_), "");
    EXPECT_EQ(dbv::TimeIdToString(1u, static_cast<dbv_domain_s*>(nullptr)), "");
}

TEST_F(TimeIdsTest, OwnIdsGiveTheirGuidTextWithTheIdInTheLastBytes) {
    const uint32_t id = static_cast<uint32_t>(dbv::NewId(domain_));
    char text[dbv::kGuidTextBufferSize] = {};
    dbv::GetGuidStringFromTimeId(domain_, id, text);
    ASSERT_EQ(std::strlen(text), 36u);
    // The last four bytes hold the id, little endian, printed in byte order.
    EXPECT_EQ(std::string(text + 28), "01000000");
    EXPECT_EQ(dbv::TimeIdToString(id, domain_), text);
}

// The forms that name a database go through the registry.
class TimeIdsByDatabaseTest : public TimeIdsTest {
  protected:
    void SetUp() override {
        TimeIdsTest::SetUp();
        dbv::ClearDomainRegistryForTests();
        ASSERT_TRUE(dbv::CreateVirtualDatabase(name_.c_str()));
        ASSERT_TRUE(dbv::CreateDomain(name_.c_str()));
        registered_ = dbv::GetDatabaseDomain(name_.c_str());
        ASSERT_NE(registered_, nullptr);
    }
    void TearDown() override {
        dbv_deletedomain(registered_);
        dbv::ClearDomainRegistryForTests();
        dbv::DropVirtualDatabase(name_.c_str());
        TimeIdsTest::TearDown();
    }
    std::string name_ = "TimeIdsByDatabase";
    dbv_domain_s* registered_ = nullptr;
};

TEST_F(TimeIdsByDatabaseTest, TextAndTimeIdRoundTrip) {
    const int32_t id = dbv::NewId(registered_);
    const std::string text = dbv::TimeIdToString(static_cast<uint32_t>(id), name_.c_str());
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text, dbv::TimeIdToString(static_cast<uint32_t>(id), registered_));
    EXPECT_EQ(dbv::TimeIdFromString(text.c_str(), name_.c_str()), static_cast<uint32_t>(id));

    std::string upper = text;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(dbv::TimeIdFromString(upper.c_str(), name_.c_str()), static_cast<uint32_t>(id));
}

TEST_F(TimeIdsByDatabaseTest, UnknownDatabasesTextsAndGuidsGiveNeutralResults) {
    const int32_t id = dbv::NewId(registered_);
    const std::string text = dbv::TimeIdToString(static_cast<uint32_t>(id), name_.c_str());
    EXPECT_EQ(dbv::TimeIdToString(static_cast<uint32_t>(id), "NoSuchDatabase"), "");
    EXPECT_EQ(dbv::TimeIdToString(static_cast<uint32_t>(id), static_cast<const char*>(nullptr)),
              "");
    EXPECT_EQ(dbv::TimeIdFromString(text.c_str(), "NoSuchDatabase"), 0u);
    EXPECT_EQ(dbv::TimeIdFromString(text.c_str(), nullptr), 0u);

    const char* const badTexts[] = {"", "not a guid", "03020100-0504-0706-0809-0a0b0c0d0e0",
                                    "03020100-0504-0706-0809-0a0b0c0d0e0f0", nullptr};
    for (const char* bad : badTexts) {
        EXPECT_EQ(dbv::TimeIdFromString(bad, name_.c_str()), 0u) << (bad ? bad : "(null)");
    }
    // A well-formed guid the domain never saw.
    EXPECT_EQ(dbv::TimeIdFromString(kCountingGuidText, name_.c_str()), 0u);
    EXPECT_EQ(mainGetAssertCount(), 0);
}

}  // namespace
