// Test fixture of the server core: a fresh "ServerDatabase" with its six tables, a fresh
// server context with a stepping clock, and a private temporary directory per test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/server_rows.h"

class ServerCoreTest : public ::testing::Test {
public:
    static common_model_row model_row(const char* name, int32_t db_number, int32_t maxid,
                                      int32_t ga_id = 0, int32_t multi_drawing_id = 0);
    static drawinglocks_row drawing_body(const char* drawing, int32_t mod_id, int32_t status);

protected:
    void SetUp() override;
    void TearDown() override;

    // Chooses <dir_>/test.db as the database file without touching the disk.
    void use_database_file_in_temp_dir();
    std::string temp_path(const std::string& name) const { return dir_ + "/" + name; }

    // Writes or reads a whole file.
    static void write_file(const std::string& path, const std::string& bytes);
    static std::string read_file(const std::string& path);
    static bool file_exists(const std::string& path);

    // Rows of the server tables, in table order.
    static std::vector<common_model_row> common_models();
    static std::vector<drawinglocks_row> drawing_locks();
    static std::vector<multiusers_row> users();

    std::string dir_;       // private temporary directory, removed afterwards
    int32_t clock_ = 1000;  // the server's "now"; each reading advances it by one
};
