// Tests of the domain registry: storing and looking up containers, domain numbers, mapped
// databases, events and mappers through the registry, stale handles after deletions on a
// copy, and the current virtual database.
#include "dbv/domain_registry.h"

#include <gtest/gtest.h>

#include <string>

#include "dbv/domain_test_support.h"
#include "dbv/statics_interface.h"
#include "port/files.h"

namespace {

using dbv::DomainAndEvents_c;
using dbv_domain_test::DomainFixture;
using dbv_domain_test::Report;
using dbv_domain_test::Reports;

constexpr auto kLocal = DomainAndEvents_c::EVENT_LEVEL_LOCAL;
constexpr auto kCompany = DomainAndEvents_c::EVENT_LEVEL_COMPANY;
constexpr auto kProject = DomainAndEvents_c::EVENT_LEVEL_PROJECT;
const char* const kSource = "dbd_domain_storage";
const char* const kUnstored =
    "!\"Domain and events container was changed but the changes were not stored with Modify or "
    "Add.\"";

class DomainRegistryTest : public DomainFixture {
  protected:
    static DomainAndEvents_c Stored(const char* db) {
        DomainAndEvents_c container;
        EXPECT_TRUE(dbv::GetDomainAndEvents(db, container));
        return container;
    }
    static dbv_domainevents_s* Level(const char* db, DomainAndEvents_c::DomainEventLevel_e level) {
        dbv_domainevents_s* events = nullptr;
        EXPECT_TRUE(Stored(db).GetDomainEvents(level, &events));
        return events;
    }
    static dbv_domainevents_s* Runtime(const char* db) {
        dbv_domainevents_s* events = nullptr;
        EXPECT_TRUE(Stored(db).GetRuntimeDomainEvents(&events));
        return events;
    }
    // A database in the table store, made current.
    static std::string CurrentTestDatabase(const char* base) {
        const std::string name = std::string(base) + "_" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name();
        EXPECT_TRUE(dbv::CreateVirtualDatabase(name.c_str()));
        return name;
    }
};

TEST_F(DomainRegistryTest, DomainNumbersStartAtOneAndTheHighestIsReusedAfterErasure) {
    ASSERT_TRUE(dbv::CreateDomain("A"));
    ASSERT_TRUE(dbv::RemoveDomainAndEvents("A"));  // number 1 is free again
    ASSERT_TRUE(dbv::CreateDomain("B"));
    // A still owns number 1, which is now B's entry.
    EXPECT_EQ(dbv::GetDatabaseDomain("B"), dbv::GetDatabaseDomain("A"));
    EXPECT_NE(nullptr, dbv::GetDatabaseDomain("B"));

    ASSERT_TRUE(dbv::CreateDomain("C"));  // number 2
    ASSERT_TRUE(dbv::CreateDomain("D"));  // number 3
    ASSERT_TRUE(dbv::RemoveDomainAndEvents("D"));
    ASSERT_TRUE(dbv::CreateDomain("E"));  // 3 again
    EXPECT_EQ(dbv::GetDatabaseDomain("E"), dbv::GetDatabaseDomain("D"));
    EXPECT_NE(dbv::GetDatabaseDomain("C"), dbv::GetDatabaseDomain("E"));
    EXPECT_EQ((std::set<std::string>{"A", "B", "C", "D", "E"}), dbv::GetDomainMappedDatabases());
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, LookupOfUnknownOrNullDatabaseFails) {
    DomainAndEvents_c container;
    EXPECT_FALSE(dbv::GetDomainAndEvents("unknown", container));
    EXPECT_FALSE(dbv::GetDomainAndEvents(nullptr, container));
    EXPECT_FALSE(dbv::GetCurrentDomainAndEvents(container));
    EXPECT_EQ(nullptr, dbv::GetDatabaseDomain(nullptr));
    EXPECT_FALSE(dbv::IsDatabaseInDomain(nullptr));
    EXPECT_FALSE(dbv::RemoveDomainAndEvents("unknown"));
    EXPECT_FALSE(dbv::CreateDomain(nullptr));
    EXPECT_FALSE(dbv::AddDomainAndEvents(nullptr, container));
    EXPECT_FALSE(dbv::ModifyDomainAndEvents(nullptr, container));
}

TEST_F(DomainRegistryTest, CreateDomainAndEmptyDomainEventsGivesTwoLevelsRuntimeAndMapper) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db"));
    const DomainAndEvents_c stored = Stored("db");
    EXPECT_EQ(2, stored.GetDomainEventsCount());
    dbv_domainevents_s* events = nullptr;
    EXPECT_TRUE(stored.GetDomainEvents(kLocal, &events));
    EXPECT_TRUE(stored.GetDomainEvents(kCompany, &events));
    EXPECT_FALSE(stored.GetDomainEvents(kProject, &events));
    EXPECT_TRUE(stored.GetRuntimeDomainEvents(&events));
    dbv::IdRangeMapper_c* mapper = nullptr;
    EXPECT_TRUE(stored.GetRangeMapper(&mapper));
    EXPECT_TRUE(dbv::IsDatabaseInDomain("db"));

