// End-to-end tests of qm_admin against a running qm_server: every command's output and
// the exit codes for refusals, usage errors and missing servers.
#include <gtest/gtest.h>

#include <string>

#include "client/qm_client.h"
#include "tests/server_process.h"

namespace {

class Admin : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.start());
        ASSERT_EQ(alice_.connect(server_.address(), "alice"), 0);
        cdb_request r;
        ASSERT_EQ(alice_.lock_database("M", r), 0);
        ASSERT_EQ(alice_.lock_drawing("M", "D", 1, 1, r), 0);
    }
    // "EXIT:STDOUT" of one run, against the test server unless `all` starts otherwise.
    std::string admin(const std::vector<std::string>& args, std::vector<std::string> all = {},
                      const std::vector<std::string>& env = {}) {
        if (all.empty() && env.empty()) all = {"--server", server_.address()};
        all.insert(all.end(), args.begin(), args.end());
        return std::to_string(
                   qm_e2e::run_program(QM_ADMIN_BINARY, all, dir_.path(), &out_, &err_, env)) +
               ":" + out_;
    }
    qm_e2e::server_c server_;
    qm_e2e::temp_dir_c dir_;
    qm::client_c alice_;
    std::string out_, err_;
};

TEST_F(Admin, CommandsAndKick) {
    EXPECT_EQ(admin({"test"}), "0:Connection works.\n");
    EXPECT_EQ(admin({"info"}),
              "0:Server version : 2.5\nDatabase file  : " + server_.database_file() + "\n");
    EXPECT_EQ(admin({"clients"}), "0:2\n");  // alice and the tool itself
    EXPECT_EQ(admin({"count", "M"}), "0:1\n");
    EXPECT_EQ(admin({"count", "nothing"}), "0:0\n");
    const std::string users = admin({"users"});
    EXPECT_EQ(users.find("0:MODEL  USER   LOGIN"), 0u) << users;
    EXPECT_NE(users.find("\nM      alice  "), std::string::npos) << users;
    EXPECT_NE(users.find("\n1 user\n"), std::string::npos);
    EXPECT_EQ(admin({"holder", "M"}).find("0:Model M is locked by alice since "), 0u) << out_;
    EXPECT_EQ(admin({"holder", "free"}), "0:Model free is not locked.\n");
    EXPECT_EQ(admin({"drawings", "alice"}), "0:status 1: D\nstatus 2 and 3: (none)\n");
    EXPECT_EQ(admin({"drawings", "alice", "1"}), "0:status 1: D\n");
    EXPECT_EQ(admin({"kick", "M", "alice"}), "0:User alice removed from model M.\n");
    EXPECT_EQ(admin({"holder", "M"}), "0:Model M is not locked.\n");
    EXPECT_EQ(admin({"drawings", "alice", "1"}), "0:status 1: (none)\n");
}

TEST_F(Admin, ErrorExits) {
    EXPECT_EQ(admin({}).substr(0, 2), "2:");
    EXPECT_NE(err_.find("no command given"), std::string::npos);
    for (const std::vector<std::string>& usage :
         std::vector<std::vector<std::string>>{{"bogus"},
                                               {"--frob", "test"},
                                               {"count"},
                                               {"drawings", "alice", "x"},
                                               {"--name", std::string(33, 'n'), "test"}})
        EXPECT_EQ(admin(usage).substr(0, 2), "2:") << usage[0];
    EXPECT_EQ(admin({"--name", "alice", "test"}).substr(0, 2), "1:");  // the name is taken
    EXPECT_NE(err_.find("duplicate client"), std::string::npos) << err_;
    EXPECT_EQ(
        admin({"test"}, {"--server", "tcpip:127.0.0.1," + std::to_string(qm_e2e::free_port())}),
        "3:");
    EXPECT_NE(err_.find("qm_admin: cannot connect to tcpip:127.0.0.1,"), std::string::npos) << err_;
    EXPECT_EQ(admin({"test"}, {"--server", "nonsense"}), "3:");
    EXPECT_EQ(admin({}, {"--help"}).find("0:usage: qm_admin"), 0u);
    EXPECT_EQ(admin({"test"}, {}, {"QM_SERVER=" + server_.address()}), "0:Connection works.\n");
}

}  // namespace
