// Tests of the causality question and the object-history questions: plain numeric order,
// the domain's causality order with run-time ids, and a history callback that knows only
// some objects.
#include "dbv/object_history.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dbv/domain_registry.h"
#include "dbv/model_sharing.h"
#include "dbv/time_ids.h"
#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "outside/store_seams.h"

namespace {

struct Times {
    int32_t creation, modification, numbering;
};

// A history callback over a fixed table of objects; remembers each call (object id and
// which of the three values were wanted).
class FakeHistory {
  public:
    explicit FakeHistory(std::map<int32_t, Times> objects) : objects_(std::move(objects)) {}
    ObjectHistoryCallback Callback() {
        return [this](int32_t id, int32_t* creation, int32_t* modification, int32_t* numbering) {
            calls.push_back(std::to_string(id) + ":" + (creation ? "c" : "") +
                            (modification ? "m" : "") + (numbering ? "n" : ""));
            const auto it = objects_.find(id);
            if (it == objects_.end()) return false;
            if (creation) *creation = it->second.creation;
            if (modification) *modification = it->second.modification;
            if (numbering) *numbering = it->second.numbering;
            return true;
        };
    }
    std::vector<std::string> calls;

  private:
    std::map<int32_t, Times> objects_;
};

class ObjectHistoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        mainResetAssertions();
        dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(false);
    }
    void TearDown() override {
        dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(false);
        store_seams::Reset();
        setLogSink({});
        mainResetAssertions();
    }
};

TEST_F(ObjectHistoryTest, PlainNumbersWithRunTimeIdsOff) {
    struct Case {
        int32_t a, b;
        int compare;
        bool changedAfter, eventAfterEvent, savedAfter, numberedAfter;
    };
    const Case cases[] = {
        {5, 5, 0, false, true, false, false},
        {4, 5, -1, false, false, false, true},
        {6, 5, 1, true, true, true, false},
        {-1, 0, -1, false, false, false, true},  // signed, not unsigned
        {INT32_MIN, INT32_MAX, -1, false, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.a) + " vs " + std::to_string(c.b));
        EXPECT_EQ(dbCompareTimeIds(c.a, c.b), c.compare);
        EXPECT_EQ(HasId1ChangedAfterId2(c.a, c.b), c.changedAfter);
        EXPECT_EQ(dbIsEventAfterEvent(c.a, c.b), c.eventAfterEvent);
        EXPECT_EQ(dbIsSavedAfterEvent(c.a, c.b), c.savedAfter);
        EXPECT_EQ(dbIsNumberedAfterModification(c.a, c.b), c.numberedAfter);
    }
    EXPECT_EQ(dbGetObjectCreationTime(77), 77);
}

// Run-time ids compare through the current database's domain.
class RuntimeIdsTest : public ObjectHistoryTest {
  protected:
    void SetUp() override {
        ObjectHistoryTest::SetUp();
        dbv::ClearDomainRegistryForTests();
        ASSERT_TRUE(dbv::CreateVirtualDatabase("RuntimeIds"));
        ASSERT_TRUE(dbv::CreateDomain("RuntimeIds"));
        domain_ = dbv::GetDatabaseDomain("RuntimeIds");
        ASSERT_NE(domain_, nullptr);
        dbv::ModelSharingInterface_c::SetRuntimeIdsEnabled(true);
    }
    void TearDown() override {
        dbv_deletedomain(domain_);
        dbv::ClearDomainRegistryForTests();
        dbv::DropVirtualDatabase("RuntimeIds");
        dbv::DropVirtualDatabase("WithoutDomain");
        ObjectHistoryTest::TearDown();
    }
    dbv_domain_s* domain_ = nullptr;
};