    // Doing it again on the stored copy replaces the two containers.
    dbv_domainevents_s* oldLocal = Level("db", kLocal);
    ASSERT_TRUE(dbv::AddEmptyDomainEvents("db"));
    EXPECT_EQ(2, Stored("db").GetDomainEventsCount());
    EXPECT_EQ(std::vector<std::string>{"<stale>"}, Descriptions(oldLocal));
    dbv::IdRangeMapper_c* sameMapper = nullptr;
    EXPECT_TRUE(Stored("db").GetRangeMapper(&sameMapper));
    EXPECT_EQ(mapper, sameMapper);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, SetEmptyDomainEventsWithoutDomainReportsPDomain) {
    DomainAndEvents_c container;
    EXPECT_FALSE(dbv::SetEmptyDomainEvents(container));
    EXPECT_EQ((std::vector<Report>{{"pDomain", kSource}}), Reports());
    container.ResetChangeStatus();

    mainResetAssertions();
    container.SetDomain(NewDomain());
    store_seams::FailOperation("dbv_createdomainevents", 1);
    EXPECT_FALSE(dbv::SetEmptyDomainEvents(container));
    EXPECT_EQ(0, container.GetDomainEventsCount());
    container.ResetChangeStatus();
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, MappedDatabaseIsFoundButStoredOnlyThroughTheCurrentDatabase) {
    const std::string current = CurrentTestDatabase("mapped");
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("owner"));
    dbv::MapDatabaseToUseAnotherDomain(current.c_str(), "owner");
    dbv::MapDatabaseToUseAnotherDomain("other", "not an owner");
    EXPECT_EQ(nullptr, dbv::GetDatabaseDomain("other"));
    EXPECT_EQ(dbv::GetDatabaseDomain("owner"), dbv::GetDatabaseDomain(current.c_str()));
    EXPECT_FALSE(dbv::IsDatabaseInDomain(current.c_str()));
    EXPECT_FALSE(dbv::IsCurrentDatabaseInDomain());

    DomainAndEvents_c copy = Stored(current.c_str());
    dbv_domainevents_s* extra = NewEvents(dbv::GetDatabaseDomain("owner"));
    copy.AddDomainEvents(extra);
    EXPECT_FALSE(dbv::ModifyDomainAndEvents(current.c_str(), copy));
    EXPECT_EQ(2, Stored("owner").GetDomainEventsCount());
    EXPECT_TRUE(dbv::ModifyCurrentDomainAndEvents(copy));
    EXPECT_EQ(3, Stored("owner").GetDomainEventsCount());
    EXPECT_TRUE(Reports().empty());

    dbv::RemoveDatabaseDomainMapping(current.c_str());
    DomainAndEvents_c none;
    EXPECT_FALSE(dbv::GetCurrentDomainAndEvents(none));
    none.AddDomainEvents(extra);
    EXPECT_FALSE(dbv::ModifyCurrentDomainAndEvents(none));
    EXPECT_TRUE(Reports().empty());  // the flag is cleared even then
}

TEST_F(DomainRegistryTest, ModifyOfADatabaseWithoutDomainLeavesTheCopyChanged) {
    {
        DomainAndEvents_c copy;
        copy.SetDomain(nullptr);
        EXPECT_FALSE(dbv::ModifyDomainAndEvents("nobody", copy));
    }
    EXPECT_EQ((std::vector<Report>{{kUnstored, "dbd_domain_and_events"}}), Reports());
}

