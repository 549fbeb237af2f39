// The database file: choice of its location, the start-up read with its version rules
// and the 1.01 conversion, the save, and hostile file contents.
#include "server/server_database.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "outside/base_tools.h"
#include "outside/table_store.h"
#include "server/server_state.h"
#include "server/server_tables.h"
#include "server/server_test_support.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const std::string kEndMark("\x4F\x61\xBC\x00", 4);
const char* kAddress = "tcpip:localhost,1238";
const char* kBaseName = "tcpip_localhost_1238.db";

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

    // Serialises one table the way the store writes it into a file part.
    std::string table_block(int32_t table_number) {
        FILE* out = tool_fopen(temp_path("block").c_str(), "wb");
        EXPECT_NE(out, nullptr);
        EXPECT_EQ(dbv_writetable(out, dbd_getvirtualtablepointer(table_number)), 0);
        tool_fclose(out);
        return read_file(temp_path("block"));
    }

    static void insert_old_model(const char* name, int32_t db_number, int32_t maxid) {
        old_common_model_101_row old{};
        srv_copy_text(old.name, name);
        old.db_number = db_number;
        old.maxid = maxid;
        ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101), &old), 0);
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

int old_rows() {
    return dbv_getrowcount(dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101));
}

}  // namespace

TEST_F(ServerDatabaseTest, NoFileMeansEmptyTablesUntilTheFirstSaveWritesTheMarkedParts) {
    ASSERT_EQ(restart(kAddress, dir_), 0);
    const std::string expected = dir_ + "/" + kBaseName;
    EXPECT_EQ(server_state().database_file, expected);
    EXPECT_EQ(server_state().temporary_file, expected + ".tmp");
    EXPECT_EQ(models(), "");
    EXPECT_FALSE(file_exists(expected));

    common_model_row row = model_row("Plant", 3, 501, 7, 9);
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &row), 0);
    ASSERT_EQ(write_database_file(), 0);
    EXPECT_FALSE(file_exists(expected + ".tmp"));
    EXPECT_EQ(read_file(expected), "KorvexServer  1.02" +
                                       table_block(SRV_TABLE_OLD_COMMON_MODEL_101) + kEndMark +
                                       table_block(SRV_TABLE_COMMON_MODEL) + kEndMark);
    ASSERT_EQ(restart(kAddress, dir_), 0);  // and the start-up reads back what was written
    EXPECT_EQ(models(), "Plant/3 501 7 9");
}

TEST_F(ServerDatabaseTest, Version101FileIsConvertedAndSavedAs102) {
    insert_old_model("Bridge", 2, 4242);
    const std::string file = dir_ + "/" + kBaseName;
    write_file(file, "KorvexServer  1.01" + table_block(SRV_TABLE_OLD_COMMON_MODEL_101) + kEndMark);
    EXPECT_EQ(stdout_of([&] { ASSERT_EQ(restart(kAddress, dir_), 0); }),
              "Converting common model table from 1.01 to 1.02 ...\n");
    EXPECT_EQ(models(), "Bridge/2 4242 0 0");
    EXPECT_EQ(old_rows(), 0);
    ASSERT_EQ(write_database_file(), 0);
    EXPECT_EQ(read_file(file).substr(0, 18), "KorvexServer  1.02");
}

TEST_F(ServerDatabaseTest, ConvertedRowThatClashesIsReportedAndTheRestGoesOn) {
    // A 1.02 file whose old part still holds a model that the new part has as well.
    insert_old_model("Bridge", 2, 1);
    insert_old_model("Tunnel", 2, 1);
    common_model_row current = model_row("Bridge", 2, 900, 5, 6);
    ASSERT_EQ(dbv_insert(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL), &current), 0);
    write_file(dir_ + "/" + kBaseName, "KorvexServer  1.02" +
                                           table_block(SRV_TABLE_OLD_COMMON_MODEL_101) + kEndMark +
                                           table_block(SRV_TABLE_COMMON_MODEL) + kEndMark);
    EXPECT_EQ(stdout_of([&] { ASSERT_EQ(restart(kAddress, dir_), 0); }),
              "Converting common model table from 1.01 to 1.02 ...\n"
              "Conversion of common model table from 1.01 to 1.02 failed!\n");
    EXPECT_EQ(models(), "Bridge/2 900 5 6; Tunnel/2 1 0 0");  // the current counters win
    EXPECT_EQ(old_rows(), 0);
}

TEST_F(ServerDatabaseTest, VersionAndWordRulesOfTheHeader) {
    const std::string parts = saved_file_with_one_model().substr(18);
    const struct {
        const char* header;
        bool accepted;
        const char* models;
    } cases[] = {
        {"KorvexServer  1.03", false, ""},
        {"KorvexServex  1.02", false, ""},
        {"KorvexServer  none", false, ""},
        {"KorvexServer  1.00", true, ""},                 // accepted, and not one table is read
        {"KorvexServer  1.02", true, "Plant/3 501 7 9"},  // although 1.02f widened != 1.02
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.header);
        write_file(dir_ + "/" + kBaseName, c.header + parts);
        EXPECT_EQ(restart(kAddress, dir_) == 0, c.accepted);
        if (c.accepted) {
            EXPECT_EQ(models(), c.models);
        }
    }
}

