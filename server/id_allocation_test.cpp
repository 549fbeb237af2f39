// The three id allocations: new and known models, the conflict rule, the saved file and
// the log lines, and a save that fails.
#include "server/id_allocation.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "outside/table_store.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class IdAllocationTest : public ServerCoreTest {
protected:
    void SetUp() override {
        ServerCoreTest::SetUp();
        use_database_file_in_temp_dir();
    }
    // The counters as the saved file has them.
    std::vector<common_model_row> models_in_file() {
        dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
        EXPECT_EQ(read_database_file(), 0);
        return common_models();
    }
};

TEST_F(IdAllocationTest, MaxidReservesBlocksOfAHundred) {
    common_model_row body = model_row("Plant", 1, 500, 33, 44);
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 501);
    EXPECT_EQ(GetCapturedStdout(), "New model Plant/1\nPlant/1 id: 501\n");
    EXPECT_EQ(body.maxid, 501);

    body = model_row("Plant", 1, 501);
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 601);
    EXPECT_EQ(GetCapturedStdout(), "Plant/1 id: 601\n");
    EXPECT_EQ(body.ga_id, 0);  // the client's other counters come back as sent

    body = model_row("Plant", 1, 900);
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 901);
    EXPECT_EQ(GetCapturedStdout(), "Error: Model id conflict, used client id\nPlant/1 id: 901\n");

    body = model_row("Plant", 1, 1001);  // exactly the next block: no conflict
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 1001);
    EXPECT_EQ(GetCapturedStdout(), "Plant/1 id: 1001\n");

    auto rows = models_in_file();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].maxid, 1001);
    EXPECT_EQ(rows[0].ga_id, 33);  // as the first client sent them
    EXPECT_EQ(rows[0].multi_drawing_id, 44);
}

TEST_F(IdAllocationTest, GaIdFollowsTheLargerOfStoredAndClient) {
    common_model_row stored = model_row("Plant", 2, 100, 7, 0);
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &stored), 0);
    common_model_row body = model_row("Plant", 2, 0, 3, 0);
    CaptureStdout();
    EXPECT_EQ(allocate_ga_id(body), 8);
    EXPECT_EQ(GetCapturedStdout(), "Plant/2 GA id: 8\n");
    EXPECT_EQ(body.maxid, 0);

    body = model_row("Plant", 2, 0, 12, 0);
    CaptureStdout();
    EXPECT_EQ(allocate_ga_id(body), 13);
    EXPECT_EQ(GetCapturedStdout(), "Error: Model id conflict, used client id\nPlant/2 GA id: 13\n");
    auto rows = models_in_file();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ga_id, 13);
    EXPECT_EQ(rows[0].maxid, 100);  // the stored maxid stays
}

TEST_F(IdAllocationTest, MultiDrawingIdsAreConsecutivePerModel) {
    common_model_row body = model_row("Plant", 1, 0, 0, 0);
    CaptureStdout();
    EXPECT_EQ(allocate_multi_drawing_id(body), 1);
    body = model_row("Plant", 1, 0, 0, 0);
    EXPECT_EQ(allocate_multi_drawing_id(body), 2);
    body = model_row("Plant", 1, 0, 0, 0);
    EXPECT_EQ(allocate_multi_drawing_id(body), 3);
    body = model_row("Plant", 9, 0, 0, 0);  // other database number, other model
    EXPECT_EQ(allocate_multi_drawing_id(body), 1);
    EXPECT_EQ(GetCapturedStdout(),
              "New model Plant/1\nPlant/1 Multi drawing id: 1\nPlant/1 Multi drawing id: 2\n"
              "Plant/1 Multi drawing id: 3\nNew model Plant/9\nPlant/9 Multi drawing id: 1\n");
}

TEST_F(IdAllocationTest, RefusedSaveIsReportedTwiceAndKeepsTheNewValue) {
    std::filesystem::create_directories(server_state().temporary_file);
    const std::string failed = "Write failed: " + server_state().database_file + "\n";
    common_model_row body = model_row("Plant", 1, 500);
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 501);
    EXPECT_EQ(GetCapturedStdout(), "New model Plant/1\n" + failed + failed);
    body = model_row("Plant", 1, 0);
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 601);
    EXPECT_EQ(GetCapturedStdout(), failed + failed);
    EXPECT_EQ(common_models()[0].maxid, 601);
    EXPECT_FALSE(file_exists(server_state().database_file));
}

TEST_F(IdAllocationTest, UnterminatedModelNameIsCutTo81Characters) {
    common_model_row body{};
    std::memset(body.name, 'n', sizeof body.name);
    body.maxid = 10;
    CaptureStdout();
    EXPECT_EQ(allocate_maxid(body), 11);
    GetCapturedStdout();
    auto rows = common_models();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::string(rows[0].name), std::string(81, 'n'));
}
