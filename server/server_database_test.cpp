// The database file: choice of its location, the start-up read with its version rules
// and the 1.01 conversion, the save, and hostile file contents.
#include "server/server_database.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "outside/base_tools.h"
#include "outside/table_store.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

const std::string kEndMark("\x4F\x61\xBC\x00", 4);
const char* kAddress = "tcpip:localhost,1238";
const char* kBaseName = "tcpip_localhost_1238.db";

// Serialises one table the way the store writes it into a file part.
std::string table_block(int32_t table_number, const std::string& scratch) {
    FILE* out = tool_fopen(scratch.c_str(), "wb");
    EXPECT_NE(out, nullptr);
    EXPECT_EQ(dbv_writetable(out, dbd_getvirtualtablepointer(table_number)), 0);
    tool_fclose(out);
    std::ifstream in(scratch, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ServerDatabaseTest : public ServerCoreTest {
protected:
    void TearDown() override {
        unsetenv("QM_SERVER_DATABASE_DIRECTORY");
        if (!saved_cwd_.empty()) std::filesystem::current_path(saved_cwd_);
        ServerCoreTest::TearDown();
    }

    // Start-up against a fresh store, as the program does it.
    int restart(const char* address, const std::string& directory) {
        (void)dbd_dropvirtualdatabase(SRV_DATABASE_NAME);
        server_state().database_file.clear();
        return open_server_database(address, directory.c_str());
    }

    void change_directory(const std::string& dir) {
        if (saved_cwd_.empty()) saved_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(dir);
    }

    // A file of format 1.02 with one model, built with the server's own save.
    std::string saved_file_with_one_model() {
        use_database_file_in_temp_dir();
        common_model_row row = model_row("Plant", 3, 501, 7, 9);
        EXPECT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &row), 0);
        EXPECT_EQ(write_database_file(), 0);
        return read_file(server_state().database_file);
    }

    std::filesystem::path saved_cwd_;
};

}  // namespace

TEST_F(ServerDatabaseTest, NoFileMeansEmptyTablesAndNoFileUntilTheFirstSave) {
    ASSERT_EQ(restart(kAddress, dir_), 0);
    const std::string expected = dir_ + "/" + kBaseName;
    EXPECT_EQ(server_state().database_file, expected);
    EXPECT_EQ(server_state().temporary_file, expected + ".tmp");
    EXPECT_TRUE(common_models().empty());
    EXPECT_FALSE(file_exists(expected));

    ASSERT_EQ(write_database_file(), 0);
    EXPECT_TRUE(file_exists(expected));
    EXPECT_FALSE(file_exists(expected + ".tmp"));
}

TEST_F(ServerDatabaseTest, SavedFileHasTheHeaderAndTwoMarkedParts) {
    const std::string bytes = saved_file_with_one_model();
    ASSERT_GE(bytes.size(), 26u);
    EXPECT_EQ(bytes.substr(0, 18), "KorvexServer  1.02");
    EXPECT_EQ(bytes.substr(bytes.size() - 4), kEndMark);

    // Walk the parts: old_common_model_101 (empty), mark, common_model, mark, end.
    FILE* in = tool_fopen(server_state().database_file.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    ASSERT_EQ(fseek(in, 18, SEEK_SET), 0);
    char mark[4];
    ASSERT_EQ(dbv_readtable(in, dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101)), 0);
    ASSERT_EQ(tool_fread(mark, 1, 4, in), 4u);
    EXPECT_EQ(std::string(mark, 4), kEndMark);
    ASSERT_EQ(dbv_readtable(in, dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL)), 0);
    ASSERT_EQ(tool_fread(mark, 1, 4, in), 4u);
    EXPECT_EQ(std::string(mark, 4), kEndMark);
    EXPECT_EQ(fgetc(in), EOF);
    tool_fclose(in);

    // And the server reads back what it wrote.
    ASSERT_EQ(restart("x", dir_), 0);  // other address: same directory, other file
    server_state().database_file = temp_path("test.db");
    ASSERT_EQ(read_database_file(), 0);
    auto rows = common_models();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_STREQ(rows[0].name, "Plant");
    EXPECT_EQ(rows[0].db_number, 3);
    EXPECT_EQ(rows[0].maxid, 501);
    EXPECT_EQ(rows[0].ga_id, 7);
    EXPECT_EQ(rows[0].multi_drawing_id, 9);
}

