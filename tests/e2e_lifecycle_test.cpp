// End-to-end tests of qm_server as a process: banner, command line, database file (name,
// header, persistence across restarts and kills, deletion when the last client leaves)
// and the start-up failures with their messages and exit status.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "client/qm_client.h"
#include "tests/server_process.h"

namespace {

using qm::client_c;
using qm_e2e::read_file;
using qm_e2e::run_program;
using std::filesystem::exists;

// One id allocation on `model` with the client claiming `claimed`; the result.
int32_t allocate(client_c& client, uint32_t query, const char* model, int32_t claimed = 0) {
    common_model_row row{};
    std::strncpy(row.name, model, sizeof row.name - 1);
    (query == CDB_GET_MAXID   ? row.maxid
     : query == CDB_GET_GA_ID ? row.ga_id
                              : row.multi_drawing_id) = claimed;
    cdb_request r = qm::make_request(query, model);
    cdb_set_body_row(r, row);
    EXPECT_EQ(client.call(r), 0);
    return r.result;
}

TEST(Lifecycle, BannerAndTheDatabaseFile) {
    qm_e2e::server_c server;
    ASSERT_TRUE(server.start());
    const std::string banner = server.process().err();
    EXPECT_EQ(banner.find("Quorvel server : " + server.address() +
                          "\n"
                          "Version                 : 2.5\n"
                          "Database file           : " +
                          server.database_file() +
                          "\n"
                          "-------------------------------\n"),
              0u)
        << banner;
    EXPECT_NE(banner.find("-------------------------------\nServer started successfully.\n"),
              std::string::npos);
    EXPECT_FALSE(exists(server.database_file()));  // nothing allocated yet
    client_c a;
    ASSERT_EQ(a.connect(server.address(), "alice"), 0);
    EXPECT_EQ(allocate(a, CDB_GET_MAXID, "model", 500), 501);
    const std::string file = read_file(server.database_file());
    ASSERT_GE(file.size(), 26u);
    EXPECT_EQ(file.substr(0, 18), "KorvexServer  1.02");
    const std::string end_mark("\x4f\x61\xbc\x00", 4);
    EXPECT_EQ(file.substr(file.size() - 4), end_mark);
    EXPECT_NE(file.find(end_mark), file.size() - 4);  // the 1.01 part has its own end mark
    EXPECT_NE(file.find("model"), std::string::npos);
    EXPECT_FALSE(exists(server.database_file() + ".tmp"));
}

// Stopped or killed while clients are connected, the server keeps its file and the next
// one continues every counter.
TEST(Lifecycle, CountersContinueAfterTermAndKill) {
    for (int signal_number : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal_number);
        qm_e2e::server_c server;
        ASSERT_TRUE(server.start());
        client_c a, b, c;
        ASSERT_EQ(a.connect(server.address(), "alice"), 0);
        ASSERT_EQ(b.connect(server.address(), "bob"), 0);
        EXPECT_EQ(allocate(a, CDB_GET_MAXID, "m1"), 1);
        EXPECT_EQ(allocate(b, CDB_GET_MAXID, "m1", 1), 101);
        EXPECT_EQ(allocate(a, CDB_GET_GA_ID, "m1", 40), 41);
        EXPECT_EQ(allocate(b, CDB_GET_MULTI_DRAWING_ID, "m2", 9), 10);
        server.process().kill_and_wait(signal_number);
        ASSERT_TRUE(server.restart()) << server.log() << server.process().err();
        ASSERT_EQ(c.connect(server.address(), "carol"), 0);
        EXPECT_EQ(allocate(c, CDB_GET_MAXID, "m1"), 201);
        EXPECT_EQ(allocate(c, CDB_GET_GA_ID, "m1"), 42);
        EXPECT_EQ(allocate(c, CDB_GET_MULTI_DRAWING_ID, "m2"), 11);
        cdb_request r;
        ASSERT_EQ(c.get_nclients(r), 0);
        EXPECT_EQ(r.result, 1);  // the old connections are gone
    }
}

