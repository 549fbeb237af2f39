// The three id allocations: new and known models, the conflict rule, the saved file and
// the log lines, and a save that fails.
#include "server/id_allocation.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "outside/table_store.h"
#include "server/log_text.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

namespace {

using allocator = int32_t (*)(common_model_row&);

class IdAllocationTest : public ServerCoreTest {
  protected:
    void SetUp() override {
        ServerCoreTest::SetUp();
        use_database_file_in_temp_dir();
    }
    // One allocation from a client that sends these counters; checks result and log.
    static void expect_allocation(allocator allocate, common_model_row body, int expected,
                                  const std::string& log) {
        SCOPED_TRACE(log);
        EXPECT_EQ(stdout_of([&] {
                      EXPECT_EQ(allocate(body), expected);
                      EXPECT_EQ(commit_pending_save(), 0);
                  }),
                  log);
    }
    // The counters as the saved file has them.
    std::string models_in_file() {
        dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
        EXPECT_EQ(read_database_file(), 0);
        return models();
    }
};

}  // namespace

TEST_F(IdAllocationTest, MaxidReservesBlocksOfAHundred) {
    common_model_row body = model_row("Plant", 1, 500, 33, 44);
    EXPECT_EQ(stdout_of([&] {
                  EXPECT_EQ(allocate_maxid(body), 501);
                  commit_pending_save();
              }),
              "New model Plant/1\nPlant/1 id: 501\n");
    EXPECT_EQ(body.maxid, 501);  // the reply carries the new id in the body
    expect_allocation(allocate_maxid, model_row("Plant", 1, 501), 601, "Plant/1 id: 601\n");
    expect_allocation(allocate_maxid, model_row("Plant", 1, 900), 901,
                      "Error: Model id conflict, used client id\nPlant/1 id: 901\n");
    expect_allocation(allocate_maxid, model_row("Plant", 1, 1001), 1001,  // exactly the next block
                      "Plant/1 id: 1001\n");
    EXPECT_EQ(models_in_file(), "Plant/1 1001 33 44");  // the other counters as first sent
}

TEST_F(IdAllocationTest, GaIdFollowsTheLargerOfStoredAndClient) {
    common_model_row stored = model_row("Plant", 2, 100, 7, 0);
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &stored), 0);
    common_model_row body = model_row("Plant", 2, 0, 3, 0);
    EXPECT_EQ(stdout_of([&] {
                  EXPECT_EQ(allocate_ga_id(body), 8);
                  commit_pending_save();
              }),
              "Plant/2 GA id: 8\n");
    EXPECT_EQ(body.maxid, 0);  // the client's other counters come back as sent
    expect_allocation(allocate_ga_id, model_row("Plant", 2, 0, 12, 0), 13,
                      "Error: Model id conflict, used client id\nPlant/2 GA id: 13\n");
    EXPECT_EQ(models_in_file(), "Plant/2 100 13 0");  // the stored maxid stays
}

TEST_F(IdAllocationTest, MultiDrawingIdsAreConsecutivePerModel) {
    expect_allocation(allocate_multi_drawing_id, model_row("Plant", 1, 0), 1,
                      "New model Plant/1\nPlant/1 Multi drawing id: 1\n");
    for (int expected : {2, 3})
        expect_allocation(allocate_multi_drawing_id, model_row("Plant", 1, 0), expected,
                          "Plant/1 Multi drawing id: " + std::to_string(expected) + "\n");
    expect_allocation(allocate_multi_drawing_id, model_row("Plant", 9, 0), 1,  // other db number
                      "New model Plant/9\nPlant/9 Multi drawing id: 1\n");
}

