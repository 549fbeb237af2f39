// Tests of the domain and events container against the table store: copying, levels,
// events by name, run-time events, the mapper it holds, statistics and the reports.
#include "dbv/domain_and_events.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "dbv/domain_statistics_internal.h"
#include "dbv/domain_test_support.h"

namespace {

using dbv::DomainAndEvents_c;
using dbv_domain_test::DomainFixture;
using dbv_domain_test::Report;
using dbv_domain_test::Reports;

constexpr auto kLocal = DomainAndEvents_c::EVENT_LEVEL_LOCAL;
constexpr auto kCompany = DomainAndEvents_c::EVENT_LEVEL_COMPANY;
constexpr auto kProject = DomainAndEvents_c::EVENT_LEVEL_PROJECT;
const char* const kSource = "dbd_domain_and_events";

// A statistics handle released through the store: fails while releases are made to fail.
int ProbeStatisticsRelease() {
    dbv_domain_s* domain = nullptr;
    dbv_statistics_s* statistics = nullptr;
    dbv_createdomain(&domain);
    dbv_getdomainstatistics(domain, &statistics);
    return dbv_deletestatistics(statistics);
}

class DomainAndEventsTest : public DomainFixture {
  protected:
    // A container with a domain, `levels` event containers, a run-time container and a
    // mapper; left unchanged.
    DomainAndEvents_c Filled(int levels) {
        DomainAndEvents_c container;
        domain_ = NewDomain();
        container.SetDomain(domain_);
        for (int level = 0; level < levels; ++level) {
            container.AddDomainEvents(NewEvents(domain_));
        }
        EXPECT_TRUE(container.CreateRuntimeDomainEvents());
        EXPECT_TRUE(container.InitRangeMapper());
        container.ResetChangeStatus();
        return container;
    }
    static dbv_domainevents_s* Level(const DomainAndEvents_c& c,
                                     DomainAndEvents_c::DomainEventLevel_e level) {
        dbv_domainevents_s* events = nullptr;
        EXPECT_TRUE(c.GetDomainEvents(level, &events));
        return events;
    }
    static dbv_domainevents_s* Runtime(const DomainAndEvents_c& c) {
        dbv_domainevents_s* events = nullptr;
        EXPECT_TRUE(c.GetRuntimeDomainEvents(&events));
        return events;
    }
    static dbv::IdRangeMapper_c* Mapper(const DomainAndEvents_c& c) {
        dbv::IdRangeMapper_c* mapper = nullptr;
        EXPECT_TRUE(c.GetRangeMapper(&mapper));
        return mapper;
    }