TEST(Lifecycle, TheFileGoesWithTheLastClient) {
    qm_e2e::server_c server;
    ASSERT_TRUE(server.start());
    client_c a, b, c;
    ASSERT_EQ(a.connect(server.address(), "alice"), 0);
    ASSERT_EQ(b.connect(server.address(), "bob"), 0);
    EXPECT_EQ(allocate(a, CDB_GET_MAXID, "model"), 1);
    a.close();
    ASSERT_TRUE(server.wait_for_log("Client 'alice' disconnected.\n"));
    EXPECT_TRUE(exists(server.database_file()));
    b.close();
    ASSERT_TRUE(server.wait_for_log(
        "Client 'bob' disconnected.\nNo one is connected, clearing the database\n"));
    EXPECT_FALSE(exists(server.database_file()));
    // The counters in memory stay: the next allocation writes them all again.
    ASSERT_EQ(c.connect(server.address(), "carol"), 0);
    EXPECT_EQ(allocate(c, CDB_GET_MAXID, "other"), 1);
    EXPECT_NE(read_file(server.database_file()).find("model"), std::string::npos);
    EXPECT_EQ(allocate(c, CDB_GET_MAXID, "model"), 101);
}

TEST(Lifecycle, HelpVersionTestModeAndDatabaseDirectory) {
    qm_e2e::temp_dir_c dir;
    std::string out, err;
    EXPECT_EQ(run_program(QM_SERVER_BINARY, {"--help"}, dir.path(), &out, &err), 0);
    EXPECT_NE(out.find("usage: qm_server"), std::string::npos);
    EXPECT_EQ(run_program(QM_SERVER_BINARY, {"--version"}, dir.path(), &out, &err), 0);
    EXPECT_EQ(out, "qm_server 2.5\n");

    qm_e2e::server_c server;
    ASSERT_TRUE(server.start({"test"}));
    for (const std::string& trace :
         {"DB filename   : './tcpip_localhost_" + std::to_string(server.port()) + ".db'\n",
          "Full filename : '" + server.database_file() + "'\n", std::string("-> OK\n")})
        EXPECT_NE(server.process().err().find(trace), std::string::npos)
            << trace << server.process().err();

    ASSERT_TRUE(server.start({dir.path()}));
    client_c a;
    ASSERT_EQ(a.connect(server.address(), "alice"), 0);
    cdb_request r;
    ASSERT_EQ(a.get_server_database_name(r), 0);
    EXPECT_EQ(std::string(r.body),
              dir.file("tcpip_localhost_" + std::to_string(server.port()) + ".db"));
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
    qm_e2e::temp_dir_c dir;
    // The longest address taken (254 characters) makes a file name no folder takes. The
    // server then pauses 10 s before giving up, so it runs beside the other cases.
    qm_e2e::process_c no_location;
    ASSERT_TRUE(no_location.start(QM_SERVER_BINARY, {std::string(243, 'h'), "1238"}, dir.path(),
                                  "nolocation"));
    qm_e2e::server_c running;
    ASSERT_TRUE(running.start());
    const std::string port = std::to_string(qm_e2e::free_port());
    struct {
        std::vector<std::string> args, env;
        const char* file_header;  // written to the database file first
        const char* out;
    } cases[] = {
        {{"localhost", std::to_string(running.port())},
         {},
         nullptr,
         "Could not start server (error 2)\n"},
        {{}, {"QM_SERVER=tcpip:localhost"}, nullptr, "Could not start server (error 1)\n"},
        {{"localhost", "0"}, {}, nullptr, "Could not start server (error 1)\n"},
        {{"localhost", port}, {}, "KorvexServer  1.03", "Server failure\n"},  // newer format
        {{"localhost", port}, {}, "SomethingElse 1.02", "Server failure\n"},  // another kind
    };
    std::string out, err;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        if (c.file_header != nullptr) {
            FILE* f = std::fopen(dir.file("tcpip_localhost_" + port + ".db").c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fputs(c.file_header, f);
            std::fclose(f);
        }
        EXPECT_EQ(run_program(QM_SERVER_BINARY, c.args, dir.path(), &out, &err, c.env), 1);
        EXPECT_EQ(out, c.out);
        if (c.file_header != nullptr) {
            EXPECT_EQ(err, "");
        }
    }
    EXPECT_EQ(run_program(QM_SERVER_BINARY, {std::string(300, 'h')}, dir.path(), &out, &err), 1);
    EXPECT_NE(err.find("longer than 254"), std::string::npos);

    EXPECT_TRUE(no_location.wait_for_stderr("Fatal error: Unable to open database file!\n", 5000));
    EXPECT_EQ(no_location.wait_exit(20000), 1);
    EXPECT_EQ(no_location.out(), "Server failure\n");
}

}  // namespace
