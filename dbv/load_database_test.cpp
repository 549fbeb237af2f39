// Tests of the database loader. Every test writes its own database file: a small header of
// the test's own (read back by the load callback "load_test"), the domain section through
// dbv_write_domain / dbv_write_domainevents, then the tables' blocks; and loads it into a
// fresh virtual database.
#include "dbv/load_database.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dbv/domain_registry.h"
#include "dbv/event_texts.h"
#include "outside/assert_log.h"
#include "outside/domain_stream.h"
#include "outside/store_seams.h"
#include "outside/table_store.h"

namespace {

using dbv::DatabaseHeader_c;
using dbv::DatabaseTable_c;
using dbv::DomainAndEvents_c;
using dbv::LoadDatabase_c;

struct Part {
    int32_t id;
    int32_t owner;
    char name[8];
};

const dbd_columndef_t kColumns[] = {
    {"id", DBD_INT32, 0}, {"owner", DBD_INT32, 0}, {"name", DBD_TEXT, 8}};
const dbd_indexdef_t kIndexes[] = {{"part_id", {"id"}, 1, 1}};
const dbd_tabledef_t kTables[] = {{"ld_one", kColumns, 3, kIndexes, 1, "part_id"},
                                  {"ld_two", kColumns, 3, kIndexes, 1, "part_id"},
                                  {"ld_three", kColumns, 3, kIndexes, 1, "part_id"},
                                  {"ld_four", kColumns, 3, kIndexes, 1, "part_id"}};
const char* const kSource = "dbv_load_database";
const char* const kKind = "load_test";

// The test's own header: the flags, then per table number, framed flag and name.
void PutWord(FILE* f, uint32_t word) {
    ASSERT_EQ(1u, std::fwrite(&word, 4, 1, f));
}

uint32_t GetWord(FILE* f) {
    uint32_t word = 0xffffffff;
    return std::fread(&word, 4, 1, f) == 1 ? word : 0xffffffff;
}

bool ReadTestHeader(const std::string&, const std::string& fileName, FILE* f,
                    DatabaseHeader_c& header) {
    const uint32_t flags = GetWord(f);
    const uint32_t count = GetWord(f);
    if (flags == 0xffffffff || count > 16) return false;
    header.m_Description = "test database";
    header.m_HasDomain = (flags & 1) != 0;
    header.m_HasEventContainers = (flags & 2) != 0;
    header.m_UsesDbvIds = (flags & 4) != 0;
    header.m_DomainFieldNames = {"owner_tag"};
    header.m_TablesFromCatalog = (flags & 16) != 0;
    if ((flags & 8) != 0) {  // the domain comes from the file beside this one
        header.m_DomainFiles = {fileName + ".domain"};
        header.m_DomainFileKind = "load_test";
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t number = GetWord(f);
        const uint32_t framed = GetWord(f);
        if (number == 0xffffffff || number == 0 || number > 4) return false;
        header.m_Tables.emplace_back(static_cast<int32_t>(number), kTables[number - 1].name,
                                     framed != 0);
    }
    return true;
}

// A description of a file to write.
struct FileSpec {
    bool domain = true;
    bool eventContainers = true;
    uint32_t versionWord = 1;
    uint32_t containerCount = 2;
    std::vector<int32_t> tables = {1, 2};
    bool framed = false;
    bool domainFile = false;
    bool catalog = false;
};

// Names no further table: every catalog row gives the number 0.
class ZeroCatalog : public dbv::DatabaseCatalogReader_i {
  public:
    void GetTableFromCatalogRow(const void* row, DatabaseTable_c& table) override {
        table.m_TableName = static_cast<const Part*>(row)->name;
    }
};

class LoadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store_seams::Reset();
        mainResetAssertions();
        dbv::ClearDomainRegistryForTests();
        LoadDatabase_c::CleanUp();
        LoadDatabase_c::RegisterCallback(kKind, ReadTestHeader);
        for (const dbd_tabledef_t& table : kTables) ASSERT_EQ(0, dbd_definevirtualtable(&table));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        name_ = std::string(info->test_suite_name()) + "." + info->name();
        file_ = ::testing::TempDir() + name_ + ".db";
        ASSERT_TRUE(dbv::CreateVirtualDatabase((name_ + ".source").c_str()));
    }
    void TearDown() override {
        container_.Clear(true);
        container_ = DomainAndEvents_c();
        header_ = DatabaseHeader_c();
        offsets_.clear();
        for (const char* suffix : {".source", ".target"}) {
            dbd_dropvirtualdatabase((name_ + suffix).c_str());
        }
        if (source_domain_ != nullptr) dbv_deletedomain(source_domain_);
        source_domain_ = nullptr;
        std::remove(file_.c_str());
        std::remove((file_ + ".domain").c_str());
        LoadDatabase_c::CleanUp();
        dbv::ClearDomainRegistryForTests();
        mainResetAssertions();
    }

    // Writes the file of `spec` from the source database (tables 1 ... 4 with rows
    // id 1 ... number, a domain and two event levels). Records where each table's block
    // starts in offsets_.
    void WriteFile(const FileSpec& spec, const std::string& suffix = "") {
        FILE* f = std::fopen((file_ + suffix).c_str(), "wb");
        ASSERT_NE(nullptr, f);
        PutWord(f, (spec.domain ? 1u : 0u) | (spec.eventContainers ? 2u : 0u) | 4u |
                       (spec.domainFile ? 8u : 0u) | (spec.catalog ? 16u : 0u));
        PutWord(f, static_cast<uint32_t>(spec.tables.size()));
        for (const int32_t number : spec.tables) {
            PutWord(f, static_cast<uint32_t>(number));
            PutWord(f, spec.framed ? 1 : 0);
        }
        dbv_domainheader_s* header = nullptr;
        if (spec.domain && source_domain_ == nullptr) {
            ASSERT_EQ(0, dbv_createdomain(&source_domain_));
            ASSERT_EQ(0, dbv_createdomainevents(source_domain_, &levels_[0]));
            ASSERT_EQ(0, dbv_createdomainevents(source_domain_, &levels_[1]));
            dbv_event_s* event = nullptr;
            ASSERT_EQ(0, dbv_createevent(levels_[0], "LocalSave", &event));
            ASSERT_EQ(0, dbv_createevent(levels_[0], nullptr, &event));
            ASSERT_EQ(0, dbv_createevent(levels_[1], "CompanySave@x", &event));
        }
        for (const int32_t number : spec.tables) {
            if (dbd_getvirtualtablepointer(number) != nullptr) continue;
            ASSERT_EQ(0, dbd_createvirtualtable(kTables[number - 1].name, number, 1, 1, 1));
            dbv_tablestruct* table = dbd_getvirtualtablepointer(number);
            if (spec.domain) {
                ASSERT_EQ(
                    0, dbv_converttable_domain(table, source_domain_, nullptr, nullptr, nullptr));
            }
            for (int32_t id = 1; id <= number; ++id) {
                Part row{id, 0, "part"};
                ASSERT_EQ(0, dbv_insert(table, &row));
            }
        }
        if (spec.domain) {
            ASSERT_EQ(0, dbv_createdomainheader(source_domain_, &header));
            PutWord(f, spec.versionWord);
            ASSERT_EQ(0, dbv_write_domain(f, source_domain_));
            if (spec.eventContainers) {
                PutWord(f, spec.containerCount);
                for (uint32_t i = 0; i < spec.containerCount && i < 2; ++i) {
                    ASSERT_EQ(0, dbv_write_domainevents(f, levels_[i]));
                }
            }
        }
        for (const int32_t number : spec.tables) {
            offsets_.push_back(std::ftell(f));
            if (spec.framed) PutWord(f, 0xabcd);
            dbv_tablestruct* table = dbd_getvirtualtablepointer(number);
            ASSERT_EQ(0, header != nullptr ? dbv_writetable_domain(f, header, table)
                                           : dbv_writetable(f, table));
            if (spec.framed) PutWord(f, 0xdcba);
        }
        if (header != nullptr) dbv_deletedomainheader(header);
        ASSERT_EQ(0, std::fclose(f));
    }

    void FlipByte(long at) {
        FILE* f = std::fopen(file_.c_str(), "r+b");
        ASSERT_EQ(0, std::fseek(f, at, SEEK_SET));
        const int c = std::fgetc(f);
        ASSERT_EQ(0, std::fseek(f, at, SEEK_SET));
        std::fputc(c ^ 0x5a, f);
        std::fclose(f);
    }

    // Loads the file into a fresh database "<test>.target".
    LoadDatabase_c::LoadResult_e Load(const std::string& kind = kKind,
                                      LoadDatabase_c::ProgressCallback progress = nullptr) {
        EXPECT_TRUE(dbv::CreateVirtualDatabase((name_ + ".target").c_str()));
        mainResetAssertions();
        LoadDatabase_c loader(&container_);
        if (progress) loader.SetProgressCallback(std::move(progress));
        failed_ = 99;
        header_ = DatabaseHeader_c();
        return loader.Load(kind, file_, true, header_, failed_, &mapping_);
    }

    static std::vector<std::pair<std::string, std::string>> Reports() {
        std::vector<std::pair<std::string, std::string>> out;
        for (const AssertRecord& r : mainGetAssertRecords()) {
            out.emplace_back(r.condition_text, r.source_file);
        }
        return out;
    }

    static std::vector<int32_t> Ids(int32_t number) {
        std::vector<int32_t> ids;
        dbv_cursorstruct* cursor = dbv_opencursor_all(dbd_getvirtualtablepointer(number));
        Part row{};
        while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) ids.push_back(row.id);
        dbv_closecursor(cursor);
        return ids;
    }

    std::vector<std::string> Descriptions(DomainAndEvents_c::DomainEventLevel_e level) {
        std::vector<std::string> out;
        dbv_domainevents_s* events = nullptr;
        if (!container_.GetDomainEvents(level, &events)) return {"<no level>"};
        int32_t count = 0;
        EXPECT_EQ(0, dbv_geteventcount(events, &count));
        for (int32_t i = 0; i < count; ++i) {
            dbv_event_s* event = nullptr;
            const char* text = nullptr;
            EXPECT_EQ(0, dbv_geteventnr(events, i, &event));
            dbv_geteventdescription(event, &text);
            out.push_back(text != nullptr ? text : "<null>");
        }
        return out;
    }

    std::string name_;
    std::string file_;
    dbv_domain_s* source_domain_ = nullptr;
    dbv_domainevents_s* levels_[2] = {};
    std::vector<long> offsets_;
    DomainAndEvents_c container_;
    DatabaseHeader_c header_;
    int32_t failed_ = 99;
    dbv_timeidmapping_s* mapping_ = nullptr;
};

