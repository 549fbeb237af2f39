// Tests of the id range mapper: ranges and translation, shared store mappers released once,
// cleaning, and the mapper file with hostile and truncated contents.
#include "dbv/id_range_mapper.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <climits>
#include <cstring>
#include <string>

#include "dbv/domain_registry.h"
#include "dbv/domain_test_support.h"
#include "dbv/statics_interface.h"
#include "port/files.h"

namespace {

using dbv::IdRangeMapper_c;
using dbv_domain_test::DomainFixture;
using dbv_domain_test::NextFileNumber;
using dbv_domain_test::ReadZFile;
using dbv_domain_test::Report;
using dbv_domain_test::Reports;
using dbv_domain_test::WriteZFile;

const char* const kSource = "dbv_id_range_mapper";

int ProbeMapperRelease() {
    dbv_idrangemapper_s* mapper = nullptr;
    dbv_createidrangemapper(&mapper);
    return dbv_deleteidrangemapper(mapper);
}

class IdRangeMapperTest : public DomainFixture {
  protected:
    void SetUp() override {
        DomainFixture::SetUp();
        domain_ = NewDomain();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        file_ = ::testing::TempDir() + "dbv_mapper_" + info->name() + ".map";
        port_remove_file(file_.c_str());
    }
    void TearDown() override {
        port_remove_file(file_.c_str());
        DomainFixture::TearDown();
    }