TEST_F(ServerDatabaseTest, Version101FileIsConvertedAndSavedAs102) {
    old_common_model_101_row old{};
    srv_copy_text(old.name, "Bridge");
    old.db_number = 2;
    old.maxid = 4242;
    dbv_tablestruct* old_table = dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101);
    ASSERT_EQ(dbv_insert(old_table, &old), 0);
    const std::string file = dir_ + "/" + kBaseName;
    write_file(file, "KorvexServer  1.01" + table_block(SRV_TABLE_OLD_COMMON_MODEL_101, temp_path("b")) + kEndMark);

    CaptureStdout();
    ASSERT_EQ(restart(kAddress, dir_), 0);
    EXPECT_EQ(GetCapturedStdout(), "Converting common model table from 1.01 to 1.02 ...\n");
    auto rows = common_models();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_STREQ(rows[0].name, "Bridge");
    EXPECT_EQ(rows[0].db_number, 2);
    EXPECT_EQ(rows[0].maxid, 4242);
    EXPECT_EQ(rows[0].ga_id, 0);
    EXPECT_EQ(rows[0].multi_drawing_id, 0);
    EXPECT_EQ(dbv_getrowcount(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101)), 0);

    ASSERT_EQ(write_database_file(), 0);
    EXPECT_EQ(read_file(file).substr(0, 18), "KorvexServer  1.02");
}

TEST_F(ServerDatabaseTest, ConvertedRowThatClashesIsReportedAndTheRestGoesOn) {
    // A 1.02 file whose old part still holds a model that the new part has as well.
    old_common_model_101_row old{};
    srv_copy_text(old.name, "Bridge");
    old.db_number = 2;
    old.maxid = 1;
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101), &old), 0);
    srv_copy_text(old.name, "Tunnel");
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101), &old), 0);
    common_model_row current = model_row("Bridge", 2, 900, 5, 6);
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &current), 0);
    write_file(dir_ + "/" + kBaseName,
               "KorvexServer  1.02" + table_block(SRV_TABLE_OLD_COMMON_MODEL_101, temp_path("a")) +
                   kEndMark + table_block(SRV_TABLE_COMMON_MODEL, temp_path("b")) + kEndMark);

    CaptureStdout();
    ASSERT_EQ(restart(kAddress, dir_), 0);
    EXPECT_EQ(GetCapturedStdout(),
              "Converting common model table from 1.01 to 1.02 ...\n"
              "Conversion of common model table from 1.01 to 1.02 failed!\n");
    auto rows = common_models();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].maxid, 900);  // the current counters win
    EXPECT_STREQ(rows[1].name, "Tunnel");
    EXPECT_EQ(dbv_getrowcount(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101)), 0);
}

TEST_F(ServerDatabaseTest, VersionAndWordRulesOfTheHeader) {
    const std::string file = dir_ + "/" + kBaseName;
    const std::string parts = saved_file_with_one_model().substr(18);

    write_file(file, "KorvexServer  1.03" + parts);
    EXPECT_NE(restart(kAddress, dir_), 0);
    write_file(file, "KorvexServex  1.02" + parts);
    EXPECT_NE(restart(kAddress, dir_), 0);
    write_file(file, "KorvexServer  none" + parts);
    EXPECT_NE(restart(kAddress, dir_), 0);

    // 1.00 is accepted, and not one table is read from it.
    write_file(file, "KorvexServer  1.00" + parts);
    EXPECT_EQ(restart(kAddress, dir_), 0);
    EXPECT_TRUE(common_models().empty());

    // 1.02 as written passes although 1.02f widened is not the double 1.02.
    write_file(file, "KorvexServer  1.02" + parts);
    EXPECT_EQ(restart(kAddress, dir_), 0);
    EXPECT_EQ(common_models().size(), 1u);
}

TEST_F(ServerDatabaseTest, DirectoryWithOrWithoutTrailingSeparatorAndTrace) {
    server_state().test_mode = true;
    const std::string expected = dir_ + "/" + kBaseName;
    for (const std::string& dir : {dir_, dir_ + "/"}) {
        server_state().database_file.clear();
        CaptureStderr();
        ASSERT_EQ(find_database_file(kAddress, dir.c_str()), 0);
        EXPECT_EQ(GetCapturedStderr(), "DB filename   : '" + expected + "'\nFull filename : '" + expected +
                                           "'\n---\nTesting database file:\n'" + expected + "'\n-> OK\n---\n");
        EXPECT_EQ(server_state().database_file, expected);
    }
    EXPECT_FALSE(file_exists(expected));  // testing left nothing behind

    ASSERT_EQ(find_database_file("tcpip:my.host,2000", dir_.c_str()), 0);
    EXPECT_EQ(server_state().database_file, dir_ + "/tcpip_my_host_2000.db");
    ASSERT_EQ(find_database_file(".a:b", dir_.c_str()), 0);  // the first character stays
    EXPECT_EQ(server_state().database_file, dir_ + "/.a_b.db");
    EXPECT_NE(find_database_file("", dir_.c_str()), 0);
}

