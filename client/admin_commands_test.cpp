// Tests of qm_admin's command layer that need no server: usage errors, time formatting
// and the exit code when the connection is missing. The commands against a real server
// are covered by the end-to-end tests.
#include "client/admin_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>
#include <vector>

namespace {

// Runs one command on an unconnected client; returns the exit code, the texts in out/err.
int admin(const std::vector<std::string>& args, std::string* out, std::string* err) {
    qm::client_c client;
    std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
    const int code = qm::run_admin_command(client, args, files[0], files[1]);
    std::string* texts[2] = {out, err};
    for (int i = 0; i < 2; ++i) {
        std::rewind(files[i]);
        texts[i]->clear();
        for (int c; (c = std::fgetc(files[i])) != EOF;) texts[i]->push_back(static_cast<char>(c));
        std::fclose(files[i]);
    }
    return code;
}

TEST(AdminCommands, UsageErrorsAndMissingConnection) {
    const struct {
        std::vector<std::string> args;
        int code;
        const char* error;
    } cases[] = {
        {{}, qm::ADMIN_USAGE, "qm_admin: unknown or missing command\n"},
        {{"frobnicate"}, qm::ADMIN_USAGE, "qm_admin: unknown or missing command\n"},
        {{"count"}, qm::ADMIN_USAGE, "qm_admin: wrong number of arguments\n"},
        {{"kick", "model"}, qm::ADMIN_USAGE, "qm_admin: wrong number of arguments\n"},
        {{"test", "extra"},
         qm::ADMIN_USAGE,
         "qm_admin: wrong number of arguments\nusage: qm_admin"},
        {{"drawings", "user", "two"}, qm::ADMIN_USAGE, "qm_admin: STATUS must be a number\n"},
        {{"test"}, qm::ADMIN_NO_CONNECTION, "request failed: no connection"},
        {{"users"}, qm::ADMIN_NO_CONNECTION, "request failed: no connection"},
    };
    std::string out, err;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(admin(c.args, &out, &err), c.code);
        EXPECT_EQ(out, "");
        EXPECT_NE(err.find(c.error), std::string::npos) << err;
    }
    EXPECT_TRUE(qm::is_admin_command("users"));
    EXPECT_FALSE(qm::is_admin_command("user"));
}

TEST(AdminCommands, ServerTimesAsLocalTime) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(qm::format_server_time(0), "-");
    EXPECT_EQ(qm::format_server_time(1700000000), "2023-11-14 22:13:20");
    EXPECT_EQ(qm::format_server_time(-1), "1969-12-31 23:59:59");
    ::setenv("TZ", "Europe/Paris", 1);  // UTC+1 in November
    ::tzset();
    const std::string paris = qm::format_server_time(1700000000);
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    if (paris != "2023-11-14 22:13:20") {  // without time-zone data the zone falls back to UTC
        EXPECT_EQ(paris, "2023-11-14 23:13:20");
    }
}

}  // namespace
