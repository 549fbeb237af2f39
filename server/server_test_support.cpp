// The fixture shared by the server core tests.
#include "server/server_test_support.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "outside/table_store.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "server/server_tables.h"

void ServerCoreTest::SetUp() {
    server_state_reset();
    server_state().fatal_pause_ms = 0;
    server_state().clock = [this] { return clock_++; };
    (void)dbd_dropvirtualdatabase(SRV_DATABASE_NAME);
    srv_declare_tables();
    ASSERT_EQ(srv_create_tables(), 0);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::random_device random;
    dir_ = (std::filesystem::temp_directory_path() /
            ("server_core_" + std::string(info->name()) + "_" + std::to_string(random())))
               .string();
    std::filesystem::create_directories(dir_);
}

void ServerCoreTest::TearDown() {
    // A save a test left pending would hold the log of the next test.
    if (database_save_pending()) stdout_of([] { commit_pending_save(); });
    (void)dbd_dropvirtualdatabase(SRV_DATABASE_NAME);
    server_state_reset();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void ServerCoreTest::use_database_file_in_temp_dir() {
    server_state().database_file = temp_path("test.db");
    server_state().temporary_file = temp_path("test.db.tmp");
}

std::string ServerCoreTest::stdout_of(const std::function<void()>& action) {
    ::testing::internal::CaptureStdout();
    action();
    return ::testing::internal::GetCapturedStdout();
}

void ServerCoreTest::write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ServerCoreTest::read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ServerCoreTest::file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}

namespace {
template <size_t N>
std::string text(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}
}  // namespace

std::string ServerCoreTest::text_of(const common_model_row& r) {
    return text(r.name) + "/" + std::to_string(r.db_number) + " " + std::to_string(r.maxid) + " " +
           std::to_string(r.ga_id) + " " + std::to_string(r.multi_drawing_id);
}
std::string ServerCoreTest::text_of(const multiusers_row& r) {
    return text(r.ModelName) + "/" + text(r.UserName) + " " + std::to_string(r.LoginTime) + " " +
           std::to_string(r.LastAccessTime) + " " + std::to_string(r.LastSaveTime) + " " +
           std::to_string(r.LockedTime);
}
std::string ServerCoreTest::text_of(const drawinglocks_row& r) {
    return text(r.ModelName) + "/" + text(r.DrawingName) + "/" + text(r.UserName) + " " +
           std::to_string(r.ModId) + " " + std::to_string(r.LockStatus) + " " +
           std::to_string(r.TimeStamp);
}
namespace {
template <typename Row>
std::string all_rows(int32_t table_number) {
    std::string rows;
    dbv_cursorstruct* cursor = dbv_opencursor_all(dbd_getvirtualtablepointer(table_number));
    Row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0)
        rows += (rows.empty() ? "" : "; ") + ServerCoreTest::text_of(row);
    dbv_closecursor(cursor);
    return rows;
}
}  // namespace

std::string ServerCoreTest::models() {
    return all_rows<common_model_row>(SRV_TABLE_COMMON_MODEL);
}
std::string ServerCoreTest::users() {
    return all_rows<multiusers_row>(SRV_TABLE_MULTIUSERS);
}
std::string ServerCoreTest::drawing_locks() {
    return all_rows<drawinglocks_row>(SRV_TABLE_DRAWINGLOCKS);
}

common_model_row ServerCoreTest::model_row(const char* name, int32_t db_number, int32_t maxid,
                                           int32_t ga_id, int32_t multi_drawing_id) {
    common_model_row row{};
    srv_copy_text(row.name, name);
    row.db_number = db_number;
    row.maxid = maxid;
    row.ga_id = ga_id;
    row.multi_drawing_id = multi_drawing_id;
    return row;
}

drawinglocks_row ServerCoreTest::drawing_body(const char* drawing, int32_t mod_id, int32_t status) {
    drawinglocks_row row{};
    srv_copy_text(row.DrawingName, drawing);
    row.ModId = mod_id;
    row.LockStatus = status;
    return row;
}