    dbv_domain_s* domain_ = nullptr;
    std::string file_;
};

TEST_F(IdRangeMapperTest, AddRangeMapsOldIdsOntoAFreshRunOfTimeIds) {
    IdRangeMapper_c mapper(domain_);
    ASSERT_TRUE(mapper.AddRange(100, 150));
    EXPECT_EQ(150, mapper.GetOldMaxId());
    // The domain handed out exactly 50 ids: 1 ... 50.
    EXPECT_EQ(51, NextId(domain_));
    EXPECT_EQ(1, mapper.GetNewId(100));
    EXPECT_EQ(50, mapper.GetNewId(149));
    EXPECT_EQ(50, mapper.TryGetNewId(149));
    EXPECT_TRUE(Reports().empty());

    EXPECT_EQ(150, mapper.GetNewId(150));
    EXPECT_EQ((std::vector<Report>{{"!\"Id range mapping failed\"", kSource}}), Reports());
    EXPECT_EQ(0, mapper.TryGetNewId(150));
    EXPECT_EQ(0, mapper.TryGetNewId(99));
    EXPECT_EQ(1u, Reports().size());
}

TEST_F(IdRangeMapperTest, RefusedRangesStillSetTheOldMaximumId) {
    struct Case {
        int32_t first;
        int32_t last;
        const char* failing;  // store operation made to fail, or null
        const char* report;
    };
    const Case cases[] = {
        {100, 150, "dbv_newidrange", "!\"Getting new id range failed\""},
        {100, 150, "dbv_idrangemapper_map", "!\"Id range mapper failed to map the ids\""},
        {7, 7, nullptr, "!\"Getting new id range failed\""},
        {9, 3, nullptr, "!\"Getting new id range failed\""},
        {INT32_MIN, INT32_MAX, nullptr, "!\"Getting new id range failed\""},
        {-1, INT32_MAX, nullptr, "!\"Getting new id range failed\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + " " + std::to_string(c.last));
        mainResetAssertions();
        IdRangeMapper_c mapper(domain_);
        if (c.failing != nullptr) {
            store_seams::FailOperation(c.failing, 1);
        }
        EXPECT_FALSE(mapper.AddRange(c.first, c.last));
        EXPECT_EQ(c.last, mapper.GetOldMaxId());
        EXPECT_EQ((std::vector<Report>{{c.report, kSource}}), Reports());
        EXPECT_EQ(0, mapper.TryGetNewId(c.first));
    }
}

TEST_F(IdRangeMapperTest, GuidThatTheDomainDoesNotKnowIsReportedAndGivesTheOldId) {
    IdRangeMapper_c mapper(domain_);
    ASSERT_TRUE(mapper.AddRange(10, 20));
    store_seams::FailOperation("dbv_guidtotimeid", 2);
    EXPECT_EQ(15, mapper.GetNewId(15));
    EXPECT_EQ((std::vector<Report>{{"!\"Guid id to time id mapping failed\"", kSource}}),
              Reports());
    EXPECT_EQ(0, mapper.TryGetNewId(15));
}

TEST_F(IdRangeMapperTest, WithoutDomainEveryOperationTakesItsNeutralPath) {
    dbv::ClearDomainRegistryForTests();
    for (IdRangeMapper_c mapper :
         {IdRangeMapper_c(), IdRangeMapper_c(static_cast<dbv_domain_s*>(nullptr)),
          IdRangeMapper_c("no such database")}) {
        EXPECT_FALSE(mapper.AddRange(1, 5));
        EXPECT_EQ(0, mapper.GetOldMaxId());
        EXPECT_EQ(3, mapper.GetNewId(3));
        EXPECT_EQ(0, mapper.TryGetNewId(3));
        EXPECT_FALSE(mapper.WriteToFile(file_.c_str()));
        EXPECT_FALSE(mapper.ReadFromFile(file_.c_str()));
        EXPECT_TRUE(mapper.Clean());
        EXPECT_TRUE(mapper.FreeIdRangeMapper());
    }
    EXPECT_FALSE(port_file_exists(file_.c_str()));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(IdRangeMapperTest, ConstructorsFindTheDomainOfANamedOrTheCurrentDatabase) {
    ASSERT_TRUE(dbv::CreateDomain("mapper_db"));
    dbv_domain_s* domain = dbv::GetDatabaseDomain("mapper_db");
    IdRangeMapper_c named("mapper_db");
    ASSERT_TRUE(named.AddRange(1, 3));
    EXPECT_EQ(3, NextId(domain));

    dbv::StaticsInterface_c::SetCurrentVirtualDatabase("mapper_db");
    IdRangeMapper_c current;
    ASSERT_TRUE(current.AddRange(5, 6));
    EXPECT_EQ(4, current.GetNewId(5));
}

TEST_F(IdRangeMapperTest, FailedCreationIsReportedAndLeavesNoMapper) {
    store_seams::FailOperation("dbv_createidrangemapper", 1);
    IdRangeMapper_c mapper(domain_);
    EXPECT_EQ((std::vector<Report>{{"!\"Creating id range mapper failed!\"", kSource}}), Reports());
    EXPECT_FALSE(mapper.AddRange(1, 2));
    EXPECT_FALSE(mapper.WriteToFile(file_.c_str()));
}

TEST_F(IdRangeMapperTest, CopiesShareOneStoreMapperReleasedExactlyOnce) {
    auto original = std::make_unique<IdRangeMapper_c>(domain_);
    auto copy = std::make_unique<IdRangeMapper_c>(*original);
    IdRangeMapper_c assigned(static_cast<dbv_domain_s*>(nullptr));
    assigned = *copy;
    ASSERT_TRUE(original->AddRange(10, 20));
    EXPECT_EQ(1, copy->TryGetNewId(10));
    EXPECT_EQ(10, assigned.TryGetNewId(19));
    EXPECT_EQ(0, copy->GetOldMaxId());  // the old maximum id is each copy's own

    EXPECT_EQ(0, CountStoreCalls("dbv_deleteidrangemapper", ProbeMapperRelease,
                                 [&] { original.reset(); }));
    EXPECT_EQ(
        0, CountStoreCalls("dbv_deleteidrangemapper", ProbeMapperRelease, [&] { copy.reset(); }));
    EXPECT_EQ(1, assigned.TryGetNewId(10));
    EXPECT_EQ(1, CountStoreCalls("dbv_deleteidrangemapper", ProbeMapperRelease, [&] {
                  IdRangeMapper_c last(static_cast<dbv_domain_s*>(nullptr));
                  last = assigned;
                  assigned = IdRangeMapper_c(static_cast<dbv_domain_s*>(nullptr));
              }));
}

TEST_F(IdRangeMapperTest, FreeIdRangeMapperLeavesEveryCopyWithoutAStoreMapper) {
    IdRangeMapper_c mapper(domain_);
    ASSERT_TRUE(mapper.AddRange(10, 20));
    IdRangeMapper_c copy(mapper);
    EXPECT_EQ(1, CountStoreCalls("dbv_deleteidrangemapper", ProbeMapperRelease, [&] {
                  EXPECT_FALSE(copy.FreeIdRangeMapper());  // the armed release "fails"
              }));
    EXPECT_EQ(0, mapper.TryGetNewId(10));
    EXPECT_FALSE(mapper.AddRange(30, 40));
    EXPECT_EQ(0, CountStoreCalls("dbv_deleteidrangemapper", ProbeMapperRelease, [&] {
                  EXPECT_TRUE(mapper.FreeIdRangeMapper());
                  EXPECT_TRUE(mapper.Clean());
              }));
}

TEST_F(IdRangeMapperTest, CleanForgetsEveryRangeForEveryCopy) {
    IdRangeMapper_c mapper(domain_);
    ASSERT_TRUE(mapper.AddRange(10, 20));
    const IdRangeMapper_c copy(mapper);
    EXPECT_TRUE(mapper.Clean());
    EXPECT_EQ(0, mapper.GetOldMaxId());
    EXPECT_EQ(0, mapper.TryGetNewId(10));
    EXPECT_EQ(0, copy.TryGetNewId(10));
    ASSERT_TRUE(mapper.AddRange(10, 12));
    EXPECT_EQ(11, copy.TryGetNewId(10));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(IdRangeMapperTest, CleanWhoseReCreationFailsNeverReleasesTwice) {
    auto mapper = std::make_unique<IdRangeMapper_c>(domain_);
    ASSERT_TRUE(mapper->AddRange(10, 20));
    store_seams::FailOperation("dbv_createidrangemapper", 1);
    EXPECT_TRUE(mapper->Clean());
    EXPECT_EQ((std::vector<Report>{{"!\"Re-creating id range mapper failed!\"", kSource}}),
              Reports());
    EXPECT_EQ(0, mapper->GetOldMaxId());
    EXPECT_FALSE(mapper->AddRange(1, 2));
    EXPECT_EQ(0, CountStoreCalls("dbv_deleteidrangemapper", ProbeMapperRelease, [&] {
                  EXPECT_TRUE(mapper->Clean());
                  mapper.reset();
              }));
}

TEST_F(IdRangeMapperTest, CleanWhoseReleaseFailsKeepsTheMapping) {
    IdRangeMapper_c mapper(domain_);
    ASSERT_TRUE(mapper.AddRange(10, 20));
    store_seams::FailOperation("dbv_deleteidrangemapper", 1);
    EXPECT_TRUE(mapper.Clean());
    EXPECT_EQ((std::vector<Report>{{"!\"Cleaning range mapper failed!\"", kSource}}), Reports());
    EXPECT_EQ(0, mapper.GetOldMaxId());
    EXPECT_EQ(1, mapper.TryGetNewId(10));
}

TEST_F(IdRangeMapperTest, FileWrittenAndReadBackGivesTheSameMapping) {
    IdRangeMapper_c writer(domain_);
    ASSERT_TRUE(writer.AddRange(100, 150));
    ASSERT_TRUE(writer.AddRange(300, 310));
    ASSERT_TRUE(writer.WriteToFile(file_.c_str()));
    const std::string bytes = ReadZFile(file_);
    ASSERT_GT(bytes.size(), 17u);
    EXPECT_EQ("IdRangeMapper", bytes.substr(0, 13));
    EXPECT_EQ(std::string("\x36\x01\x00\x00", 4), bytes.substr(13, 4));  // 310

    IdRangeMapper_c reader(domain_);
    ASSERT_TRUE(reader.AddRange(1000, 1001));  // replaced by the file's mapping
    ASSERT_TRUE(reader.ReadFromFile(file_.c_str()));
    EXPECT_EQ(310, reader.GetOldMaxId());
    EXPECT_EQ(1, reader.GetNewId(100));
    EXPECT_EQ(50, reader.GetNewId(149));
    EXPECT_EQ(51, reader.GetNewId(300));
    EXPECT_EQ(0, reader.TryGetNewId(1000));
    EXPECT_TRUE(Reports().empty());

    // Any thirteen header bytes are accepted.
    WriteZFile(file_, "SomethingElse" + bytes.substr(13));
    IdRangeMapper_c other(domain_);
    ASSERT_TRUE(other.ReadFromFile(file_.c_str()));
    EXPECT_EQ(310, other.GetOldMaxId());
    EXPECT_EQ(51, other.GetNewId(300));
}

TEST_F(IdRangeMapperTest, ShortOrHostileFilesAreRefusedClosedAndChangeNothing) {
    IdRangeMapper_c writer(domain_);
    ASSERT_TRUE(writer.AddRange(100, 150));
    ASSERT_TRUE(writer.WriteToFile(file_.c_str()));
    const std::string good = ReadZFile(file_);
    // A body whose checked header claims a million runs, and then ends.
    std::string claimsMany = good.substr(0, 17 + 16);
    claimsMany[17 + 8] = '\x40';
    claimsMany[17 + 9] = '\x42';
    claimsMany[17 + 10] = '\x0f';
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(claimsMany.data() + 17), 12);
    for (int i = 0; i < 4; ++i) {
        claimsMany[static_cast<size_t>(17 + 12 + i)] = static_cast<char>((crc >> (8 * i)) & 0xff);
    }
    struct Case {
        const char* what;
        std::string bytes;
        const char* report;  // or null
    };
    const Case cases[] = {
        {"empty", "", "!\"Reading header from id range mapper file failed\""},
        {"short header", "IdRan", "!\"Reading header from id range mapper file failed\""},
        {"16 bytes", good.substr(0, 16),
         "!\"Reading old max id from id range mapper file failed\""},
        {"no body", good.substr(0, 17), nullptr},
        {"truncated body", good.substr(0, good.size() - 3), nullptr},
        {"garbage body", good.substr(0, 17) + std::string(64, '\xff'), nullptr},
        {"claims too many runs", claimsMany, nullptr},
        {"flipped byte", good.substr(0, good.size() - 6) + "x" + good.substr(good.size() - 5),
         nullptr},
    };
    const std::string probe = ::testing::TempDir() + "dbv_mapper_probe";
    WriteZFile(probe, "probe");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mainResetAssertions();
        WriteZFile(file_, c.bytes);
        IdRangeMapper_c reader(NewDomain());
        ASSERT_TRUE(reader.AddRange(1000, 1010));
        const int before = NextFileNumber(probe);
        EXPECT_FALSE(reader.ReadFromFile(file_.c_str()));
        EXPECT_EQ(before, NextFileNumber(probe));
        EXPECT_EQ(1010, reader.GetOldMaxId());
        EXPECT_EQ(1, reader.GetNewId(1000));
        EXPECT_EQ(0, reader.TryGetNewId(100));
        if (c.report != nullptr) {
            EXPECT_EQ((std::vector<Report>{{c.report, kSource}}), Reports());
        } else {
            EXPECT_TRUE(Reports().empty());
        }
    }
    port_remove_file(probe.c_str());
}

TEST_F(IdRangeMapperTest, MissingFileOrNameIsRefused) {
    IdRangeMapper_c reader(domain_);
    EXPECT_FALSE(reader.ReadFromFile(file_.c_str()));
    EXPECT_FALSE(reader.ReadFromFile(""));
    EXPECT_FALSE(reader.ReadFromFile(nullptr));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(IdRangeMapperTest, WritingThatCannotHappenStillGivesTrueAndLeavesNoFile) {
    IdRangeMapper_c writer(domain_);
    ASSERT_TRUE(writer.AddRange(1, 2));
    const std::string unwritable = ::testing::TempDir() + "dbv_no_such_dir/sub/mapper.map";
    EXPECT_TRUE(writer.WriteToFile(unwritable.c_str()));
    EXPECT_FALSE(port_file_exists(unwritable.c_str()));
    EXPECT_TRUE(writer.WriteToFile(""));
    EXPECT_TRUE(writer.WriteToFile(nullptr));
}

TEST_F(IdRangeMapperTest, ReadFailureOfTheStoreBodyKeepsTheMapping) {
    IdRangeMapper_c writer(domain_);
    ASSERT_TRUE(writer.AddRange(100, 101));
    ASSERT_TRUE(writer.WriteToFile(file_.c_str()));
    IdRangeMapper_c reader(domain_);
    ASSERT_TRUE(reader.AddRange(200, 201));
    store_seams::FailOperation("dbv_idrangemapper_read", 1);
    EXPECT_FALSE(reader.ReadFromFile(file_.c_str()));
    EXPECT_EQ(201, reader.GetOldMaxId());
    EXPECT_EQ(2, reader.GetNewId(200));
    store_seams::FailOperation("dbv_createidrangemapper", 1);
    EXPECT_FALSE(reader.ReadFromFile(file_.c_str()));
    EXPECT_EQ((std::vector<Report>{{"!\"Creating id range mapper failed!\"", kSource}}), Reports());
    EXPECT_EQ(2, reader.GetNewId(200));
}

}  // namespace