TEST_F(LoadTest, LoadsDomainEventsAndTablesCompletely) {
    WriteFile({});
    ASSERT_EQ(LoadDatabase_c::LOAD_COMPLETE, Load());
    EXPECT_EQ(-1, failed_);
    EXPECT_EQ(nullptr, mapping_);
    EXPECT_EQ((std::vector<int32_t>{1}), Ids(1));
    EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids(2));
    EXPECT_EQ((std::vector<std::string>{"LocalSave", "<null>"}),
              Descriptions(DomainAndEvents_c::EVENT_LEVEL_LOCAL));
    EXPECT_EQ((std::vector<std::string>{"CompanySave@x"}),
              Descriptions(DomainAndEvents_c::EVENT_LEVEL_COMPANY));
    // Events keep their guids: the loaded domain maps their ids as the source did.
    dbv_domain_s* loaded = nullptr;
    dbv_event_s* event = nullptr;
    dbv_event_s* original = nullptr;
    ASSERT_TRUE(container_.GetDomain(&loaded));
    ASSERT_TRUE(
        container_.GetDomainEvent(DomainAndEvents_c::EVENT_LEVEL_LOCAL, "LocalSave", &event));
    ASSERT_TRUE(DomainAndEvents_c::GetDomainEvent(levels_[0], "LocalSave", &original));
    EXPECT_EQ(dbv::DomainEventToGuidString(original, source_domain_),
              dbv::DomainEventToGuidString(event, loaded));
    EXPECT_TRUE(container_.GetRuntimeDomainEvent("DummyDumpReadBaseline", &event));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(LoadTest, OneEventContainerBecomesTheCompanyLevel) {
    WriteFile({.containerCount = 1});
    ASSERT_EQ(LoadDatabase_c::LOAD_COMPLETE, Load());
    EXPECT_EQ(std::vector<std::string>{}, Descriptions(DomainAndEvents_c::EVENT_LEVEL_LOCAL));
    EXPECT_EQ((std::vector<std::string>{"LocalSave", "<null>"}),
              Descriptions(DomainAndEvents_c::EVENT_LEVEL_COMPANY));
}

