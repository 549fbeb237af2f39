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

TEST(CommandLine, AddressFromArgumentsEnvironmentOrDefault) {
  EXPECT_EQ(parse({}).address, "tcpip:localhost,1238");
  EXPECT_EQ(parse({}, "").address, "tcpip:localhost,1238");
  EXPECT_EQ(parse({}, "tcpip:otherhost,77").address, "tcpip:otherhost,77");
  EXPECT_EQ(parse({"myhost"}, "tcpip:ignored,1").address, "tcpip:myhost,1238");
  EXPECT_EQ(parse({"myhost", "2000"}).address, "tcpip:myhost,2000");
  EXPECT_EQ(parse({}).action, qm::server_action::run);
}

TEST(CommandLine, ThirdAndFourthArguments) {
  auto o = parse({"myhost", "2000", "test"});
  EXPECT_TRUE(o.test_mode);
  EXPECT_EQ(o.database_directory, "");
  o = parse({"myhost", "2000", "/data", "test"});
  EXPECT_TRUE(o.test_mode);
  EXPECT_EQ(o.database_directory, "/data");
  o = parse({"myhost", "2000", "/data", "other"});
  EXPECT_FALSE(o.test_mode);
  EXPECT_EQ(o.database_directory, "/data");
  o = parse({"myhost", "2000", "Test"});  // the comparison is case-sensitive
  EXPECT_FALSE(o.test_mode);
  EXPECT_EQ(o.database_directory, "Test");
  o = parse({"myhost", "2000", "/data", "x", "test"});  // a fifth argument changes nothing
  EXPECT_FALSE(o.test_mode);
  EXPECT_EQ(o.address, "tcpip:myhost,2000");
}

TEST(CommandLine, HelpAndVersionOnlyAsTheSingleArgument) {
  EXPECT_EQ(parse({"--help"}).action, qm::server_action::help);
  EXPECT_EQ(parse({"--version"}).action, qm::server_action::version);
  auto o = parse({"--help", "2000"});
  EXPECT_EQ(o.action, qm::server_action::run);
  EXPECT_EQ(o.address, "tcpip:--help,2000");
  EXPECT_NE(std::string(qm::usage_text()).find("usage: qm_server"), std::string::npos);
}

TEST(CommandLine, OverlongAddressIsRefused) {
  std::string host(300, 'h');
  auto o = parse({host.c_str()});
  EXPECT_EQ(o.action, qm::server_action::bad_arguments);
  EXPECT_FALSE(o.error.empty());
  std::string env(255, 'e');
  EXPECT_EQ(parse({}, env.c_str()).action, qm::server_action::bad_arguments);
  std::string fits(254, 'e');
  EXPECT_EQ(parse({}, fits.c_str()).action, qm::server_action::run);
}

}  // namespace