TEST_F(DomainRegistryTest, AddAssignsIntoTheStoredEntryAndKeepsItsRuntimeAndMapper) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db"));
    dbv_domainevents_s* runtime = Runtime("db");
    DomainAndEvents_c bare;
    bare.SetDomain(dbv::GetDatabaseDomain("db"));
    ASSERT_TRUE(dbv::AddDomainAndEvents("db", bare));
    EXPECT_EQ(runtime, Runtime("db"));
    EXPECT_EQ(0, Stored("db").GetDomainEventsCount());
    dbv::IdRangeMapper_c* mapper = nullptr;
    EXPECT_TRUE(Stored("db").GetRangeMapper(&mapper));

    // Modify makes the entry afresh from the copy: nothing of the old entry is left.
    ASSERT_TRUE(dbv::ModifyDomainAndEvents("db", bare));
    dbv_domainevents_s* events = nullptr;
    EXPECT_FALSE(Stored("db").GetRuntimeDomainEvents(&events));
    EXPECT_FALSE(Stored("db").GetRangeMapper(&mapper));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, CreateDomainEventOfAnExistingNameIsRefusedAndChangesNothing) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db"));
    ASSERT_TRUE(dbv::CreateDomainEvent("db", kCompany, "Release"));
    EXPECT_TRUE(dbv::ExistDomainEvent("db", kCompany, "Release"));
    EXPECT_FALSE(dbv::ExistDomainEvent("db", kLocal, "Release"));
    const int32_t timeId = dbv::GetDomainEventTimeId("db", kCompany, "Release");
    EXPECT_GT(timeId, 0);

    EXPECT_FALSE(dbv::CreateDomainEvent("db", kCompany, "Release"));
    EXPECT_EQ(std::vector<std::string>{"Release"}, Descriptions(Level("db", kCompany)));
    EXPECT_EQ(timeId, dbv::GetDomainEventTimeId("db", kCompany, "Release"));
    EXPECT_FALSE(dbv::CreateDomainEvent("db", kCompany, ""));
    EXPECT_FALSE(dbv::CreateDomainEvent("db", kCompany, nullptr));
    EXPECT_FALSE(dbv::CreateDomainEvent("unknown", kCompany, "Release"));
    EXPECT_TRUE(Reports().empty());

    // A level that does not exist fails inside and is reported.
    EXPECT_FALSE(dbv::CreateDomainEvent("db", kProject, "Release"));
    EXPECT_EQ((std::vector<Report>{{"Result", kSource}}), Reports());
}

TEST_F(DomainRegistryTest, EventsAreFoundByNameWithTimeIdAndGuid) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db"));
    NewEvent(Level("db", kLocal), "Milestone@note");
    dbv_event_s* event = dbv::GetDomainEvent("db", kLocal, "Milestone");
    ASSERT_NE(nullptr, event);
    int32_t timeId = 0;
    ASSERT_EQ(0, dbv_geteventtimeid(event, &timeId));
    EXPECT_EQ(timeId, dbv::GetDomainEventTimeId("db", kLocal, "Milestone"));
    dbv_guid_s guid{};
    ASSERT_EQ(0,
              dbv_timeidtoguid(dbv::GetDatabaseDomain("db"), static_cast<uint32_t>(timeId), &guid));
    char text[kDbvGuidTextLength + 1] = {};
    ASSERT_EQ(0, dbv_guidtostring(&guid, text, sizeof text));
    EXPECT_EQ(std::string(text), dbv::GetDomainEventGuid("db", kLocal, "Milestone"));

    struct Case {
        const char* db;
        DomainAndEvents_c::DomainEventLevel_e level;
        const char* name;
    };
    for (const Case& c :
         {Case{"db", kLocal, "Missing"}, Case{"db", kLocal, ""}, Case{"db", kLocal, nullptr},
          Case{"db", kProject, "Milestone"}, Case{"unknown", kLocal, "Milestone"},
          Case{nullptr, kLocal, "Milestone"}}) {
        EXPECT_FALSE(dbv::ExistDomainEvent(c.db, c.level, c.name));
        EXPECT_EQ(nullptr, dbv::GetDomainEvent(c.db, c.level, c.name));
        EXPECT_EQ("", dbv::GetDomainEventGuid(c.db, c.level, c.name));
        EXPECT_EQ(0, dbv::GetDomainEventTimeId(c.db, c.level, c.name));
    }
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, RemoveDomainEventDeletesEveryEventOfTheName) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db"));
    dbv_domainevents_s* local = Level("db", kLocal);
    NewEvent(local, "X");
    NewEvent(local, "X@2");
    NewEvent(local, "Y");
    EXPECT_TRUE(dbv::RemoveDomainEvent("db", kLocal, "X"));
    EXPECT_EQ(std::vector<std::string>{"Y"}, Descriptions(local));
    EXPECT_FALSE(dbv::RemoveDomainEvent("db", kLocal, ""));
    EXPECT_FALSE(dbv::RemoveDomainEvent("unknown", kLocal, "Y"));
    EXPECT_TRUE(Reports().empty());
    EXPECT_FALSE(dbv::RemoveDomainEvent("db", kProject, "Y"));
    EXPECT_EQ((std::vector<Report>{{"Result", kSource}}), Reports());
}

