// End-to-end tests of qm_server as a process: banner, command line, database file (name,
// header, persistence across restarts and kills, deletion when the last client leaves)
// and the start-up failures with their messages and exit status.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <string>

#include "client/qm_client.h"
#include "tests/server_process.h"

namespace {

using qm::client_c;
using qm_e2e::file_exists;
using qm_e2e::read_file;

common_model_row counters(const char* model, int32_t maxid = 0, int32_t ga = 0, int32_t md = 0) {
  common_model_row row{};
  std::strncpy(row.name, model, sizeof row.name - 1);
  row.maxid = maxid;
  row.ga_id = ga;
  row.multi_drawing_id = md;
  return row;
}

int32_t maxid(client_c& client, const char* model, int32_t client_value) {
  cdb_request r;
  EXPECT_EQ(client.get_maxid(model, counters(model, client_value), r), 0);
  return r.result;
}

TEST(Lifecycle, BannerAndTheDatabaseFile) {
  qm_e2e::server_c server;
  ASSERT_TRUE(server.start());
  const std::string banner = server.process().err();
  EXPECT_EQ(banner.find("Quorvel server : " + server.address() + "\n"
                        "Version                 : 2.5\n"
                        "Database file           : " + server.database_file() + "\n"
                        "-------------------------------\n"),
            0u)
      << banner;
  EXPECT_NE(banner.find("-------------------------------\nServer started successfully.\n"),
            std::string::npos);
  EXPECT_FALSE(file_exists(server.database_file()));  // nothing allocated yet

  client_c a;
  ASSERT_EQ(a.connect(server.address(), "alice"), 0);
  EXPECT_EQ(maxid(a, "model", 500), 501);
  const std::string file = read_file(server.database_file());
  ASSERT_GE(file.size(), 26u);
  EXPECT_EQ(file.substr(0, 18), "KorvexServer  1.02");
  const std::string end_mark("\x4f\x61\xbc\x00", 4);
  EXPECT_EQ(file.substr(file.size() - 4), end_mark);
  EXPECT_NE(file.find(end_mark), file.size() - 4);  // the 1.01 part has its own end mark
  EXPECT_NE(file.find("model"), std::string::npos);
  EXPECT_FALSE(file_exists(server.database_file() + ".tmp"));
}

TEST(Lifecycle, CountersSurviveARestart) {
  qm_e2e::server_c server;
  ASSERT_TRUE(server.start());
  client_c a;
  ASSERT_EQ(a.connect(server.address(), "alice"), 0);
  EXPECT_EQ(maxid(a, "model", 500), 501);
  server.process().kill_and_wait(SIGTERM);  // alice is still connected: the file stays
  ASSERT_TRUE(server.restart()) << server.log() << server.process().err();
  client_c b;
  ASSERT_EQ(b.connect(server.address(), "bob"), 0);
  EXPECT_EQ(maxid(b, "model", 0), 601);
}

TEST(Lifecycle, KilledWithClientsConnectedContinuesItsCounters) {
  qm_e2e::server_c server;
  ASSERT_TRUE(server.start());
  client_c a, b;
  ASSERT_EQ(a.connect(server.address(), "alice"), 0);
  ASSERT_EQ(b.connect(server.address(), "bob"), 0);
  cdb_request r;
  EXPECT_EQ(maxid(a, "m1", 0), 1);
  EXPECT_EQ(maxid(b, "m1", 1), 101);
  ASSERT_EQ(a.get_ga_id("m1", counters("m1", 0, 40), r), 0);
  EXPECT_EQ(r.result, 41);
  ASSERT_EQ(b.get_multi_drawing_id("m2", counters("m2", 0, 0, 9), r), 0);
  EXPECT_EQ(r.result, 10);
  server.process().kill_and_wait(SIGKILL);
  ASSERT_TRUE(server.restart()) << server.log() << server.process().err();
  client_c c;
  ASSERT_EQ(c.connect(server.address(), "carol"), 0);
  EXPECT_EQ(maxid(c, "m1", 0), 201);
  ASSERT_EQ(c.get_ga_id("m1", counters("m1"), r), 0);
  EXPECT_EQ(r.result, 42);
  ASSERT_EQ(c.get_multi_drawing_id("m2", counters("m2"), r), 0);
  EXPECT_EQ(r.result, 11);
  // The old connections are gone: the new server counts only carol.
  ASSERT_EQ(c.get_nclients(r), 0);
  EXPECT_EQ(r.result, 1);
}

TEST(Lifecycle, TheFileGoesWithTheLastClient) {
  qm_e2e::server_c server;
  ASSERT_TRUE(server.start());
  {
    client_c a, b;
    ASSERT_EQ(a.connect(server.address(), "alice"), 0);
    ASSERT_EQ(b.connect(server.address(), "bob"), 0);
    EXPECT_EQ(maxid(a, "model", 0), 1);
    a.close();
    ASSERT_TRUE(server.wait_for_log("Client 'alice' disconnected.\n"));
    EXPECT_TRUE(file_exists(server.database_file()));
    b.close();
    ASSERT_TRUE(server.wait_for_log("Client 'bob' disconnected.\n"
                                    "No one is connected, clearing the database\n"));
    EXPECT_FALSE(file_exists(server.database_file()));
  }
  // The counters in memory stay: the next allocation writes them all again.
  client_c c;
  ASSERT_EQ(c.connect(server.address(), "carol"), 0);
  EXPECT_EQ(maxid(c, "other", 0), 1);
  EXPECT_NE(read_file(server.database_file()).find("model"), std::string::npos);
  EXPECT_EQ(maxid(c, "model", 0), 101);
}

TEST(Lifecycle, HelpVersionAndTestMode) {
  qm_e2e::temp_dir_c dir;
  std::string out, err;
  EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"--help"}, dir.path(), &out, &err), 0);
  EXPECT_NE(out.find("usage: qm_server"), std::string::npos);
  EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"--version"}, dir.path(), &out, &err), 0);
  EXPECT_EQ(out, "qm_server 2.5\n");

  qm_e2e::server_c server;
  ASSERT_TRUE(server.start({"test"}));
  const std::string traces = server.process().err();
  EXPECT_NE(traces.find("DB filename   : './tcpip_localhost_" + std::to_string(server.port()) + ".db'\n"),
            std::string::npos)
      << traces;
  EXPECT_NE(traces.find("Full filename : '" + server.database_file() + "'\n"), std::string::npos);
  EXPECT_NE(traces.find("-> OK\n"), std::string::npos);
}