TEST_F(RuntimeIdsTest, CausalityDecidesAndEqualIdsAreNotAfter) {
    const int32_t one = dbv::NewId(domain_);
    const int32_t two = dbv::NewId(domain_);
    EXPECT_TRUE(HasId1ChangedAfterId2(two, one));
    EXPECT_FALSE(HasId1ChangedAfterId2(one, two));
    EXPECT_FALSE(HasId1ChangedAfterId2(two, two));
    EXPECT_TRUE(dbIsEventAfterEvent(two, two));

    // An id imported from another copy of the domain is never after one made here, and an
    // id made here after the import is after it.
    dbv_guid_s foreign{};
    foreign.bytes[0] = 0xAB;
    foreign.bytes[12] = 1;
    int32_t imported = 0;
    ASSERT_EQ(dbv_importguid(domain_, &foreign, &imported), 0);
    const int32_t later = dbv::NewId(domain_);
    EXPECT_FALSE(HasId1ChangedAfterId2(imported, two));
    EXPECT_TRUE(HasId1ChangedAfterId2(later, imported));
    EXPECT_FALSE(HasId1ChangedAfterId2(imported, later));
    // Numerically larger, but not causally after: the plain order would say true.
    EXPECT_GT(imported, two);
    EXPECT_EQ(mainGetAssertCount(), 0);
}

TEST_F(RuntimeIdsTest, WithoutACurrentDomainNothingIsAfter) {
    ASSERT_TRUE(dbv::CreateVirtualDatabase("WithoutDomain"));
    EXPECT_FALSE(HasId1ChangedAfterId2(6, 5));
    EXPECT_FALSE(HasId1ChangedAfterId2(5, 6));
    EXPECT_FALSE(HasId1ChangedAfterId2(5, 5));
    EXPECT_TRUE(dbIsEventAfterEvent(5, 5));
    EXPECT_EQ(mainGetAssertCount(), 0);
}

TEST_F(RuntimeIdsTest, AFailedCausalityComparisonIsLoggedReportedAndCountsAsAfter) {
    std::vector<std::string> log;
    setLogSink(
        [&log](int level, const char* text) { log.push_back(std::to_string(level) + " " + text); });
    const int32_t one = dbv::NewId(domain_);
    EXPECT_TRUE(HasId1ChangedAfterId2(999, one));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "1 Error in comparing causality 999 1\n");
    auto records = mainGetAssertRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].condition_text, "!\"Error in comparing causality\"");
    EXPECT_EQ(records[0].source_file, "dbv_time_stamp");

    // A store that refuses known ids takes the same path.
    const int32_t two = dbv::NewId(domain_);
    store_seams::FailOperation("dbv_comparecausality", 1);
    EXPECT_TRUE(HasId1ChangedAfterId2(one, two));
    EXPECT_FALSE(HasId1ChangedAfterId2(one, two));
    EXPECT_EQ(mainGetAssertCount(), 2);
}

TEST_F(RuntimeIdsTest, ObjectQuestionsUseCausalityToo) {
    const int32_t created = dbv::NewId(domain_);
    const int32_t numbered = dbv::NewId(domain_);
    const int32_t modified = dbv::NewId(domain_);
    FakeHistory history({{created, {created, modified, numbered}}});
    EXPECT_TRUE(dbObjectIsModifiedAfterNumbering(created, history.Callback()));
    EXPECT_FALSE(dbObjectIsNumberingUpToDate(created, history.Callback()));
    EXPECT_TRUE(dbObjectIsModifiedAfterEvent(created, numbered, history.Callback()));
    EXPECT_FALSE(dbObjectIsModifiedAfterEvent(created, modified, history.Callback()));
}

// Objects: 10 modified after numbering, 20 numbered after modification, 30 never modified,
// 40 with equal modification and numbering ids.
FakeHistory MakeHistory() {
    return FakeHistory(
        {{10, {10, 25, 15}}, {20, {20, 22, 24}}, {30, {30, 0, 0}}, {40, {40, 45, 45}}});
}