TEST_F(ServerDatabaseTest, FallsBackToTheEnvironmentThenToTheCurrentDirectory) {
    write_file(temp_path("plain"), "a regular file, so nothing can live below it");
    const std::string unwritable = temp_path("plain/sub");
    std::filesystem::create_directories(temp_path("env"));
    std::filesystem::create_directories(temp_path("cwd"));

    setenv("QM_SERVER_DATABASE_DIRECTORY", temp_path("env").c_str(), 1);
    server_state().test_mode = true;
    CaptureStderr();
    ASSERT_EQ(find_database_file(kAddress, unwritable.c_str()), 0);
    const std::string trace = GetCapturedStderr();
    EXPECT_NE(trace.find("'" + unwritable + "/" + kBaseName + "'\n-> Could not open for writing.\n---\n"),
              std::string::npos)
        << trace;
    EXPECT_EQ(server_state().database_file, temp_path("env/") + kBaseName);

    setenv("QM_SERVER_DATABASE_DIRECTORY", (unwritable + "/deeper").c_str(), 1);
    server_state().test_mode = false;
    change_directory(temp_path("cwd"));
    ASSERT_EQ(find_database_file(kAddress, unwritable.c_str()), 0);
    EXPECT_EQ(server_state().database_file, temp_path("cwd/") + kBaseName);
    EXPECT_TRUE(std::filesystem::is_empty(temp_path("cwd")));
}

TEST_F(ServerDatabaseTest, NoUsableLocationStopsTheStartUp) {
    // A current directory that has been removed accepts no new file, not even for root.
    std::filesystem::create_directories(temp_path("gone"));
    change_directory(temp_path("gone"));
    std::filesystem::remove(temp_path("gone"));
    write_file(temp_path("plain"), "x");
    CaptureStderr();
    EXPECT_NE(restart(kAddress, temp_path("plain/sub")), 0);
    EXPECT_EQ(GetCapturedStderr(), "Fatal error: Unable to open database file!\n");
    CaptureStderr();
    EXPECT_NE(restart("", dir_), 0);
    EXPECT_EQ(GetCapturedStderr(), "Fatal error: Unable to open database file!\n");
}

TEST_F(ServerDatabaseTest, ExistingFileIsTestedWithoutChange) {
    server_state().test_mode = false;
    write_file(temp_path("keep.db"), "content");
    EXPECT_TRUE(test_database_file(temp_path("keep.db").c_str()));
    EXPECT_EQ(read_file(temp_path("keep.db")), "content");
    EXPECT_FALSE(test_database_file(dir_.c_str()));  // a directory is no file
    server_state().test_mode = true;
    CaptureStderr();
    EXPECT_FALSE(test_database_file(nullptr));
    EXPECT_EQ(GetCapturedStderr(), "---\nTesting database file:\n'NULL'\n-> Could not open for writing.\n---\n");
}

TEST_F(ServerDatabaseTest, FailedSaveReportsAndKeepsThePreviousFile) {
    const std::string good = saved_file_with_one_model();
    // A directory where the temporary file would go makes the save fail for anyone.
    std::filesystem::create_directories(server_state().temporary_file);
    CaptureStdout();
    EXPECT_NE(write_database_file(), 0);
    EXPECT_EQ(GetCapturedStdout(), "Write failed: " + server_state().database_file + "\n");
    EXPECT_EQ(read_file(server_state().database_file), good);

    server_state().database_file.clear();
    CaptureStdout();
    EXPECT_NE(write_database_file(), 0);
    EXPECT_EQ(GetCapturedStdout(), "Write failed: \n");
}

TEST_F(ServerDatabaseTest, WrongEndMarkIsReportedAndStartUpGoesOn) {
    std::string bytes = saved_file_with_one_model();
    bytes[bytes.size() - 1] = '\x01';
    write_file(server_state().database_file, bytes);
    ASSERT_EQ(dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL)), 0);
    CaptureStdout();
    EXPECT_EQ(read_database_file(), 0);
    EXPECT_EQ(GetCapturedStdout(), "Error: corrupted db file: " + server_state().database_file + "\n");
    EXPECT_EQ(common_models().size(), 1u);  // the rows themselves were intact
}

TEST_F(ServerDatabaseTest, DamagedFilesNeverCrash) {
    const std::string good = saved_file_with_one_model();
    const std::string path = server_state().database_file;
    auto read_back = [&](const std::string& bytes) {
        write_file(path, bytes);
        dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
        CaptureStdout();
        int result = read_database_file();
        GetCapturedStdout();
        return result;
    };
    // Every truncation: without word and number the header fails; after it the start-up
    // goes on, and only a complete common_model part (its mark may be cut) is taken.
    for (size_t length = 0; length < good.size(); ++length) {
        int result = read_back(good.substr(0, length));
        EXPECT_EQ(result, length < 15 ? 1 : 0) << length;
        EXPECT_EQ(common_models().size(), length < good.size() - 4 ? 0u : 1u) << length;
    }
    // A header whose parts lie about their size or content, and plain noise.
    std::mt19937 random(12345);
    for (int round = 0; round < 120; ++round) {
        std::string bytes = round % 2 ? good : std::string(good.size(), '\0');
        size_t from = round % 3 ? 18 : 0;
        for (size_t i = from; i < bytes.size(); ++i)
            if (round % 2 == 0 || random() % 8 == 0) bytes[i] = static_cast<char>(random());
        if (round % 5 == 0) bytes += std::string(1000, '\xFF');
        (void)read_back(bytes);
    }
    std::string lying = "KorvexServer  1.02" + std::string(64, '\xFF');
    (void)read_back(lying);
    EXPECT_TRUE(common_models().empty());
}
