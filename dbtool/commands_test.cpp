// qm_dbtool's commands end to end on files the test makes: create then dump compared with
// the expected text, info, a table moved out and back in, and the exit statuses of bad use.
#include "dbtool/commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

class DbtoolCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("qm_dbtool_test_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void put(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string get(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    int run(const std::vector<std::string>& args) {
        out_.str("");
        err_.str("");
        return dbtool::RunDbtool(args, out_, err_, false);
    }

    fs::path dir_;
    std::ostringstream out_;
    std::ostringstream err_;
};

const char* const kPlainDescription =
    "description Two tables\n"
    "table 10 Part framed\n"
    "column id int\n"
    "column name text 8\n"
    "column weight double\n"
    "row 1 Bolt 1.5\n"
    "row 2 \"Hex nut\" 0.25\n"
    "table 11 Empty\n"
    "column n int\n";

TEST_F(DbtoolCommands, CreateThenDumpGivesTheExpectedText) {
    put("plain.txt", kPlainDescription);
    ASSERT_EQ(run({"create", path("plain.db"), path("plain.txt")}), 0) << err_.str();
    ASSERT_EQ(run({"dump", path("plain.db"), "-o", path("plain.dump")}), 0) << err_.str();
    EXPECT_EQ(get("plain.dump"), path("plain.db") +
                                     "\n"
                                     "Two tables\n"
                                     "Table count = 2\n"
                                     "UsingDbvIds = false\n"
                                     "Domain = false\n"
                                     "\n"
                                     "    Table Part -------------------------------------\n"
                                     "    {\n"
                                     "      row\n"
                                     "      { \n"
                                     "          id = 1\n"
                                     "          name = 'Bolt'\n"
                                     "          weight = 1.500000\n"
                                     "      }\n"
                                     "      row\n"
                                     "      { \n"
                                     "          id = 2\n"
                                     "          name = 'Hex nut'\n"
                                     "          weight = 0.250000\n"
                                     "      }\n"
                                     "    }\n"
                                     "    Table Empty -------------------------------------\n"
                                     "    {\n"
                                     "    }\n");
    ASSERT_EQ(run({"dump", path("plain.db"), "--tables", "part*", "--max-rows", "1", "-o",
                   path("part.dump")}),
              0);
    const std::string part = get("part.dump");
    EXPECT_NE(part.find("Table count = 2\n"), std::string::npos);
    EXPECT_NE(part.find("      rows 2 - 2 not written\n"), std::string::npos);
    EXPECT_EQ(part.find("Table Empty"), std::string::npos);
}

TEST_F(DbtoolCommands, DomainFileKeepsEventsAndTimesAndInfoListsThem) {
    put("domain.txt",
        "description With domain\ndomain\nevent local Baseline\nevent company \"Release 1\"\n"
        "table 5 Item\ncolumn id int\nrow 1\nrow 2\n");
    ASSERT_EQ(run({"create", path("domain.db"), path("domain.txt")}), 0) << err_.str();
    ASSERT_EQ(run({"info", path("domain.db")}), 0) << err_.str();
    const std::string info = out_.str();
    EXPECT_NE(info.find("Description: With domain\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Domain: yes, dbv ids: no, incremental: no\n"), std::string::npos);
    EXPECT_NE(info.find("  5 Item: 2 rows\n"), std::string::npos);
    EXPECT_NE(info.find("Events, local: 1 events:\nBaseline/1/"), std::string::npos) << info;
    EXPECT_NE(info.find("Events, company: 1 events:\nRelease 1/2/"), std::string::npos);
    ASSERT_EQ(run({"dump", path("domain.db"), "-o", path("domain.dump")}), 0) << err_.str();
    const std::string dump = get("domain.dump");
    EXPECT_NE(dump.find("Domain = true\nBytes = "), std::string::npos) << dump;
    EXPECT_NE(dump.find("      row 3/"), std::string::npos) << dump;  // rows carry their times
}

TEST_F(DbtoolCommands, TableMovesOutAndBackIn) {
    put("plain.txt", kPlainDescription);
    ASSERT_EQ(run({"create", path("plain.db"), path("plain.txt")}), 0);
    ASSERT_EQ(run({"table-dump", path("plain.db"), "Part", "-o", path("part.txt")}), 0);
    std::string text = get("part.txt");
    const size_t at = text.find("'Bolt'");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 6, "'Screw'");
    put("part.txt", text);
    ASSERT_EQ(run({"table-load", path("plain.db"), "10", path("part.txt")}), 0) << err_.str();
    ASSERT_EQ(run({"table-dump", path("plain.db"), "10", "-o", path("again.txt")}), 0);
    EXPECT_EQ(get("again.txt"), text);

    // A damaged text leaves the database file as it was.
    const std::string before = get("plain.db");
    put("bad.txt", text.substr(0, text.size() / 2));
    EXPECT_EQ(run({"table-load", path("plain.db"), "Part", path("bad.txt")}), 1);
    EXPECT_EQ(get("plain.db"), before);
    EXPECT_EQ(run({"table-load", path("plain.db"), "Empty", path("part.txt")}), 1);
    EXPECT_EQ(err_.str(), "qm_dbtool: " + path("part.txt") + ": no block of table Empty\n");
}

TEST_F(DbtoolCommands, BadUseAndBadFilesGiveTheirExitStatus) {
    EXPECT_EQ(run({}), 2);
    EXPECT_EQ(run({"frobnicate"}), 2);
    EXPECT_EQ(run({"dump"}), 2);
    EXPECT_EQ(run({"dump", "x", "--bogus", "1"}), 2);
    EXPECT_EQ(run({"dump", "x", "--max-rows", "many"}), 2);
    EXPECT_EQ(run({"info", "--help"}), 0);
    EXPECT_EQ(out_.str().rfind("usage: qm_dbtool info FILE\n", 0), 0u);
    EXPECT_EQ(run({"--help"}), 0);

    put("junk.db", "not a database file at all");
    EXPECT_EQ(run({"info", path("junk.db")}), 1);
    EXPECT_EQ(err_.str(), "qm_dbtool: " + path("junk.db") + ": not a qm_dbtool database file\n");
    EXPECT_EQ(run({"info", path("missing.db")}), 1);
    EXPECT_EQ(err_.str(), "qm_dbtool: " + path("missing.db") + ": No such file or directory\n");
    EXPECT_EQ(run({"dump", path("missing.db")}), 1);
    put("bad.txt", "table 1 T\ncolumn a int\nrow x\n");
    EXPECT_EQ(run({"create", path("new.db"), path("bad.txt")}), 1);
    EXPECT_EQ(err_.str(),
              "qm_dbtool: " + path("bad.txt") + ": line 3: column a: 'x' is no 32-bit integer\n");
    EXPECT_FALSE(fs::exists(path("new.db")));
}

}  // namespace