TEST_F(ObjectHistoryTest, ModificationEventOfModifiedNeverModifiedAndUnknownObjects) {
    FakeHistory history = MakeHistory();
    EXPECT_EQ(dbGetObjectModificationEvent(10, false, history.Callback()), 25);
    EXPECT_EQ(dbGetObjectModificationEvent(10, true, history.Callback()), 25);
    EXPECT_EQ(dbGetObjectModificationEvent(30, true, history.Callback()), 30);
    EXPECT_EQ(dbGetObjectModificationEvent(30, false, history.Callback()), 0);
    EXPECT_EQ(dbGetObjectModificationEvent(99, true, history.Callback()), 0);
    EXPECT_EQ(history.calls,
              (std::vector<std::string>{"10:cm", "10:cm", "30:cm", "30:cm", "99:cm"}));
}

TEST_F(ObjectHistoryTest, PairwiseQuestions) {
    using Question = bool (*)(int32_t, int32_t, const ObjectHistoryCallback&);
    struct Case {
        const char* name;
        Question question;
        int32_t id1, id2;
        bool expected;
    };
    const Case cases[] = {
        {"created 20 after 10", dbObject1IsCreatedAfterObject2, 20, 10, true},
        {"created 10 after 20", dbObject1IsCreatedAfterObject2, 10, 20, false},
        {"modified 10 (25) after 20 (22)", dbObject1IsModifiedAfterObject2, 10, 20, true},
        {"modified 20 (22) after 10 (25)", dbObject1IsModifiedAfterObject2, 20, 10, false},
        {"modified 30 (0) after 30 (0)", dbObject1IsModifiedAfterObject2, 30, 30, false},
        {"modified 10 (25) after creation of 20", dbObject1IsModifiedAfterObject2Creation, 10, 20,
         true},
        {"modified 20 (22) after creation of 40", dbObject1IsModifiedAfterObject2Creation, 20, 40,
         false},
        // Object 1 unknown: false whatever object 2 is.
        {"created, 1 unknown", dbObject1IsCreatedAfterObject2, 99, 10, false},
        {"modified, 1 unknown", dbObject1IsModifiedAfterObject2, 99, 10, false},
        {"modified after creation, 1 unknown", dbObject1IsModifiedAfterObject2Creation, 99, 10,
         false},
        // Object 2 unknown: object 1 against 0.
        {"created, 2 unknown", dbObject1IsCreatedAfterObject2, 10, 99, true},
        {"modified, 2 unknown", dbObject1IsModifiedAfterObject2, 10, 99, true},
        {"modified 30 (0), 2 unknown", dbObject1IsModifiedAfterObject2, 30, 99, false},
        {"modified after creation, 2 unknown", dbObject1IsModifiedAfterObject2Creation, 10, 99,
         true},
    };
    for (const Case& c : cases) {
        FakeHistory history = MakeHistory();
        EXPECT_EQ(c.question(c.id1, c.id2, history.Callback()), c.expected) << c.name;
        ASSERT_EQ(history.calls.size(), 2u) << c.name;
        // Object 1 is asked first, each for just the value compared.
        EXPECT_EQ(history.calls[0].substr(0, history.calls[0].find(':')), std::to_string(c.id1))
            << c.name;
    }
    FakeHistory history = MakeHistory();
    dbObject1IsModifiedAfterObject2Creation(10, 20, history.Callback());
    EXPECT_EQ(history.calls, (std::vector<std::string>{"10:m", "20:c"}));
}

