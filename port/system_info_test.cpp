// Tests of the system facts: the default-route parser on real and hostile tables, the
// identification files read from a folder laid out like the system's, size caps, and the
// live interface list.
#include "port/system_info.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const char kHeading[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(DefaultRoute, ParsesTheKernelTable) {
    struct Case {
        const char* body;
        const char* expected;
    };
    const Case cases[] = {
        // A typical table: a default route through eth0 and a link route.
        {"eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
         "eth0"},
        // Two defaults: the lower metric wins, whatever the order.
        {"wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
         "eth1\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "eth1"},
        // A default route that is down does not count.
        {"eth0\t00000000\t0100A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n", ""},
        // No default route at all.
        {"eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n", ""},
        // Hostile lines: too few fields, non-hex numbers, a negative metric, an overlong
        // interface name; the one sound line still wins.
        {"eth0\t00000000\n"
         "eth0\tZZZZZZZZ\t0100A8C0\t0003\t0\t0\t100\t00000000\n"
         "eth0\t00000000\t0100A8C0\t0003\t0\t0\t-5\t00000000\n"
         "averyveryverylongname0\t00000000\t0\t0003\t0\t0\t1\t00000000\n"
         "ens3\t00000000\t0100A8C0\t0003\t0\t0\t7\t00000000\n",
         "ens3"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(port_default_route_interface_from(std::string(kHeading) + c.body), c.expected)
            << c.body;
    }
    // The first line is a heading even when it looks like a route.
    EXPECT_EQ(port_default_route_interface_from(
                  "eth9\t00000000\t0100A8C0\t0003\t0\t0\t1\t00000000\t0\t0\t0\n"),
              "");
}

class FactsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::path(::testing::TempDir()) /
                ("facts_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        for (const char* dir : {"etc", "var/lib/dbus", "proc/sys/kernel", "usr/lib"})
            fs::create_directories(root_ / dir);
    }
    void TearDown() override { fs::remove_all(root_); }
    void Write(const char* relative, const std::string& text) {
        std::ofstream(root_ / relative, std::ios::binary) << text;
    }
    port_machine_facts_s Read() {
        port_machine_facts_s facts;
        facts.host_name = "stale";  // every field is replaced, also by an empty one
        port_read_machine_facts(root_.string(), &facts);
        return facts;
    }
    fs::path root_;
};

TEST_F(FactsTest, ReadsEveryFactFromItsFile) {
    Write("etc/machine-id", "0123456789abcdef0123456789ABCDEF\n");
    Write("proc/sys/kernel/hostname", "  build-host-7 \n");
    Write("proc/cpuinfo",
          "processor\t: 0\nvendor_id\t: Example\nmodel name\t: Example CPU 3000 @ 2.00GHz\n"
          "\nprocessor\t: 1\nmodel name\t: Other CPU\n");
    Write("proc/meminfo", "MemTotal:       16318128 kB\nMemFree:         1000 kB\n");
    Write("etc/os-release",
          "NAME=\"Example\"\nPRETTY_NAME=\"Example \\\"Linux\\\" 12 (book)\"\nID=example\n");
    Write("proc/sys/kernel/osrelease", "6.1.0-17-amd64\n");
    const port_machine_facts_s f = Read();
    EXPECT_EQ(f.machine_id, "0123456789abcdef0123456789ABCDEF");
    EXPECT_EQ(f.host_name, "build-host-7");
    EXPECT_EQ(f.cpu_model, "Example CPU 3000 @ 2.00GHz");
    EXPECT_EQ(f.memory_bytes, 16318128ull * 1024);
    EXPECT_EQ(f.operating_system, "Example \"Linux\" 12 (book)");
    EXPECT_EQ(f.kernel_release, "6.1.0-17-amd64");
}

TEST_F(FactsTest, FallsBackToTheSecondFiles) {
    Write("etc/machine-id", "not-an-id\n");
    Write("var/lib/dbus/machine-id", "fedcba9876543210fedcba9876543210");
    Write("etc/hostname", "quiet\n");
    Write("proc/cpuinfo", "Processor\t: ARMv7\nHardware\t: Example Board\n");
    Write("usr/lib/os-release", "PRETTY_NAME='Single Quoted 1'\n");
    const port_machine_facts_s f = Read();
    EXPECT_EQ(f.machine_id, "fedcba9876543210fedcba9876543210");
    EXPECT_EQ(f.host_name, "quiet");
    EXPECT_EQ(f.cpu_model, "Example Board");
    EXPECT_EQ(f.operating_system, "Single Quoted 1");
    EXPECT_EQ(f.memory_bytes, 0u);
    EXPECT_EQ(f.kernel_release, "");
}

TEST_F(FactsTest, MalformedOrMissingFilesLeaveFactsEmpty) {
    Write("etc/machine-id", "0123456789abcdef0123456789abcdeg\n");  // 'g' is not hex
    Write("proc/sys/kernel/hostname", std::string(300, 'h'));       // overlong
    Write("etc/hostname", "bad\x01name\n");                         // control character
    Write("proc/cpuinfo", "model name\t:\n");                       // empty value
    Write("proc/meminfo", "MemTotal: 99999999999999999999 kB\n");   // overflows
    Write("etc/os-release", "PRETTY_NAME=\n");
    const port_machine_facts_s f = Read();
    EXPECT_EQ(f.machine_id, "");
    EXPECT_EQ(f.host_name, "");
    EXPECT_EQ(f.cpu_model, "");
    EXPECT_EQ(f.memory_bytes, 0u);
    EXPECT_EQ(f.operating_system, "");

    Write("proc/meminfo", "MemTotal: 18014398509481984 kB\n");  // times 1024 overflows
    EXPECT_EQ(Read().memory_bytes, 0u);
    Write("proc/meminfo", "MemTotal: 12 MB\n");  // unknown unit
    EXPECT_EQ(Read().memory_bytes, 0u);
}

TEST_F(FactsTest, SmallFileReadRefusesDirectoriesMissingAndOversizedFiles) {
    Write("etc/data", "abcdef");
    std::string text = "kept";
    EXPECT_FALSE(port_read_small_file((root_ / "etc/data").string(), 5, &text));
    EXPECT_EQ(text, "kept");
    EXPECT_FALSE(port_read_small_file((root_ / "etc").string(), 100, &text));
    EXPECT_FALSE(port_read_small_file((root_ / "missing").string(), 100, &text));
    EXPECT_EQ(text, "kept");
    EXPECT_TRUE(port_read_small_file((root_ / "etc/data").string(), 6, &text));
    EXPECT_EQ(text, "abcdef");
}

TEST(Interfaces, TheLiveListHasNamedInterfacesAndWellFormedAddresses) {
    std::vector<port_interface_s> list(1);
    ASSERT_TRUE(port_list_interfaces(&list));
    ASSERT_FALSE(list.empty());  // at least the loopback interface
    bool loopback = false;
    for (const port_interface_s& item : list) {
        EXPECT_FALSE(item.name.empty());
        if (item.loopback && item.ipv4 == "127.0.0.1") loopback = true;
        if (!item.ipv4.empty()) {
            in_addr parsed{};
            EXPECT_EQ(inet_pton(AF_INET, item.ipv4.c_str(), &parsed), 1) << item.ipv4;
        }
    }
    EXPECT_TRUE(loopback);
    const std::string route = port_default_route_interface();
    if (!route.empty()) {
        bool listed = false;
        for (const port_interface_s& item : list) listed = listed || item.name == route;
        EXPECT_TRUE(listed) << route;
    }
}

}  // namespace