TEST_F(DomainRegistryTest, DeletingTheDomainOfAMappedDatabaseIsRefused) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("owner"));
    EXPECT_FALSE(dbv::AddRangeToCurrentRangeMapper(1, 2));  // no current database
    dbv::MapDatabaseToUseAnotherDomain("user", "owner");
    dbv_domain_s* domain = dbv::GetDatabaseDomain("owner");
    dbv::IdRangeMapper_c* mapper = nullptr;
    ASSERT_TRUE(Stored("owner").GetRangeMapper(&mapper));
    ASSERT_TRUE(mapper->AddRange(10, 20));

    EXPECT_FALSE(dbv::DeleteDomainAndDomainEvents("user"));
    EXPECT_EQ(domain, dbv::GetDatabaseDomain("owner"));
    EXPECT_EQ(1, mapper->TryGetNewId(10));
    EXPECT_GT(NextId(domain), 0);
    EXPECT_FALSE(dbv::DeleteDomainAndDomainEvents("nobody"));
    EXPECT_FALSE(dbv::DeleteDomainAndDomainEvents(nullptr));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, DeletingTheOwnersDomainErasesTheEntryButKeepsTheOwner) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("owner"));
    dbv_domain_s* domain = dbv::GetDatabaseDomain("owner");
    const DomainAndEvents_c heldElsewhere = Stored("owner");
    EXPECT_TRUE(dbv::DeleteDomainAndDomainEvents("owner"));
    int32_t id = 0;
    EXPECT_NE(0, dbv_newid(domain, &id));
    EXPECT_TRUE(dbv::IsDatabaseInDomain("owner"));
    EXPECT_EQ(std::set<std::string>{}, dbv::GetDomainMappedDatabases());
    // The lookup makes an empty entry for the number.
    EXPECT_EQ(nullptr, dbv::GetDatabaseDomain("owner"));
    EXPECT_EQ(0, Stored("owner").GetDomainEventsCount());
    // A container that still holds the mapper finds it without a store mapper.
    dbv::IdRangeMapper_c* mapper = nullptr;
    ASSERT_TRUE(heldElsewhere.GetRangeMapper(&mapper));
    EXPECT_FALSE(mapper->AddRange(1, 2));
    EXPECT_EQ(0, mapper->TryGetNewId(1));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, StoredEntriesNeverHoldReleasedObjectsAfterDeletionsOnACopy) {
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db"));
    ASSERT_TRUE(dbv::CreateRuntimeDomainEvents("db"));
    dbv_domainevents_s* runtime = Runtime("db");
    DomainAndEvents_c copy = Stored("db");
    ASSERT_TRUE(copy.AddRangeToRangeMapper(10, 20));

    // Run-time events deleted on a copy that is then added back: the entry keeps its handle,
    // which the store now refuses cleanly.
    EXPECT_TRUE(copy.DeleteAllRuntimeDomainEvents());
    ASSERT_TRUE(dbv::AddDomainAndEvents("db", copy));
    DomainAndEvents_c stored = Stored("db");
    dbv_event_s* event = nullptr;
    EXPECT_EQ(runtime, Runtime("db"));
    EXPECT_FALSE(stored.InsertRuntimeDomainEvent("late"));
    EXPECT_FALSE(stored.GetRuntimeDomainEvent("late", &event));
    EXPECT_EQ(std::vector<std::string>{"<stale>"}, Descriptions(runtime));

    // The domain deleted on a copy that is then added back: the entry's mapper is the same
    // object, now without a store mapper.
    EXPECT_TRUE(copy.DeleteDomain());
    ASSERT_TRUE(dbv::AddDomainAndEvents("db", copy));
    stored = Stored("db");
    int32_t newId = -1;
    ASSERT_TRUE(stored.GetRangeMapperNewId(10, &newId));
    EXPECT_EQ(10, newId);
    EXPECT_FALSE(stored.AddRangeToRangeMapper(30, 40));
    EXPECT_TRUE(stored.ClearDomain());  // no domain any more
    stored.ResetChangeStatus();

    // Clear on a copy, then Modify: the entry holds nothing at all.
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("db2"));
    DomainAndEvents_c clearing = Stored("db2");
    EXPECT_TRUE(clearing.Clear(true));
    ASSERT_TRUE(dbv::ModifyDomainAndEvents("db2", clearing));
    const DomainAndEvents_c cleared = Stored("db2");
    dbv_domainevents_s* events = nullptr;
    dbv::IdRangeMapper_c* mapper = nullptr;
    EXPECT_EQ(nullptr, dbv::GetDatabaseDomain("db2"));
    EXPECT_EQ(0, cleared.GetDomainEventsCount());
    EXPECT_FALSE(cleared.GetRuntimeDomainEvents(&events));
    EXPECT_FALSE(cleared.GetRangeMapper(&mapper));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, ChangedCopyThatCannotBeStoredIsReportedOnce) {
    ASSERT_TRUE(dbv::CreateDomain("owner"));
    dbv::MapDatabaseToUseAnotherDomain("user", "owner");
    // The copy gets its run-time container but a mapped database cannot be modified.
    EXPECT_FALSE(dbv::CreateRuntimeDomainEvents("user"));
    EXPECT_EQ((std::vector<Report>{{kUnstored, "dbd_domain_and_events"}}), Reports());
    EXPECT_TRUE(dbv::CreateRuntimeDomainEvents("owner"));
    EXPECT_FALSE(dbv::CreateRuntimeDomainEvents("nobody"));
    EXPECT_EQ(1u, Reports().size());
}

