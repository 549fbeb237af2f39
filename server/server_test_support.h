// Test fixture of the server core: a fresh "ServerDatabase" with its six tables, a fresh
// server context with a stepping clock, a private temporary directory per test, and
// compact text renderings of the server tables so that tests compare whole rows at once.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "server/server_rows.h"

class ServerCoreTest : public ::testing::Test {
  public:
    static common_model_row model_row(const char* name, int32_t db_number, int32_t maxid,
                                      int32_t ga_id = 0, int32_t multi_drawing_id = 0);
    static drawinglocks_row drawing_body(const char* drawing, int32_t mod_id, int32_t status);
    // Runs `action` and returns what it printed on standard output.
    static std::string stdout_of(const std::function<void()>& action);
    // One row as text:
    //   common_model  "name/db_number maxid ga_id multi_drawing_id"
    //   multiusers    "ModelName/UserName LoginTime LastAccessTime LastSaveTime LockedTime"
    //   drawinglocks  "ModelName/DrawingName/UserName ModId LockStatus TimeStamp"
    static std::string text_of(const common_model_row& row);
    static std::string text_of(const multiusers_row& row);
    static std::string text_of(const drawinglocks_row& row);

  protected:
    void SetUp() override;
    void TearDown() override;

    // Chooses <dir_>/test.db as the database file without touching the disk.
    void use_database_file_in_temp_dir();
    std::string temp_path(const std::string& name) const { return dir_ + "/" + name; }

    static void write_file(const std::string& path, const std::string& bytes);
    static std::string read_file(const std::string& path);
    static bool file_exists(const std::string& path);

    // The rows of a server table in table order, as text, "; "-separated.
    static std::string models();
    static std::string users();
    static std::string drawing_locks();

    std::string dir_;       // private temporary directory, removed afterwards
    int32_t clock_ = 1000;  // the server's "now"; each reading advances it by one
};