TEST(Lifecycle, DatabaseDirectoryFromTheCommandLine) {
  qm_e2e::server_c server;
  qm_e2e::temp_dir_c data;
  ASSERT_TRUE(server.start({data.path()}));
  client_c a;
  ASSERT_EQ(a.connect(server.address(), "alice"), 0);
  cdb_request r;
  ASSERT_EQ(a.get_server_database_name(r), 0);
  EXPECT_EQ(std::string(r.body), data.file("tcpip_localhost_" + std::to_string(server.port()) + ".db"));
}

TEST(Lifecycle, AddressFromTheEnvironment) {
  qm_e2e::temp_dir_c dir;
  const std::string address = "tcpip:localhost," + std::to_string(qm_e2e::free_port());
  qm_e2e::process_c server;
  ASSERT_TRUE(server.start(QM_SERVER_BINARY, {}, dir.path(), "env", {"QM_SERVER=" + address},
                           {"QM_SERVER_DATABASE_DIRECTORY"}));
  ASSERT_TRUE(server.wait_for_stderr("Server started successfully.\n", 5000)) << server.out();
  EXPECT_EQ(server.err().find("Quorvel server : " + address + "\n"), 0u);
  client_c a;
  EXPECT_EQ(a.connect(address, "alice"), 0);
}

TEST(Lifecycle, StartUpFailuresExitWithOne) {
  qm_e2e::server_c running;
  ASSERT_TRUE(running.start());
  qm_e2e::temp_dir_c dir;
  std::string out, err;
  // The port is taken.
  EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"localhost", std::to_string(running.port())},
                                dir.path(), &out, &err),
            1);
  EXPECT_EQ(out, "Could not start server (error 2)\n");
  // An address the transport cannot use.
  EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {}, dir.path(), &out, &err, {"QM_SERVER=tcpip:localhost"}), 1);
  EXPECT_EQ(out, "Could not start server (error 1)\n");
  EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"localhost", "0"}, dir.path(), &out, &err), 1);
  EXPECT_EQ(out, "Could not start server (error 1)\n");
  // A database file of a newer format, or of another kind.
  const int port = qm_e2e::free_port();
  const std::string file = dir.file("tcpip_localhost_" + std::to_string(port) + ".db");
  for (const char* header : {"KorvexServer  1.03", "SomethingElse 1.02"}) {
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(header, f);
    std::fclose(f);
    EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"localhost", std::to_string(port)}, dir.path(),
                                  &out, &err),
              1);
    EXPECT_EQ(out, "Server failure\n");
    EXPECT_EQ(err, "");
  }
  // An address too long for the transport.
  EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {std::string(300, 'h')}, dir.path(), &out, &err), 1);
  EXPECT_NE(err.find("longer than 254"), std::string::npos);
}

// Slow (the server pauses 10 s before giving up, so that an operator can read why).
TEST(Lifecycle, NoUsableDatabaseLocation) {
  qm_e2e::temp_dir_c dir;
  // The longest address the server takes (254 characters) makes a file name of 257, more
  // than any folder's file system takes, so every candidate folder fails.
  const std::string host(243, 'h');
  qm_e2e::process_c server;
  ASSERT_TRUE(server.start(QM_SERVER_BINARY, {host, "1238"}, dir.path(), "nolocation"));
  EXPECT_TRUE(server.wait_for_stderr("Fatal error: Unable to open database file!\n", 5000));
  EXPECT_EQ(server.wait_exit(20000), 1);
  EXPECT_EQ(server.out(), "Server failure\n");
}

}  // namespace
