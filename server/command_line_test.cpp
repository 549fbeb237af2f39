// Tests of qm_server's command-line parsing.
#include "server/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

qm::server_options parse(std::vector<const char*> args, const char* env = nullptr) {
    args.insert(args.begin(), "qm_server");
    return qm::parse_command_line(static_cast<int>(args.size()), args.data(), env);
}

// Renders what the server would do with the options, to compare them in one line.
std::string outcome(const qm::server_options& o) {
    if (o.action == qm::server_action::help) return "help";
    if (o.action == qm::server_action::version) return "version";
    if (o.action == qm::server_action::bad_arguments)
        return o.error.empty() ? "bad, no text" : "bad";
    return o.address + " dir '" + o.database_directory + "'" + (o.test_mode ? " test" : "");
}

TEST(CommandLine, ArgumentsEnvironmentAndDefaults) {
    const std::string long_host(300, 'h'), long_env(255, 'e'), fitting_env(254, 'e');
    const struct {
        std::vector<const char*> args;
        const char* env;
        std::string expected;
    } cases[] = {
        {{}, nullptr, "tcpip:localhost,1238 dir ''"},
        {{}, "", "tcpip:localhost,1238 dir ''"},
        {{}, "tcpip:otherhost,77", "tcpip:otherhost,77 dir ''"},
        {{"myhost"}, "tcpip:ignored,1", "tcpip:myhost,1238 dir ''"},
        {{"myhost", "2000", "test"}, nullptr, "tcpip:myhost,2000 dir '' test"},
        {{"myhost", "2000", "/data", "test"}, nullptr, "tcpip:myhost,2000 dir '/data' test"},
        {{"myhost", "2000", "/data", "other"}, nullptr, "tcpip:myhost,2000 dir '/data'"},
        {{"myhost", "2000", "Test"}, nullptr, "tcpip:myhost,2000 dir 'Test'"},  // case-sensitive
        {{"myhost", "2000", "/data", "x", "test"}, nullptr, "tcpip:myhost,2000 dir '/data'"},
        {{"--help"}, nullptr, "help"},
        {{"--version"}, nullptr, "version"},
        {{"--help", "2000"}, nullptr, "tcpip:--help,2000 dir ''"},  // only as the single argument
        {{long_host.c_str()}, nullptr, "bad"},
        {{}, long_env.c_str(), "bad"},
        {{}, fitting_env.c_str(), fitting_env + " dir ''"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(outcome(parse(c.args, c.env)), c.expected);
    }
    EXPECT_NE(std::string(qm::usage_text()).find("usage: qm_server"), std::string::npos);
}

}  // namespace