TEST_F(IdAllocationTest, RefusedSaveIsReportedTwiceAndKeepsTheNewValue) {
    std::filesystem::create_directories(server_state().temporary_file);
    const std::string failed = "Write failed: " + server_state().database_file + "\n";
    for (int32_t expected : {501, 601}) {
        common_model_row body = model_row("Plant", 1, expected == 501 ? 500 : 0);
        EXPECT_EQ(stdout_of([&] {
                      EXPECT_EQ(allocate_maxid(body), expected);
                      EXPECT_EQ(commit_pending_save(), 1);
                  }),
                  (expected == 501 ? "New model Plant/1\n" : "") + failed + failed);
    }
    EXPECT_EQ(models(), "Plant/1 601 0 0");
    EXPECT_FALSE(file_exists(server_state().database_file));
}

TEST_F(IdAllocationTest, UnterminatedModelNameIsCutTo81Characters) {
    common_model_row body{};
    std::memset(body.name, 'n', sizeof body.name);
    body.maxid = 10;
    stdout_of([&] {
        EXPECT_EQ(allocate_maxid(body), 11);
        commit_pending_save();
    });
    EXPECT_EQ(models(), std::string(81, 'n') + "/0 11 0 0");
}

TEST_F(IdAllocationTest, OnlyAPendingSaveAllowsABoundedWaitForMoreAllocations) {
    std::vector<int64_t> allowed;
    std::vector<int32_t> ids;
    (void)stdout_of([&] {
        common_model_row a = model_row("Plant", 1, 0);
        allowed.push_back(save_gather_allowance_us());
        ids.push_back(allocate_maxid(a));
        ids.push_back(commit_pending_save());
        allowed.push_back(save_gather_allowance_us());  // nothing waits to be saved
        ids.push_back(allocate_maxid(a));
        allowed.push_back(save_gather_allowance_us());
        ids.push_back(commit_pending_save());
        allowed.push_back(save_gather_allowance_us());
    });
    EXPECT_EQ(ids, (std::vector<int32_t>{1, 0, 101, 0}));
    ASSERT_EQ(allowed.size(), 4u);
    EXPECT_EQ(allowed[0], 0);
    EXPECT_EQ(allowed[1], 0);
    // Half of what the last save took, and never above 2 ms.
    EXPECT_GE(allowed[2], 0);
    EXPECT_LE(allowed[2], 2000);
    EXPECT_EQ(allowed[3], 0);
}

TEST_F(IdAllocationTest, ABatchIsSavedOnceAndLogsEachLineInItsPlace) {
    EXPECT_FALSE(database_save_pending());
    const std::string log = stdout_of([&] {
        common_model_row a = model_row("Plant", 1, 500);
        common_model_row b = model_row("Plant", 1, 0);
        common_model_row c = model_row("Bridge", 3, 0);
        EXPECT_EQ(allocate_maxid(a), 501);
        log_line("between");  // any line of the batch keeps its place
        EXPECT_EQ(allocate_maxid(b), 601);
        EXPECT_EQ(allocate_ga_id(c), 1);
        EXPECT_TRUE(database_save_pending());
        EXPECT_FALSE(file_exists(server_state().database_file));  // nothing saved yet
        EXPECT_EQ(commit_pending_save(), 0);
        EXPECT_EQ(commit_pending_save(), 0);  // nothing left to save
    });
    EXPECT_EQ(log,
              "New model Plant/1\nPlant/1 id: 501\nbetween\nPlant/1 id: 601\n"
              "New model Bridge/3\nBridge/3 GA id: 1\n");
    EXPECT_FALSE(database_save_pending());
    EXPECT_EQ(models_in_file(), "Plant/1 601 0 0; Bridge/3 0 1 0");

    std::filesystem::create_directories(server_state().temporary_file);
    const std::string failed = "Write failed: " + server_state().database_file + "\n";
    EXPECT_EQ(stdout_of([&] {
                  common_model_row d = model_row("Plant", 1, 0);
                  common_model_row e = model_row("Plant", 1, 0);
                  allocate_maxid(d);
                  log_line("between");
                  allocate_multi_drawing_id(e);
                  EXPECT_EQ(commit_pending_save(), 1);
              }),
              failed + failed + "between\n" + failed + failed);
}