TEST_F(LoadTest, DomainFromAnotherFileIsContinuedByTheFilesOwnSection) {
    WriteFile({.tables = {}}, ".domain");
    int32_t id = 0;
    ASSERT_EQ(0, dbv_newid(source_domain_, &id));  // the id the loaded domain's baseline takes
    WriteFile({.domainFile = true});
    ASSERT_EQ(LoadDatabase_c::LOAD_COMPLETE, Load());
    EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids(2));
    // One baseline remains: the one the file's own section made, after the source's ids.
    dbv_domainevents_s* runtime = nullptr;
    dbv_event_s* baseline = nullptr;
    int32_t count = 0;
    int32_t baselineId = 0;
    ASSERT_TRUE(container_.GetRuntimeDomainEvents(&runtime));
    ASSERT_EQ(0, dbv_geteventcount(runtime, &count));
    EXPECT_EQ(1, count);
    ASSERT_TRUE(container_.GetRuntimeDomainEvent("DummyDumpReadBaseline", &baseline));
    ASSERT_EQ(0, dbv_geteventtimeid(baseline, &baselineId));
    ASSERT_EQ(0, dbv_newid(source_domain_, &id));  // the id after the file's counter
    EXPECT_EQ(id, baselineId);
}

TEST_F(LoadTest, FileWithoutDomainLoadsPlainTables) {
    WriteFile({.domain = false, .tables = {1, 2, 3}, .framed = true});
    ASSERT_EQ(LoadDatabase_c::LOAD_COMPLETE, Load());
    EXPECT_EQ((std::vector<int32_t>{1, 2, 3}), Ids(3));
    dbv_domain_s* domain = nullptr;
    ASSERT_TRUE(container_.GetDomain(&domain));
    EXPECT_EQ(nullptr, domain);
}