TEST_F(ObjectHistoryTest, WhenTheCallbackKnowsOnlyOneObject) {
    FakeHistory history({{10, {10, 25, 15}}});
    EXPECT_TRUE(dbObject1IsCreatedAfterObject2(10, 20, history.Callback()));
    EXPECT_FALSE(dbObject1IsCreatedAfterObject2(20, 10, history.Callback()));
    EXPECT_TRUE(dbObject1IsModifiedAfterObject2(10, 20, history.Callback()));
    EXPECT_FALSE(dbObject1IsModifiedAfterObject2(20, 10, history.Callback()));
    EXPECT_TRUE(dbObject1IsModifiedAfterObject2Creation(10, 20, history.Callback()));
    EXPECT_FALSE(dbObject1IsModifiedAfterObject2Creation(20, 10, history.Callback()));
    EXPECT_TRUE(dbObjectIsModifiedAfterEvent(10, 24, history.Callback()));
    EXPECT_FALSE(dbObjectIsModifiedAfterEvent(20, 0, history.Callback()));
    EXPECT_TRUE(dbObjectIsModifiedAfterNumbering(10, history.Callback()));
    EXPECT_FALSE(dbObjectIsModifiedAfterNumbering(20, history.Callback()));
    EXPECT_FALSE(dbObjectIsNumberingUpToDate(10, history.Callback()));
    EXPECT_FALSE(dbObjectIsNumberingUpToDate(20, history.Callback()));
    EXPECT_EQ(dbGetObjectModificationEvent(10, false, history.Callback()), 25);
    EXPECT_EQ(dbGetObjectModificationEvent(20, true, history.Callback()), 0);
    EXPECT_EQ(mainGetAssertCount(), 0);
}

TEST_F(ObjectHistoryTest, ModifiedAfterEventAndNumbering) {
    struct Case {
        int32_t object;
        bool modifiedAfterNumbering, numberingUpToDate;
    };
    const Case cases[] = {
        {10, true, false},   // modification 25 after numbering 15
        {20, false, true},   // modification 22 before numbering 24
        {30, true, false},   // never modified nor numbered: 0 and 0 are equal ids
        {40, true, false},   // equal ids count as modified after numbering
        {99, false, false},  // unknown
    };
    for (const Case& c : cases) {
        FakeHistory history = MakeHistory();
        EXPECT_EQ(dbObjectIsModifiedAfterNumbering(c.object, history.Callback()),
                  c.modifiedAfterNumbering)
            << c.object;
        EXPECT_EQ(dbObjectIsNumberingUpToDate(c.object, history.Callback()), c.numberingUpToDate)
            << c.object;
        EXPECT_EQ(history.calls.front(), std::to_string(c.object) + ":mn");
    }
    FakeHistory history = MakeHistory();
    EXPECT_TRUE(dbObjectIsModifiedAfterEvent(10, 24, history.Callback()));
    EXPECT_FALSE(dbObjectIsModifiedAfterEvent(10, 25, history.Callback()));
    EXPECT_FALSE(dbObjectIsModifiedAfterEvent(99, 0, history.Callback()));
    EXPECT_EQ(history.calls, (std::vector<std::string>{"10:m", "10:m", "99:m"}));
}

TEST_F(ObjectHistoryTest, AnEmptyCallbackIsReportedAndTakesTheFailurePath) {
    const ObjectHistoryCallback empty;
    EXPECT_EQ(dbGetObjectModificationEvent(10, true, empty), 0);
    EXPECT_FALSE(dbObject1IsCreatedAfterObject2(20, 10, empty));
    EXPECT_FALSE(dbObject1IsModifiedAfterObject2(20, 10, empty));
    EXPECT_FALSE(dbObject1IsModifiedAfterObject2Creation(20, 10, empty));
    EXPECT_FALSE(dbObjectIsModifiedAfterEvent(10, 0, empty));
    EXPECT_FALSE(dbObjectIsModifiedAfterNumbering(10, empty));
    EXPECT_FALSE(dbObjectIsNumberingUpToDate(10, empty));
    const auto records = mainGetAssertRecords();
    ASSERT_EQ(records.size(), 7u);
    for (const AssertRecord& r : records) {
        EXPECT_EQ(r.condition_text, "!\"Object history callback is empty\"");
        EXPECT_EQ(r.source_file, "dbv_time_stamp");
    }
}

}  // namespace
