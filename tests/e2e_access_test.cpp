// End-to-end tests of who may connect: QM_SERVER_ALLOW lets listed networks in, closes
// everyone else's connection at accept with one log line per address and minute, and a
// malformed list stops the start-up.
#include <gtest/gtest.h>

#include <string>

#include "client/qm_client.h"
#include "tests/server_process.h"
#include "wirelay/wrl_errors.h"

namespace {

using qm::client_c;

TEST(Access, ListedNetworksConnectAndOthersAreClosedAtAccept) {
    qm_e2e::server_c allowed;
    allowed.environment = {"QM_SERVER_ALLOW=127.0.0.0/8,::1/128"};
    ASSERT_TRUE(allowed.start());
    EXPECT_NE(allowed.process().err().find("Allowed networks        : 127.0.0.0/8,::1/128\n"),
              std::string::npos);
    client_c a;
    ASSERT_EQ(a.connect(allowed.address(), "alice"), 0);
    cdb_request r = qm::make_request(CDB_TEST_CONNECTION);
    EXPECT_EQ(a.call(r), 0);
    EXPECT_EQ(r.result, 1);

    qm_e2e::server_c strict;
    strict.environment = {"QM_SERVER_ALLOW=10.0.0.0/8"};
    ASSERT_TRUE(strict.start());
    for (int attempt = 0; attempt < 3; ++attempt) {
        client_c b;
        EXPECT_NE(b.connect(strict.address(), "bob", 2000), 0);
        EXPECT_FALSE(b.connected());
    }
    ASSERT_TRUE(strict.wait_for_log("Refused connection from "));
    const std::string log = strict.log();
    const size_t first = log.find("Refused connection from ");
    EXPECT_EQ(log.find("Refused connection from ", first + 1), std::string::npos) << log;
    EXPECT_NE(log.find(": not in QM_SERVER_ALLOW\n"), std::string::npos);
    EXPECT_EQ(log.find("Client 'bob' connected."), std::string::npos);
}

TEST(Access, AMalformedListStopsTheStartUp) {
    qm_e2e::temp_dir_c dir;
    std::string out, err;
    EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"localhost", "1"}, dir.path(), &out, &err,
                                  {"QM_SERVER_ALLOW=10.0.0.0/33"}),
              1);
    EXPECT_EQ(err,
              "qm_server: QM_SERVER_ALLOW: \"10.0.0.0/33\" has a prefix length that is not 0 "
              "to 32\n");
    EXPECT_EQ(qm_e2e::run_program(QM_SERVER_BINARY, {"localhost", "1"}, dir.path(), &out, &err,
                                  {"QM_SERVER_ALLOW="}),
              1);
    EXPECT_EQ(err, "qm_server: QM_SERVER_ALLOW: the list of allowed networks is empty\n");
}

}  // namespace