// Results and reports of files broken at the header or the domain section.
TEST_F(LoadTest, BrokenHeaderOrDomainSectionGivesZero) {
    struct Case {
        FileSpec spec;
        std::string kind;
        std::vector<std::pair<std::string, std::string>> reports;
    };
    const std::string readDomain = "Result && \"LoadDatabase_c::ReadDomain\"";
    const std::vector<Case> cases = {
        {{}, "no_such_kind", {{"!\"ReadDatabaseInformation\"", kSource}}},
        {{.versionWord = 2}, kKind, {{readDomain, kSource}}},
        {{.containerCount = 3},
         kKind,
         {{"!\"Incorrect number of event containers\"", kSource}, {"Result", kSource}}},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        WriteFile(c.spec);
        EXPECT_EQ(LoadDatabase_c::LOAD_FAILED, Load(c.kind)) << c.kind;
        EXPECT_EQ(c.reports, Reports());
        // The file was closed: it can be removed and replaced at once.
        EXPECT_EQ(0, std::remove(file_.c_str()));
    }
    TearDown();
    SetUp();
    EXPECT_EQ(LoadDatabase_c::LOAD_FAILED, Load());  // missing file
}

TEST_F(LoadTest, CorruptThirdTableStopsWithItsIndex) {
    WriteFile({.tables = {1, 2, 3, 4}});
    FlipByte(offsets_[2] + 40);
    ASSERT_EQ(LoadDatabase_c::LOAD_TABLE_DATA_FAILED, Load());
    EXPECT_EQ(2, failed_);
    EXPECT_EQ((std::vector<int32_t>{1}), Ids(1));
    EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids(2));
    EXPECT_TRUE(Ids(3).empty());
    EXPECT_TRUE(Ids(4).empty());
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{"!\"Read table\"", kSource}}),
              Reports());
}

TEST_F(LoadTest, ProgressCallbackStopsBeforeTheFirstTable) {
    WriteFile({.tables = {3, 1}});
    std::vector<std::pair<int32_t, std::string>> calls;
    const auto result = Load(kKind, [&](int32_t percent, const std::string& text) {
        calls.emplace_back(percent, text);
        return false;
    });
    EXPECT_EQ(LoadDatabase_c::LOAD_TABLE_DATA_FAILED, result);
    EXPECT_EQ(-1, failed_);
    EXPECT_EQ((std::vector<std::pair<int32_t, std::string>>{{-1, "Load table 3"}}), calls);
    EXPECT_TRUE(Ids(3).empty());
}