TEST_F(ServerDatabaseTest, DirectoryWithOrWithoutTrailingSeparatorAndTrace) {
    server_state().test_mode = true;
    const std::string expected = dir_ + "/" + kBaseName;
    for (const std::string& dir : {dir_, dir_ + "/"}) {
        server_state().database_file.clear();
        CaptureStderr();
        ASSERT_EQ(find_database_file(kAddress, dir.c_str()), 0);
        EXPECT_EQ(GetCapturedStderr(), "DB filename   : '" + expected + "'\nFull filename : '" +
                                           expected + "'\n---\nTesting database file:\n'" +
                                           expected + "'\n-> OK\n---\n");
        EXPECT_EQ(server_state().database_file, expected);
    }
    EXPECT_FALSE(file_exists(expected));  // testing left nothing behind
    server_state().test_mode = false;
    for (auto [address, base] : {std::pair{"tcpip:my.host,2000", "tcpip_my_host_2000.db"},
                                 {".a:b", ".a_b.db"}}) {  // the first character stays
        ASSERT_EQ(find_database_file(address, dir_.c_str()), 0);
        EXPECT_EQ(server_state().database_file, dir_ + "/" + base);
    }
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
    EXPECT_NE(
        trace.find("'" + unwritable + "/" + kBaseName + "'\n-> Could not open for writing.\n---\n"),
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
    for (const std::string& directory : {temp_path("plain/sub"), dir_}) {
        CaptureStderr();
        EXPECT_NE(restart(directory == dir_ ? "" : kAddress, directory), 0);
        EXPECT_EQ(GetCapturedStderr(), "Fatal error: Unable to open database file!\n");
    }
}

TEST_F(ServerDatabaseTest, ExistingFileIsTestedWithoutChange) {
    write_file(temp_path("keep.db"), "content");
    EXPECT_TRUE(test_database_file(temp_path("keep.db").c_str()));
    EXPECT_EQ(read_file(temp_path("keep.db")), "content");
    EXPECT_FALSE(test_database_file(dir_.c_str()));  // a directory is no file
    server_state().test_mode = true;
    CaptureStderr();
    EXPECT_FALSE(test_database_file(nullptr));
    EXPECT_EQ(GetCapturedStderr(),
              "---\nTesting database file:\n'NULL'\n-> Could not open for writing.\n---\n");
}

TEST_F(ServerDatabaseTest, FailedSaveReportsAndKeepsThePreviousFile) {
    const std::string good = saved_file_with_one_model();
    // A directory where the temporary file would go makes the save fail for anyone.
    std::filesystem::create_directories(server_state().temporary_file);
    EXPECT_EQ(stdout_of([] { EXPECT_NE(write_database_file(), 0); }),
              "Write failed: " + server_state().database_file + "\n");
    EXPECT_EQ(read_file(server_state().database_file), good);
    server_state().database_file.clear();
    EXPECT_EQ(stdout_of([] { EXPECT_NE(write_database_file(), 0); }), "Write failed: \n");
}

TEST_F(ServerDatabaseTest, DamagedFilesNeverCrash) {
    const std::string good = saved_file_with_one_model();
    const std::string path = server_state().database_file;
    auto read_back = [&](const std::string& bytes, std::string* log = nullptr) {
        write_file(path, bytes);
        dbv_cleartable(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
        int result = 0;
        const std::string printed = stdout_of([&] { result = read_database_file(); });
        if (log) *log = printed;
        return result;
    };
    // A wrong end mark is reported, start-up goes on, and the intact rows are kept.
    std::string log, bad_mark = good;
    bad_mark.back() = '\x01';
    EXPECT_EQ(read_back(bad_mark, &log), 0);
    EXPECT_EQ(log, "Error: corrupted db file: " + path + "\n");
    EXPECT_EQ(models(), "Plant/3 501 7 9");
    // Every truncation: without word and number the header fails; after it the start-up
    // goes on, and only a complete common_model part (its mark may be cut) is taken.
    for (size_t length = 0; length < good.size(); ++length) {
        EXPECT_EQ(read_back(good.substr(0, length)), length < 15 ? 1 : 0) << length;
        EXPECT_EQ(models(), length < good.size() - 4 ? "" : "Plant/3 501 7 9") << length;
    }
    // A header whose parts lie about their size or content, and plain noise.
    std::mt19937 random(12345);
    for (int round = 0; round < 120; ++round) {
        std::string bytes = round % 2 ? good : std::string(good.size(), '\0');
        const size_t from = round % 3 ? 18 : 0;
        for (size_t i = from; i < bytes.size(); ++i)
            if (round % 2 == 0 || random() % 8 == 0) bytes[i] = static_cast<char>(random());
        if (round % 5 == 0) bytes += std::string(1000, '\xFF');
        (void)read_back(bytes);
    }
    (void)read_back("KorvexServer  1.02" + std::string(64, '\xFF'));
    EXPECT_EQ(models(), "");
}