TEST_F(DomainRegistryTest, ClearDomainAndEventsEmptiesTheStoreSideAndNeedsAMapper) {
    ASSERT_TRUE(dbv::CreateDomain("bare"));
    EXPECT_FALSE(dbv::ClearDomainAndEvents("bare"));  // a domain without mapper
    EXPECT_FALSE(dbv::ClearDomainAndEvents("nobody"));

    const std::string current = CurrentTestDatabase("clear");
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents(current.c_str()));
    ASSERT_TRUE(dbv::AddRangeToCurrentRangeMapper(5, 10));
    NewEvent(Level(current.c_str(), kLocal), "Gone");
    EXPECT_TRUE(dbv::ClearCurrentDomainAndEvents());
    EXPECT_EQ(std::vector<std::string>{}, Descriptions(Level(current.c_str(), kLocal)));
    int32_t maxId = -1;
    ASSERT_TRUE(dbv::GetCurrentRangeMapperMaxId(&maxId));
    EXPECT_EQ(0, maxId);
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, CurrentRangeMapperIsSharedAndStoredBack) {
    const std::string current = CurrentTestDatabase("ranges");
    ASSERT_TRUE(dbv::CreateDomain(current.c_str()));
    ASSERT_TRUE(dbv::AddEmptyDomainEventsToCurrentDomain());
    ASSERT_TRUE(dbv::AddRangeToCurrentRangeMapper(100, 150));
    int32_t value = -1;
    ASSERT_TRUE(dbv::GetCurrentRangeMapperMaxId(&value));
    EXPECT_EQ(150, value);
    ASSERT_TRUE(dbv::GetCurrentRangeMapperNewId(149, &value));
    EXPECT_EQ(50, value);
    dbv::IdRangeMapper_c* mapper = nullptr;
    ASSERT_TRUE(dbv::GetCurrentRangeMapper(&mapper));
    EXPECT_EQ(1, mapper->TryGetNewId(100));
    EXPECT_FALSE(dbv::AddRangeToCurrentRangeMapper(120, 130));  // overlaps
    EXPECT_EQ(130, mapper->GetOldMaxId());
    EXPECT_EQ((std::vector<Report>{
                  {"!\"Id range mapper failed to map the ids\"", "dbv_id_range_mapper"}}),
              Reports());
}

