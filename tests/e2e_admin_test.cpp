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
  int admin(const std::vector<std::string>& args, bool with_server = true) {
    std::vector<std::string> all;
    if (with_server) all = {"--server", server_.address()};
    all.insert(all.end(), args.begin(), args.end());
    return qm_e2e::run_program(QM_ADMIN_BINARY, all, dir_.path(), &out_, &err_);
  }
  qm_e2e::server_c server_;
  qm_e2e::temp_dir_c dir_;
  qm::client_c alice_;
  std::string out_, err_;
};

TEST_F(Admin, InformationCommands) {
  EXPECT_EQ(admin({"test"}), 0);
  EXPECT_EQ(out_, "Connection works.\n");
  EXPECT_EQ(admin({"info"}), 0);
  EXPECT_EQ(out_, "Server version : 2.5\nDatabase file  : " + server_.database_file() + "\n");
  EXPECT_EQ(admin({"clients"}), 0);
  EXPECT_EQ(out_, "2\n");  // alice and the tool itself
  EXPECT_EQ(admin({"count", "M"}), 0);
  EXPECT_EQ(out_, "1\n");
  EXPECT_EQ(admin({"count", "nothing"}), 0);
  EXPECT_EQ(out_, "0\n");
  EXPECT_EQ(admin({"users"}), 0);
  EXPECT_EQ(out_.find("MODEL  USER   LOGIN"), 0u) << out_;
  EXPECT_NE(out_.find("\nM      alice  "), std::string::npos) << out_;
  EXPECT_NE(out_.find("\n1 user\n"), std::string::npos);
  EXPECT_EQ(admin({"holder", "M"}), 0);
  EXPECT_EQ(out_.find("Model M is locked by alice since "), 0u) << out_;
  EXPECT_EQ(admin({"holder", "free"}), 0);
  EXPECT_EQ(out_, "Model free is not locked.\n");
  EXPECT_EQ(admin({"drawings", "alice"}), 0);
  EXPECT_EQ(out_, "status 1: D\nstatus 2 and 3: (none)\n");
  EXPECT_EQ(admin({"drawings", "alice", "1"}), 0);
  EXPECT_EQ(out_, "status 1: D\n");
}

TEST_F(Admin, KickFreesTheModel) {
  EXPECT_EQ(admin({"kick", "M", "alice"}), 0);
  EXPECT_EQ(out_, "User alice removed from model M.\n");
  EXPECT_EQ(admin({"holder", "M"}), 0);
  EXPECT_EQ(out_, "Model M is not locked.\n");
  EXPECT_EQ(admin({"drawings", "alice", "1"}), 0);
  EXPECT_EQ(out_, "status 1: (none)\n");
}

TEST_F(Admin, ErrorExits) {
  EXPECT_EQ(admin({}), 2);
  EXPECT_NE(err_.find("no command given"), std::string::npos);
  EXPECT_EQ(admin({"bogus"}), 2);
  EXPECT_EQ(admin({"--frob", "test"}), 2);
  EXPECT_EQ(admin({"count"}), 2);
  EXPECT_EQ(admin({"drawings", "alice", "x"}), 2);
  EXPECT_EQ(admin({"--name", std::string(33, 'n'), "test"}), 2);
  EXPECT_EQ(admin({"--name", "alice", "test"}), 1);  // the name is taken
  EXPECT_NE(err_.find("duplicate client"), std::string::npos) << err_;
  EXPECT_EQ(admin({"--server", "tcpip:127.0.0.1," + std::to_string(qm_e2e::free_port()), "test"}, false), 3);
  EXPECT_NE(err_.find("qm_admin: cannot connect to tcpip:127.0.0.1,"), std::string::npos) << err_;
  EXPECT_EQ(admin({"--server", "nonsense", "test"}, false), 3);
  EXPECT_EQ(admin({"--help"}, false), 0);
  EXPECT_NE(out_.find("usage: qm_admin"), std::string::npos);
  // The address may come from QM_SERVER.
  EXPECT_EQ(qm_e2e::run_program(QM_ADMIN_BINARY, {"test"}, dir_.path(), &out_, &err_,
                                {"QM_SERVER=" + server_.address()}),
            0);
}

}  // namespace