    dbv_domain_s* domain_ = nullptr;
};

TEST_F(DomainAndEventsTest, DefaultContainerIsEmptyAndRefusesNullOutPointers) {
    const DomainAndEvents_c container;
    dbv_domain_s* domain = NewDomain();
    EXPECT_TRUE(container.GetDomain(&domain));
    EXPECT_EQ(nullptr, domain);
    EXPECT_EQ(0, container.GetDomainEventsCount());
    dbv_domainevents_s* events = nullptr;
    EXPECT_FALSE(container.GetRuntimeDomainEvents(&events));
    EXPECT_FALSE(container.GetDomainEvents(kLocal, &events));
    dbv::IdRangeMapper_c* mapper = nullptr;
    EXPECT_FALSE(container.GetRangeMapper(&mapper));
    EXPECT_FALSE(container.GetDomain(nullptr));
    EXPECT_FALSE(container.GetRuntimeDomainEvents(nullptr));
    int32_t id = 0;
    EXPECT_FALSE(container.GetRangeMapperMaxId(&id));
    EXPECT_FALSE(container.GetRangeMapperNewId(5, &id));
    EXPECT_FALSE(container.WriteRangeMapper("unused"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, AssignmentKeepsTargetRuntimeEventsAndMapperWhenSourceHasNone) {
    DomainAndEvents_c target = Filled(1);
    dbv_domainevents_s* targetRuntime = Runtime(target);
    dbv::IdRangeMapper_c* targetMapper = Mapper(target);

    dbv_domain_s* otherDomain = NewDomain();
    dbv_domainevents_s* otherLevel0 = NewEvents(otherDomain);
    dbv_domainevents_s* otherLevel1 = NewEvents(otherDomain);
    DomainAndEvents_c source;
    source.SetDomain(otherDomain);
    source.AddDomainEvents(otherLevel0);
    source.AddDomainEvents(otherLevel1);

    target = source;
    dbv_domain_s* domain = nullptr;
    ASSERT_TRUE(target.GetDomain(&domain));
    EXPECT_EQ(otherDomain, domain);
    ASSERT_EQ(2, target.GetDomainEventsCount());
    EXPECT_EQ(otherLevel0, Level(target, kLocal));
    EXPECT_EQ(otherLevel1, Level(target, kCompany));
    EXPECT_EQ(targetRuntime, Runtime(target));
    EXPECT_EQ(targetMapper, Mapper(target));
    const DomainAndEvents_c copy(target);
    EXPECT_EQ(targetMapper, Mapper(copy));
    EXPECT_EQ(otherLevel1, Level(copy, kCompany));
    source.ResetChangeStatus();
    // The target is unchanged after assignment: its destruction reports nothing.
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, DeletingALevelMovesHigherLevelsDown) {
    DomainAndEvents_c container = Filled(3);
    dbv_domainevents_s* local = Level(container, kLocal);
    dbv_domainevents_s* company = Level(container, kCompany);
    dbv_domainevents_s* project = Level(container, kProject);

    EXPECT_TRUE(container.DeleteDomainEvents(kLocal));
    ASSERT_EQ(2, container.GetDomainEventsCount());
    EXPECT_EQ(company, Level(container, kLocal));
    EXPECT_EQ(project, Level(container, kCompany));
    EXPECT_EQ(std::vector<std::string>{"<stale>"}, Descriptions(local));
    // A level that does not exist is nothing to delete.
    EXPECT_TRUE(container.DeleteDomainEvents(kProject));
    EXPECT_TRUE(
        container.DeleteDomainEvents(static_cast<DomainAndEvents_c::DomainEventLevel_e>(-1)));
    EXPECT_EQ(2, container.GetDomainEventsCount());
    container.ResetChangeStatus();
}

TEST_F(DomainAndEventsTest, FailedLevelDeletionIsReportedAndStillRemovesTheEntry) {
    DomainAndEvents_c container = Filled(2);
    dbv_domainevents_s* company = Level(container, kCompany);
    store_seams::FailOperation("dbv_deletedomainevents", 1);
    EXPECT_FALSE(container.DeleteDomainEvents(kLocal));
    EXPECT_EQ(1, container.GetDomainEventsCount());
    EXPECT_EQ(company, Level(container, kLocal));
    EXPECT_EQ((std::vector<Report>{{"!\"Deleting domainevents container failed.\"", kSource}}),
              Reports());
    container.ResetChangeStatus();
}

TEST_F(DomainAndEventsTest, DeleteAllDomainEventsStopsAtTheFirstFailureAndEmptiesTheList) {
    DomainAndEvents_c container = Filled(3);
    dbv_domainevents_s* local = Level(container, kLocal);
    dbv_domainevents_s* company = Level(container, kCompany);
    dbv_domainevents_s* project = Level(container, kProject);
    NewEvent(local, "kept");
    NewEvent(company, "kept too");
    store_seams::FailOperation("dbv_deletedomainevents", 1);
    EXPECT_FALSE(container.DeleteAllDomainEvents());
    EXPECT_EQ(0, container.GetDomainEventsCount());
    // The highest level failed; the lower ones were left alone in the store.
    EXPECT_EQ(std::vector<std::string>{}, Descriptions(project));
    EXPECT_EQ(std::vector<std::string>{"kept"}, Descriptions(local));
    EXPECT_EQ(std::vector<std::string>{"kept too"}, Descriptions(company));
    EXPECT_EQ(1u, Reports().size());
    container.ResetChangeStatus();
}

TEST_F(DomainAndEventsTest, AfterClearAddingLevelsFailsUntilAssignedAgain) {
    DomainAndEvents_c container = Filled(2);
    dbv_domainevents_s* runtime = Runtime(container);
    EXPECT_TRUE(container.Clear(false));
    EXPECT_EQ(0, container.GetDomainEventsCount());
    EXPECT_FALSE(container.AddDomainEvents(NewEvents(domain_)));
    dbv_domainevents_s* events = nullptr;
    EXPECT_FALSE(container.GetRuntimeDomainEvents(&events));
    EXPECT_EQ(std::vector<std::string>{"<stale>"}, Descriptions(runtime));
    dbv_domain_s* domain = nullptr;
    ASSERT_TRUE(container.GetDomain(&domain));
    EXPECT_EQ(domain_, domain);

    const DomainAndEvents_c fresh;
    container = fresh;
    EXPECT_TRUE(container.AddDomainEvents(NewEvents(domain_)));
    EXPECT_EQ(1, container.GetDomainEventsCount());
    container.ResetChangeStatus();
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, ClearWithDeleteDomainDeletesTheDomainAndReportsFailuresAsResult) {
    DomainAndEvents_c container = Filled(1);
    EXPECT_TRUE(container.Clear(true));
    dbv_domain_s* domain = NewDomain();
    ASSERT_TRUE(container.GetDomain(&domain));
    EXPECT_EQ(nullptr, domain);
    int32_t id = 0;
    EXPECT_NE(0, dbv_newid(domain_, &id));

    DomainAndEvents_c failing = Filled(1);
    store_seams::FailOperation("dbv_deletedomain", 1);
    EXPECT_FALSE(failing.Clear(true));
    EXPECT_EQ((std::vector<Report>{{"!\"Deleting domain failed.\"", kSource}, {"Result", kSource}}),
              Reports());
}

TEST_F(DomainAndEventsTest, ChangedContainerDestroyedUnstoredGivesExactlyOneReport) {
    {
        DomainAndEvents_c container;
        container.SetDomain(nullptr);
    }
    EXPECT_EQ((std::vector<Report>{
                  {"!\"Domain and events container was changed but the changes were not stored "
                   "with Modify or Add.\"",
                   kSource}}),
              Reports());
}

TEST_F(DomainAndEventsTest, EventsAreNamedByTheirDescriptionUpToTheAtSign) {
    DomainAndEvents_c container = Filled(1);
    dbv_domainevents_s* local = Level(container, kLocal);
    NewEvent(local, "Y");
    dbv_event_s* plain = NewEvent(local, "X");
    NewEvent(local, "XY");
    dbv_event_s* annotated = NewEvent(local, "X@2");
    NewEvent(local, nullptr);

    dbv_event_s* found = nullptr;
    ASSERT_TRUE(container.GetDomainEvent(kLocal, "X", &found));
    EXPECT_EQ(plain, found);
    ASSERT_TRUE(container.GetDomainEvent(kLocal, "", &found));  // the null description
    EXPECT_FALSE(DomainAndEvents_c::ExistDomainEvent(local, "X@2"));
    EXPECT_FALSE(DomainAndEvents_c::ExistDomainEvent(nullptr, "X"));
    EXPECT_FALSE(container.GetDomainEvent(kCompany, "X", &found));
    ASSERT_TRUE(container.GetDomainEvent(kLocal, 3, &found));
    EXPECT_EQ(annotated, found);

    // One delete by name takes "X" and "X@2", not "XY".
    EXPECT_TRUE(container.DeleteDomainEvents(kLocal, "X"));
    EXPECT_EQ((std::vector<std::string>{"Y", "XY", "<null>"}), Descriptions(local));
    EXPECT_FALSE(container.DeleteDomainEvents(kCompany, "X"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, EventTheStoreCannotHandOutIsReportedAndSkipped) {
    DomainAndEvents_c container = Filled(1);
    dbv_domainevents_s* local = Level(container, kLocal);
    NewEvent(local, "X");
    dbv_event_s* second = NewEvent(local, "X");
    store_seams::FailOperation("dbv_geteventnr", 1);
    dbv_event_s* found = nullptr;
    ASSERT_TRUE(container.GetDomainEvent(kLocal, "X", &found));
    EXPECT_EQ(second, found);
    EXPECT_EQ((std::vector<Report>{{"!\"Getting a domain event by number failed or got unexpected "
                                    "nullptr event from database.\"",
                                    kSource}}),
              Reports());
}

TEST_F(DomainAndEventsTest, InsertingAnEventReplacesEveryEventOfThatName) {
    DomainAndEvents_c container = Filled(2);
    dbv_domainevents_s* company = Level(container, kCompany);
    NewEvent(company, "Save@old");
    NewEvent(company, "Other");
    NewEvent(company, "Save");
    EXPECT_TRUE(container.InsertDomainEvent(kCompany, "Save"));
    EXPECT_EQ((std::vector<std::string>{"Other", "Save"}), Descriptions(company));
    EXPECT_FALSE(container.InsertDomainEvent(kProject, "Save"));
    // Inserting changes the store, not the container.
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, EventByNumberOutsideTheContainerIsReported) {
    DomainAndEvents_c container = Filled(1);
    dbv_event_s* event = nullptr;
    EXPECT_FALSE(container.GetDomainEvent(kLocal, 0, &event));
    EXPECT_FALSE(container.GetDomainEvent(kLocal, 0, nullptr));
    EXPECT_EQ((std::vector<Report>{{"!\"Getting a domain event by number failed.\"", kSource}}),
              Reports());
}

TEST_F(DomainAndEventsTest, RuntimeEventsAreInsertedFoundDeletedAndCleaned) {
    DomainAndEvents_c container = Filled(0);
    dbv_domainevents_s* runtime = Runtime(container);
    EXPECT_TRUE(container.InsertRuntimeDomainEvent("Run@1"));
    EXPECT_TRUE(container.InsertRuntimeDomainEvent("Run"));
    NewEvent(runtime, nullptr);
    NewEvent(runtime, "Keep");
    EXPECT_EQ((std::vector<std::string>{"Run", "<null>", "Keep"}), Descriptions(runtime));
    dbv_event_s* event = nullptr;
    EXPECT_TRUE(container.GetRuntimeDomainEvent("Keep", &event));
    EXPECT_TRUE(container.GetRuntimeDomainEvent(2, &event));
    EXPECT_TRUE(container.CleanRuntimeDomainEvents());
    EXPECT_EQ((std::vector<std::string>{"Run", "Keep"}), Descriptions(runtime));
    EXPECT_TRUE(container.DeleteRuntimeDomainEvents("Run"));
    EXPECT_EQ((std::vector<std::string>{"Keep"}), Descriptions(runtime));

    DomainAndEvents_c none;
    EXPECT_FALSE(none.InsertRuntimeDomainEvent("Run"));
    EXPECT_FALSE(none.GetRuntimeDomainEvent("Run", &event));
    EXPECT_FALSE(none.CleanRuntimeDomainEvents());
}

TEST_F(DomainAndEventsTest, DeletingAnEventThatTheStoreRefusesIsReportedAndSkipped) {
    DomainAndEvents_c container = Filled(1);
    dbv_domainevents_s* local = Level(container, kLocal);
    NewEvent(local, "X");
    NewEvent(local, "X");
    store_seams::FailOperation("dbv_deleteevent", 1);
    EXPECT_TRUE(container.DeleteDomainEvents(kLocal, "X"));
    EXPECT_EQ((std::vector<std::string>{"X"}), Descriptions(local));
    EXPECT_EQ((std::vector<Report>{{"!\"Deleting an event from domain failed.\"", kSource}}),
              Reports());
}

TEST_F(DomainAndEventsTest, CreateRuntimeDomainEventsNeedsADomainAndReportsStoreFailure) {
    DomainAndEvents_c none;
    EXPECT_FALSE(none.CreateRuntimeDomainEvents());

    DomainAndEvents_c container;
    container.SetDomain(NewDomain());
    container.ResetChangeStatus();
    store_seams::FailOperation("dbv_createdomainevents", 1);
    EXPECT_FALSE(container.CreateRuntimeDomainEvents());
    EXPECT_EQ(1u, Reports().size());
    EXPECT_EQ("!\"The creation of run-time domainevents failed.\"", Reports()[0].first);
    ASSERT_TRUE(container.CreateRuntimeDomainEvents());
    dbv_domainevents_s* first = Runtime(container);
    EXPECT_TRUE(container.CreateRuntimeDomainEvents());
    EXPECT_EQ(first, Runtime(container));
    container.ResetChangeStatus();
}

TEST_F(DomainAndEventsTest, SettingTheSameRuntimeContainerAgainKeepsItUsable) {
    DomainAndEvents_c container = Filled(0);
    dbv_domainevents_s* runtime = Runtime(container);
    NewEvent(runtime, "Alive");
    EXPECT_TRUE(container.SetRuntimeDomainEvents(runtime));
    EXPECT_EQ(std::vector<std::string>{"Alive"}, Descriptions(runtime));

    dbv_domainevents_s* replacement = NewEvents(domain_);
    EXPECT_TRUE(container.SetRuntimeDomainEvents(replacement));
    EXPECT_EQ(replacement, Runtime(container));
    EXPECT_EQ(std::vector<std::string>{"<stale>"}, Descriptions(runtime));
    EXPECT_FALSE(container.SetRuntimeDomainEvents(nullptr));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, DeleteAllRuntimeDomainEventsDropsThePointerEvenWhenTheStoreFails) {
    DomainAndEvents_c container = Filled(0);
    store_seams::FailOperation("dbv_deletedomainevents", 1);
    EXPECT_FALSE(container.DeleteAllRuntimeDomainEvents());
    dbv_domainevents_s* events = nullptr;
    EXPECT_FALSE(container.GetRuntimeDomainEvents(&events));
    EXPECT_TRUE(container.DeleteAllRuntimeDomainEvents());
    EXPECT_EQ(
        (std::vector<Report>{{"!\"Deleting runtimedomainevents container failed.\"", kSource}}),
        Reports());
}

TEST_F(DomainAndEventsTest, DeleteDomainFreesTheSharedMapperForEveryHolder) {
    DomainAndEvents_c container = Filled(1);
    ASSERT_TRUE(container.AddRangeToRangeMapper(10, 20));
    const DomainAndEvents_c stored = container;
    dbv::IdRangeMapper_c* mapper = Mapper(stored);
    EXPECT_NE(0, mapper->TryGetNewId(10));

    EXPECT_TRUE(container.DeleteDomain());
    dbv_domain_s* domain = NewDomain();
    ASSERT_TRUE(container.GetDomain(&domain));
    EXPECT_EQ(nullptr, domain);
    EXPECT_FALSE(container.GetRangeMapper(&mapper));
    // The other holder keeps a mapper without a store mapper, which fails cleanly.
    mapper = Mapper(stored);
    EXPECT_EQ(0, mapper->TryGetNewId(10));
    EXPECT_EQ(10, mapper->GetNewId(10));
    EXPECT_FALSE(mapper->AddRange(30, 40));
    int32_t id = 0;
    EXPECT_NE(0, dbv_newid(domain_, &id));
    EXPECT_TRUE(Reports().empty());
    container.ResetChangeStatus();
}

TEST_F(DomainAndEventsTest, FailedDomainDeletionKeepsTheDomainAndWithoutMapperItIsDeleted) {
    DomainAndEvents_c container = Filled(0);
    store_seams::FailOperation("dbv_deletedomain", 1);
    EXPECT_FALSE(container.DeleteDomain());
    dbv_domain_s* domain = nullptr;
    ASSERT_TRUE(container.GetDomain(&domain));
    EXPECT_EQ(domain_, domain);
    EXPECT_EQ((std::vector<Report>{{"!\"Deleting domain failed.\"", kSource}}), Reports());
    container.ResetChangeStatus();

    // Without a mapper the domain is still deleted.
    DomainAndEvents_c bare;
    bare.SetDomain(domain);
    EXPECT_TRUE(bare.DeleteDomain());
    int32_t id = 0;
    EXPECT_NE(0, dbv_newid(domain, &id));
    EXPECT_TRUE(DomainAndEvents_c().DeleteDomain());
    bare.ResetChangeStatus();
    EXPECT_EQ(1u, Reports().size());
}

TEST_F(DomainAndEventsTest, ClearDomainAndSetRangeMapperFailWithoutAMapper) {
    DomainAndEvents_c container;
    container.SetDomain(NewDomain());
    dbv_domainevents_s* events = NewEvents(NewDomain());
    container.AddDomainEvents(events);
    EXPECT_FALSE(container.ClearDomain());
    EXPECT_FALSE(container.SetRangeMapper("no mapper to fill"));
    EXPECT_FALSE(container.AddRangeToRangeMapper(1, 2));
    EXPECT_TRUE(DomainAndEvents_c().ClearDomain());
    container.ResetChangeStatus();
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, ClearDomainCleansTheMapperAndEmptiesTheEventContainers) {
    DomainAndEvents_c container = Filled(1);
    ASSERT_TRUE(container.AddRangeToRangeMapper(1, 11));
    NewEvent(Level(container, kLocal), "Gone");
    EXPECT_TRUE(container.ClearDomain());
    int32_t maxId = -1;
    ASSERT_TRUE(container.GetRangeMapperMaxId(&maxId));
    EXPECT_EQ(0, maxId);
    EXPECT_EQ(std::vector<std::string>{}, Descriptions(Level(container, kLocal)));
    // The id counter goes on: 10 ids for the range, one for the event.
    EXPECT_EQ(12, NextId(domain_));

    store_seams::FailOperation("dbv_cleardomain", 1);
    EXPECT_FALSE(container.ClearDomain());
    EXPECT_EQ((std::vector<Report>{{"!\"Clearing domain failed.\"", kSource}}), Reports());
}

TEST_F(DomainAndEventsTest, IdStatisticsComeFromTheDomainAndReleaseTheirHandle) {
    DomainAndEvents_c container = Filled(0);
    ASSERT_TRUE(container.AddRangeToRangeMapper(1, 8));  // 7 ids
    int32_t base = -1;
    int32_t count = -1;
    const int releases = CountStoreCalls("dbv_deletestatistics", ProbeStatisticsRelease, [&] {
        EXPECT_TRUE(container.GetIdStatisticsFromDomain(&base, &count));
    });
    EXPECT_EQ(1, releases);
    EXPECT_EQ(1, base);
    EXPECT_EQ(7, count);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainAndEventsTest, IdStatisticsFailuresAreReportedAndLeaveTheOutputs) {
    struct Case {
        const char* failing;  // store operation made to fail, or null for no domain
        int releases;         // statistics handles released
    };
    for (const Case& c :
         {Case{nullptr, 0}, Case{"dbv_getdomainstatistics", 0}, Case{"dbv_getstatistics", 1}}) {
        SCOPED_TRACE(c.failing == nullptr ? "no domain" : c.failing);
        mainResetAssertions();
        DomainAndEvents_c container;
        if (c.failing != nullptr) {
            container.SetDomain(NewDomain());
            container.ResetChangeStatus();
        }
        int32_t base = 77;
        int32_t count = 88;
        const int releases = CountStoreCalls("dbv_deletestatistics", ProbeStatisticsRelease, [&] {
            if (c.failing != nullptr) {
                store_seams::FailOperation(c.failing, 1);
            }
            EXPECT_FALSE(container.GetIdStatisticsFromDomain(&base, &count));
        });
        EXPECT_EQ(c.releases, releases);
        EXPECT_EQ(77, base);
        EXPECT_EQ(88, count);
        EXPECT_EQ((std::vector<Report>{{"!\"Could not get statistics\"", kSource}}), Reports());
    }
}

TEST(StatisticToInt32Test, ConvertsOnlyValuesThatFit) {
    struct Case {
        double value;
        bool fits;
        int32_t expected;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Case& c :
         {Case{7.9, true, 7}, Case{-7.9, true, -7}, Case{2147483647.0, true, INT32_MAX},
          Case{2147483647.9, true, INT32_MAX}, Case{-2147483648.0, true, INT32_MIN},
          Case{-2147483648.9, true, INT32_MIN}, Case{2147483648.0, false, 5},
          Case{-2147483649.0, false, 5}, Case{1e300, false, 5}, Case{nan, false, 5},
          Case{inf, false, 5}, Case{-inf, false, 5}}) {
        SCOPED_TRACE(c.value);
        int32_t out = 5;
        EXPECT_EQ(c.fits, dbv::detail::StatisticToInt32(c.value, &out));
        EXPECT_EQ(c.expected, out);
    }
}

}  // namespace