TEST_F(DomainRegistryTest, RangeMapperFileThroughTheRegistry) {
    const std::string file = ::testing::TempDir() + "dbv_registry_mapper.map";
    port_remove_file(file.c_str());
    ASSERT_TRUE(dbv::CreateDomainAndEmptyDomainEvents("writer"));
    EXPECT_FALSE(dbv::WriteRangeMapper(file.c_str(), "writer"));  // nothing mapped
    dbv::IdRangeMapper_c* mapper = nullptr;
    ASSERT_TRUE(Stored("writer").GetRangeMapper(&mapper));
    ASSERT_TRUE(mapper->AddRange(10, 20));
    ASSERT_TRUE(dbv::WriteRangeMapper(file.c_str(), "writer"));
    EXPECT_FALSE(dbv::WriteRangeMapper(file.c_str(), "unknown"));
    EXPECT_FALSE(dbv::WriteRangeMapper(file.c_str(), nullptr));

    EXPECT_TRUE(dbv::ReadRangeMapper(file.c_str(), "unknown"));
    EXPECT_TRUE(dbv::ReadRangeMapper(file.c_str(), nullptr));
    EXPECT_TRUE(dbv::ReadRangeMapper((file + ".missing").c_str(), "writer"));
    ASSERT_TRUE(mapper->Clean());
    EXPECT_EQ(0, mapper->TryGetNewId(15));
    ASSERT_TRUE(dbv::ReadRangeMapper(file.c_str(), "writer"));
    EXPECT_EQ(20, mapper->GetOldMaxId());
    EXPECT_EQ(6, mapper->GetNewId(15));
    EXPECT_TRUE(Reports().empty());
    // A mapped database reads into the owner's mapper but cannot store its copy.
    dbv::MapDatabaseToUseAnotherDomain("user", "writer");
    EXPECT_FALSE(dbv::ReadRangeMapper(file.c_str(), "user"));
    EXPECT_EQ((std::vector<Report>{{kUnstored, "dbd_domain_and_events"}}), Reports());
    port_remove_file(file.c_str());
}

TEST_F(DomainRegistryTest, ConvertedDatabasesFollowTheCurrentName) {
    const std::string first = CurrentTestDatabase("converted_a");
    EXPECT_FALSE(dbv::GetCurrentDatabaseTablesConvertedToDomain());
    dbv::SetCurrentDatabaseTablesConvertedToDomain(true);
    dbv::SetCurrentDatabaseTablesConvertedToDomain(true);
    EXPECT_TRUE(dbv::GetCurrentDatabaseTablesConvertedToDomain());
    const std::string second = CurrentTestDatabase("converted_b");
    EXPECT_FALSE(dbv::GetCurrentDatabaseTablesConvertedToDomain());
    ASSERT_TRUE(dbv::SetVirtualDatabase(first.c_str()));
    EXPECT_TRUE(dbv::GetCurrentDatabaseTablesConvertedToDomain());
    dbv::SetCurrentDatabaseTablesConvertedToDomain(false);
    EXPECT_FALSE(dbv::GetCurrentDatabaseTablesConvertedToDomain());
}

TEST_F(DomainRegistryTest, SetVirtualDatabaseSwitchesTheStoreFirst) {
    EXPECT_EQ("", dbv::GetVirtualDatabase());
    const std::string first = CurrentTestDatabase("switch_a");
    const std::string second = CurrentTestDatabase("switch_b");
    EXPECT_EQ(second, dbv::GetVirtualDatabase());

    // The current name again: true without asking the store.
    store_seams::FailOperation("dbv::SetCurrentDatabase");
    EXPECT_TRUE(dbv::SetVirtualDatabase(second.c_str()));
    EXPECT_FALSE(dbv::SetVirtualDatabase(first.c_str()));
    EXPECT_EQ(second, dbv::GetVirtualDatabase());
    store_seams::Reset();

    EXPECT_TRUE(dbv::SetVirtualDatabase(first.c_str()));
    EXPECT_EQ(first, dbv::GetVirtualDatabase());
    EXPECT_FALSE(dbv::SetVirtualDatabase("no such database"));
    EXPECT_EQ(first, dbv::GetVirtualDatabase());
    // An empty name is kept, and the caller learns that the store was not switched.
    EXPECT_FALSE(dbv::SetVirtualDatabase(""));
    EXPECT_EQ("", dbv::GetVirtualDatabase());
    EXPECT_TRUE(dbv::SetVirtualDatabase(nullptr));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(DomainRegistryTest, CreateVirtualDatabaseFailureIsReported) {
    const std::string name = CurrentTestDatabase("create");
    EXPECT_FALSE(dbv::CreateVirtualDatabase(name.c_str()));  // exists already
    EXPECT_FALSE(dbv::CreateVirtualDatabase(nullptr));
    EXPECT_EQ(name, dbv::GetVirtualDatabase());
    EXPECT_EQ((std::vector<Report>{{"DatabaseCreatedSuccessfully", "schemel_interface"},
                                   {"DatabaseCreatedSuccessfully", "schemel_interface"}}),
              Reports());
}

}  // namespace
