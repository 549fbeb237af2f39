// A fixture for the file tests of the platform layer: each test gets a fresh temporary
// directory, removed afterwards, and small helpers to write and read whole files in it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class TempDirectoryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/port_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name)) << text;
    }
    std::string read(const std::string& name) const {
        std::stringstream all;
        all << std::ifstream(path(name)).rdbuf();
        return all.str();
    }
    std::string dir_;
};
