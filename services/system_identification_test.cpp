// Tests of the system identification: file hashes as sha1sum prints them, unreadable
// files, the choice of the identifying interface, and the facts read from a folder laid
// out like the system's and from the running system.
#include "services/system_identification.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "services/system_identification_internal.h"

namespace {

namespace fs = std::filesystem;

class HashFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(::testing::TempDir()) / ("hash_" + std::to_string(getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const char* name, const std::string& bytes) {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    // Byte i is (31 i + i / 4096) mod 256: no period that a buffer size could hide.
    static std::string Pattern(size_t size) {
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 4096) & 0xff);
        return bytes;
    }
    fs::path dir_;
};

TEST_F(HashFileTest, AgreesWithSha1sum) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* sha1sum;  // as `sha1sum` prints it for the same bytes
    };
    const Case cases[] = {
        {"empty", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"one_piece", Pattern(64 * 1024), "34b9b40b50c4bf7cc16dc9caf3565fd8427dda7c"},
        {"five_mib", Pattern(5 * 1024 * 1024 + 123), "378c53e78a08ee8b9de68ddbfd41b31aeb274f68"},
    };
    for (const Case& c : cases) {
        std::string digest = "old";
        EXPECT_TRUE(tools::HashFile(Write(c.name, c.bytes), &digest)) << c.name;
        EXPECT_EQ(digest, c.sha1sum) << c.name;
    }
}

TEST_F(HashFileTest, UnreadableFilesFailAndLeaveTheDigestAlone) {
    // A named pipe without a writer would block an ordinary open for ever.
    const std::string fifo = (dir_ / "pipe").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string unreadable[] = {(dir_ / "missing").string(), dir_.string(), "",
                                      "/proc/self/mem", fifo};
    for (const std::string& path : unreadable) {
        std::string digest = "kept";
        EXPECT_FALSE(tools::HashFile(path, &digest)) << path;
        EXPECT_EQ(digest, "kept") << path;
    }
}

port_interface_s Interface(const char* name, bool up, bool loopback, const char* ipv4,
                           const char* ipv6 = "") {
    port_interface_s item;
    item.name = name;
    item.up = up;
    item.loopback = loopback;
    item.ipv4 = ipv4;
    item.ipv6 = ipv6;
    return item;
}

TEST(IdentifyingInterface, DefaultRouteFirstThenAnyUpThenLoopback) {
    const port_interface_s lo = Interface("lo", true, true, "127.0.0.1");
    const port_interface_s eth0 = Interface("eth0", true, false, "10.0.0.5");
    const port_interface_s eth1 = Interface("eth1", true, false, "192.168.1.7");
    const port_interface_s down = Interface("eth2", false, false, "172.16.0.1");
    const port_interface_s bare = Interface("br0", true, false, "");
    const port_interface_s v6 = Interface("wg0", true, false, "", "2001:db8::1");
    struct Case {
        std::vector<port_interface_s> list;
        const char* route;
        int expected;
    };
    const Case cases[] = {
        {{lo, eth0, eth1}, "eth1", 2},
        {{lo, eth0, eth1}, "", 1},
        {{lo, eth0, eth1}, "ppp9", 1},  // a route through an interface not listed
        {{lo, down, eth1}, "eth2", 2},  // the route's interface is down
        {{lo, bare, eth1}, "br0", 2},   // the route's interface has no address
        {{lo, down, bare}, "", 0},      // loopback only when nothing else is up
        {{bare, v6, lo}, "", 1},        // an IPv6 address counts
        {{down, bare}, "", -1},
        {{Interface("lo", false, true, "127.0.0.1")}, "", -1},
        {{}, "eth0", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(services::ChooseIdentifyingInterface(c.list, c.route), c.expected) << c.route;
    }
}

TEST(IdentifyingInterface, MacTextAndLiveAnswers) {
    const unsigned char mac[6] = {0x52, 0x54, 0x00, 0xAB, 0x0c, 0xff};
    EXPECT_EQ(services::FormatMac(mac), "52:54:00:ab:0c:ff");

    std::string address = "unset";
    if (tools::GetLocalIP(&address)) {
        in_addr v4{};
        in6_addr v6{};
        EXPECT_TRUE(inet_pton(AF_INET, address.c_str(), &v4) == 1 ||
                    inet_pton(AF_INET6, address.c_str(), &v6) == 1)
            << address;
    } else {
        EXPECT_EQ(address, "unset");
    }
    std::string text = "unset";
    if (tools::GetMac(&text)) {
        EXPECT_TRUE(std::regex_match(text, std::regex("([0-9a-f]{2}:){5}[0-9a-f]{2}"))) << text;
    } else {
        EXPECT_EQ(text, "unset");
    }
}

TEST(SysInfo, ReadsTheFactsUnderARoot) {
    const fs::path root = fs::path(::testing::TempDir()) / ("sysinfo_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "etc");
    fs::create_directories(root / "proc/sys/kernel");
    std::ofstream(root / "etc/machine-id") << "00112233445566778899aabbccddeeff\n";
    std::ofstream(root / "proc/sys/kernel/hostname") << "station-4\n";
    std::ofstream(root / "proc/cpuinfo") << "model name\t: Example CPU\n";
    std::ofstream(root / "proc/meminfo") << "MemTotal: 2048 kB\n";
    std::ofstream(root / "etc/os-release") << "PRETTY_NAME=\"Example OS 3\"\n";
    std::ofstream(root / "proc/sys/kernel/osrelease") << "9.9.9-test\n";
    const std::unique_ptr<sysSystemIdentifierInfo_i> info = services::ReadSysInfo(root.string());
    fs::remove_all(root);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetMachineId(), "00112233445566778899aabbccddeeff");
    EXPECT_EQ(info->GetHostName(), "station-4");
    EXPECT_EQ(info->GetCpuModel(), "Example CPU");
    EXPECT_EQ(info->GetMemorySize(), 2048u * 1024u);
    EXPECT_EQ(info->GetOperatingSystem(), "Example OS 3");
    EXPECT_EQ(info->GetOperatingSystemRelease(), "9.9.9-test");

    const std::unique_ptr<sysSystemIdentifierInfo_i> empty =
        services::ReadSysInfo((root / "nothing").string());
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetMachineId(), "");
    EXPECT_EQ(empty->GetMemorySize(), 0u);
}

TEST(SysInfo, TheRunningSystemHasAKernelReleaseAndMemory) {
    const std::unique_ptr<sysSystemIdentifierInfo_i> info = tools::GetSysInfo();
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(info->GetOperatingSystemRelease().empty());
    EXPECT_GT(info->GetMemorySize(), 0u);
    EXPECT_FALSE(info->GetHostName().empty());
}

}  // namespace
