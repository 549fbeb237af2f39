// The store's test seams: a named operation fails the armed number of times and changes
// nothing when it does, every operation of the domain half answers to its own name, and a
// forced comparison result comes back whatever the ids.
#include <functional>
#include <string>
#include <vector>

#include "outside/domain_test_support.h"

namespace domain_store_test {
namespace {

TEST_F(DomainTest, ArmedOperationFailsTheGivenNumberOfTimesAndChangesNothing) {
    store_seams::FailOperation("dbv_newidrange", 2);
    store_seams::FailOperation("newid", 1);  // names match exactly, nothing else
    int32_t first = -1;
    EXPECT_NE(0, dbv_newidrange(domain_, 5, &first));
    EXPECT_EQ(1, new_id());
    EXPECT_NE(0, dbv_newidrange(domain_, 5, &first));
    EXPECT_EQ(-1, first);
    ASSERT_EQ(0, dbv_newidrange(domain_, 5, &first));
    EXPECT_EQ(2, first);  // the failed calls took no ids

    store_seams::FailOperation("dbv_newid");  // until Reset
    int32_t id = -1;
    for (int i = 0; i < 3; ++i) EXPECT_NE(0, dbv_newid(domain_, &id));
    store_seams::FailOperation("dbv_newid", 0);  // disarms
    EXPECT_EQ(7, new_id());
    store_seams::FailOperation("dbv_newid", -1);
    store_seams::Reset();
    EXPECT_EQ(8, new_id());
}

TEST_F(DomainTest, ForcedComparisonResultComesBackWhateverTheIds) {
    new_id();
    new_id();
    store_seams::ForceCompareResult(2);
    int32_t result = 0;
    ASSERT_EQ(0, dbv_comparetimeid(domain_, 1, 2, &result));
    EXPECT_EQ(2, result);
    ASSERT_EQ(0, dbv_comparetimeid(domain_, 0, 999, &result));  // unknown ids too
    EXPECT_EQ(2, result);
    int32_t causal = 5;
    ASSERT_EQ(0, dbv_comparecausality(domain_, 2, 1, &causal));  // not forced
    EXPECT_EQ(0, causal);
    store_seams::FailOperation("dbv_comparetimeid", 1);  // an armed failure wins
    EXPECT_NE(0, dbv_comparetimeid(domain_, 1, 2, &result));
    store_seams::Reset();
    ASSERT_EQ(0, dbv_comparetimeid(domain_, 1, 2, &result));
    EXPECT_EQ(1, result);
}

// Every operation of the domain half consults the seam under its own function name.
TEST_F(DomainTest, EveryOperationAnswersToItsName) {
    dbv_domainevents_s* events = nullptr;
    dbv_event_s* event = nullptr;
    dbv_idrangemapper_s* mapper = nullptr;
    dbv_statistics_s* stats = nullptr;
    ASSERT_EQ(0, dbv_createdomainevents(domain_, &events));
    ASSERT_EQ(0, dbv_createevent(events, "e", &event));
    ASSERT_EQ(0, dbv_createidrangemapper(&mapper));
    ASSERT_EQ(0, dbv_getdomainstatistics(domain_, &stats));
    ASSERT_EQ(0, dbv_idrangemapper_map(mapper, domain_, 1, 1, 1));
    dbv_guid_s guid{};
    ASSERT_EQ(0, dbv_timeidtoguid(domain_, 1, &guid));
    FILE* stream = std::tmpfile();
    ASSERT_EQ(0, dbv_idrangemapper_write(stream, mapper));
    std::rewind(stream);

    int32_t i32 = 0;
    double number = 0;
    const char* text = nullptr;
    char buffer[kDbvGuidTextLength + 1];
    dbv_domain_s* d = nullptr;
    // Each call succeeds when not armed (checked below for those that change nothing).
    const std::vector<std::pair<const char*, std::function<int()>>> operations = {
        {"dbv_createdomain", [&] { return dbv_createdomain(&d); }},
        {"dbv_cleardomain", [&] { return dbv_cleardomain(domain_); }},
        {"dbv_deletedomain", [&] { return dbv_deletedomain(domain_); }},
        {"dbv_newid", [&] { return dbv_newid(domain_, &i32); }},
        {"dbv_newidrange", [&] { return dbv_newidrange(domain_, 1, &i32); }},
        {"dbv_comparetimeid", [&] { return dbv_comparetimeid(domain_, 1, 1, &i32); }},
        {"dbv_comparecausality", [&] { return dbv_comparecausality(domain_, 1, 1, &i32); }},
        {"dbv_timeidtoguid", [&] { return dbv_timeidtoguid(domain_, 1, &guid); }},
        {"dbv_guidtotimeid", [&] { return dbv_guidtotimeid(domain_, &guid, &i32); }},
        {"dbv_importguid", [&] { return dbv_importguid(domain_, &guid, &i32); }},
        {"dbv_guidtostring", [&] { return dbv_guidtostring(&guid, buffer, sizeof buffer); }},
        {"dbv_parseguidstring",
         [&] { return dbv_parseguidstring("03020100-0504-0706-0809-0a0b0c0d0e0f", &guid); }},
        {"dbv_createdomainevents", [&] { return dbv_createdomainevents(domain_, &events); }},
        {"dbv_deletedomainevents", [&] { return dbv_deletedomainevents(events); }},
        {"dbv_createevent", [&] { return dbv_createevent(events, "x", &event); }},
        {"dbv_deleteevent", [&] { return dbv_deleteevent(event); }},
        {"dbv_geteventcount", [&] { return dbv_geteventcount(events, &i32); }},
        {"dbv_geteventnr", [&] { return dbv_geteventnr(events, 0, &event); }},
        {"dbv_geteventdescription", [&] { return dbv_geteventdescription(event, &text); }},
        {"dbv_seteventdescription", [&] { return dbv_seteventdescription(event, "y"); }},
        {"dbv_geteventtimeid", [&] { return dbv_geteventtimeid(event, &i32); }},
        {"dbv_createidrangemapper", [&] { return dbv_createidrangemapper(&mapper); }},
        {"dbv_deleteidrangemapper", [&] { return dbv_deleteidrangemapper(mapper); }},
        {"dbv_idrangemapper_map", [&] { return dbv_idrangemapper_map(mapper, domain_, 2, 1, 1); }},
        {"dbv_idrangemapper_idtoguid",
         [&] { return dbv_idrangemapper_idtoguid(mapper, 1, &guid); }},
        {"dbv_idrangemapper_write", [&] { return dbv_idrangemapper_write(stream, mapper); }},
        {"dbv_idrangemapper_read", [&] { return dbv_idrangemapper_read(stream, mapper); }},
        {"dbv_getdomainstatistics", [&] { return dbv_getdomainstatistics(domain_, &stats); }},
        {"dbv_getstatistics", [&] { return dbv_getstatistics(stats, "Bytes", &number); }},
        {"dbv_deletestatistics", [&] { return dbv_deletestatistics(stats); }},
        {"dbv::SetCurrentDatabase", [&] { return dbv::SetCurrentDatabase("x") ? 0 : 1; }},
        {"dbv::CreateDatabase", [&] { return dbv::CreateDatabase("x") ? 0 : 1; }},
        {"dbv::DropVirtualDatabase", [&] { return dbv::DropVirtualDatabase("x") ? 0 : 1; }},
    };
    for (const auto& [name, call] : operations) {
        store_seams::FailOperation(name, 1);
        EXPECT_NE(0, call()) << name;
        EXPECT_FALSE(store_seams::ShouldFail(name)) << name << " did not consult its seam";
    }
    // The failed calls changed nothing: the objects are all still there.
    int32_t count = -1;
    EXPECT_EQ(0, dbv_geteventcount(events, &count));
    EXPECT_EQ(1, count);
    const char* description = nullptr;
    EXPECT_EQ(0, dbv_geteventdescription(event, &description));
    EXPECT_STREQ("e", description);
    EXPECT_EQ(0, dbv_idrangemapper_idtoguid(mapper, 1, &guid));
    EXPECT_EQ(0, dbv_getstatistics(stats, "Bytes", &number));
    EXPECT_EQ(2, new_id());
    EXPECT_EQ(nullptr, d);
    std::fclose(stream);
    EXPECT_EQ(0, dbv_deletestatistics(stats));
    EXPECT_EQ(0, dbv_deleteidrangemapper(mapper));
}

}  // namespace
}  // namespace domain_store_test
