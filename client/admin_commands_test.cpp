// Tests of qm_admin's command layer that need no server: usage errors, time formatting
// and the exit code when the connection is missing. The commands against a real server
// are covered by the end-to-end tests.
#include "client/admin_commands.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <string>

namespace {

std::string read_all(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
  return text;
}

TEST(AdminCommands, UsageErrors) {
  qm::client_c client;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(qm::run_admin_command(client, {}, out, err), qm::ADMIN_USAGE);
  EXPECT_EQ(qm::run_admin_command(client, {"frobnicate"}, out, err), qm::ADMIN_USAGE);
  EXPECT_EQ(qm::run_admin_command(client, {"count"}, out, err), qm::ADMIN_USAGE);
  EXPECT_EQ(qm::run_admin_command(client, {"kick", "model"}, out, err), qm::ADMIN_USAGE);
  EXPECT_EQ(qm::run_admin_command(client, {"test", "extra"}, out, err), qm::ADMIN_USAGE);
  EXPECT_EQ(qm::run_admin_command(client, {"drawings", "user", "two"}, out, err), qm::ADMIN_USAGE);
  EXPECT_EQ(read_all(out), "");
  const std::string errors = read_all(err);
  EXPECT_NE(errors.find("qm_admin: unknown or missing command\n"), std::string::npos);
  EXPECT_NE(errors.find("qm_admin: wrong number of arguments\n"), std::string::npos);
  EXPECT_NE(errors.find("usage: qm_admin"), std::string::npos);
  std::fclose(out);
  std::fclose(err);
  EXPECT_TRUE(qm::is_admin_command("users"));
  EXPECT_FALSE(qm::is_admin_command("user"));
}

TEST(AdminCommands, WithoutConnectionTheExitSaysSo) {
  qm::client_c client;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(qm::run_admin_command(client, {"test"}, out, err), qm::ADMIN_NO_CONNECTION);
  EXPECT_EQ(qm::run_admin_command(client, {"users"}, out, err), qm::ADMIN_NO_CONNECTION);
  EXPECT_NE(read_all(err).find("request failed: no connection"), std::string::npos);
  std::fclose(out);
  std::fclose(err);
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
  if (old) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
  if (paris != "2023-11-14 22:13:20") {  // without time-zone data the zone falls back to UTC
    EXPECT_EQ(paris, "2023-11-14 23:13:20");
  }
}

}  // namespace