TEST_F(LoadTest, CatalogNeedsAReaderAndSkipsInvalidEntries) {
    WriteFile({.domain = false, .tables = {2}, .catalog = true});
    ASSERT_EQ(LoadDatabase_c::LOAD_TABLE_DATA_FAILED, Load());
    EXPECT_EQ(-1, failed_);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{
                  {"!\"Callback interface not defined\"", kSource}}),
              Reports());

    dbd_dropvirtualdatabase((name_ + ".target").c_str());
    LoadDatabase_c::UnregisterCallback(kKind);
    LoadDatabase_c::RegisterCallback(kKind, [](auto&&... args) {
        auto& header = std::get<3>(std::forward_as_tuple(args...));
        header.m_CatalogReader = std::make_shared<ZeroCatalog>();
        return ReadTestHeader(args...);
    });
    ASSERT_EQ(LoadDatabase_c::LOAD_COMPLETE, Load());
    EXPECT_EQ((std::vector<int32_t>{1, 2}), Ids(2));
    EXPECT_EQ(1u, header_.m_Tables.size());
    EXPECT_EQ(2u, Reports().size());  // one "Invalid table" per catalog row
    EXPECT_EQ("!\"Invalid table\"", Reports()[0].first);
}

TEST_F(LoadTest, FirstRegistrationOfANameStays) {
    WriteFile({.domain = false});
    LoadDatabase_c::RegisterCallback(kKind, [](auto&&...) { return false; });
    ASSERT_EQ(LoadDatabase_c::LOAD_COMPLETE, Load());
    LoadDatabase_c::UnregisterCallback(kKind);
    dbd_dropvirtualdatabase((name_ + ".target").c_str());
    EXPECT_EQ(LoadDatabase_c::LOAD_FAILED, Load());
}

TEST_F(LoadTest, EventGuidFromFileUsesAndDropsATemporaryDatabase) {
    WriteFile({});
    dbv_event_s* original = nullptr;
    ASSERT_TRUE(DomainAndEvents_c::GetDomainEvent(levels_[1], "CompanySave", &original));
    const std::string expected = dbv::DomainEventToGuidString(original, source_domain_);
    ASSERT_FALSE(expected.empty());
    const std::string current = dbv::GetVirtualDatabase();

    EXPECT_EQ(expected, LoadDatabase_c::GetEventGuidFromDatabaseFile(
                            kKind, file_, DomainAndEvents_c::EVENT_LEVEL_COMPANY, "CompanySave"));
    EXPECT_EQ("", LoadDatabase_c::GetEventGuidFromDatabaseFile(
                      kKind, file_, DomainAndEvents_c::EVENT_LEVEL_COMPANY, "Missing"));
    EXPECT_EQ("", LoadDatabase_c::GetEventGuidFromDatabaseFile(
                      kKind, file_ + ".missing", DomainAndEvents_c::EVENT_LEVEL_LOCAL, "x"));
    EXPECT_EQ(current, dbv::GetVirtualDatabase());
    EXPECT_NE(0, dbd_setcurrentvirtualdatabase("__BakDb"));  // dropped again

    // Somebody else's "__BakDb" is neither used nor dropped.
    ASSERT_EQ(0, dbd_createvirtualdatabase("__BakDb"));
    ASSERT_EQ(0, dbd_createvirtualtable("ld_one", 1, 1, 1, 1));
    ASSERT_TRUE(dbv::SetCurrentDatabase(current.c_str()));  // the store's current only
    EXPECT_EQ("", LoadDatabase_c::GetEventGuidFromDatabaseFile(
                      kKind, file_, DomainAndEvents_c::EVENT_LEVEL_COMPANY, "CompanySave"));
    EXPECT_EQ(current, dbv::GetVirtualDatabase());
    EXPECT_NE(nullptr, dbd_getvirtualtablepointer(2));  // the source database is current
    ASSERT_EQ(0, dbd_setcurrentvirtualdatabase("__BakDb"));
    EXPECT_NE(nullptr, dbd_getvirtualtablepointer(1));
    EXPECT_EQ(0, dbd_dropvirtualdatabase("__BakDb"));
    dbv::SetCurrentDatabase(current.c_str());
}

}  // namespace
