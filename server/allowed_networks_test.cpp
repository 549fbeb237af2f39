// Tests of the allowed client networks: what the list accepts and refuses, which peers
// match, and the once-a-minute refusal log.
#include "server/allowed_networks.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using qm::allowed_networks;

// The peer as the message server reports it.
struct peer {
    int family;
    uint8_t bytes[16];
};
peer peer_of(const char* text) {
    peer p{4, {}};
    if (inet_pton(AF_INET, text, p.bytes) != 1) {
        p.family = 6;
        EXPECT_EQ(inet_pton(AF_INET6, text, p.bytes), 1) << text;
    }
    return p;
}

TEST(AllowedNetworks, ListsAreParsedOrRefusedWithTheBadItemNamed) {
    const struct {
        const char* text;
        size_t networks;      // when accepted
        const char* problem;  // part of the error when refused; null: accepted
    } cases[] = {
        {"127.0.0.1/32,10.1.0.0/16,::1/128", 3, nullptr},
        {" 192.168.0.0/24 , fe80::/10 ", 2, nullptr},
        {"10.0.0.7", 1, nullptr},  // one host
        {"0.0.0.0/0", 1, nullptr},
        {"", 0, "empty"},
        {"  ", 0, "empty"},
        {"10.0.0.0/8,", 0, "empty item"},
        {"10.0.0.0/8,,::1", 0, "empty item"},
        {"localhost/32", 0, "\"localhost/32\" is not an IPv4 or IPv6 address"},
        {"10.0.0/8", 0, "not an IPv4 or IPv6"},
        {"10.0.0.0/33", 0, "prefix length that is not 0 to 32"},
        {"::1/129", 0, "not 0 to 128"},
        {"10.0.0.0/", 0, "prefix length"},
        {"10.0.0.0/-1", 0, "prefix length"},
        {"10.0.0.0/8x", 0, "prefix length"},
        {"10.0.0.0/0008", 0, "prefix length"},
        {"10.1.2.0/8", 0, "\"10.1.2.0/8\" has address bits set beyond its prefix"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        allowed_networks list;
        std::string error;
        const bool ok = qm::parse_allowed_networks(c.text, &list, &error);
        EXPECT_EQ(ok, c.problem == nullptr) << error;
        if (c.problem == nullptr) {
            EXPECT_EQ(list.networks.size(), c.networks);
        } else {
            EXPECT_NE(error.find(c.problem), std::string::npos) << error;
        }
    }
}

TEST(AllowedNetworks, PeersMatchTheirOwnFamilyWithinThePrefix) {
    allowed_networks list;
    std::string error;
    ASSERT_TRUE(qm::parse_allowed_networks("127.0.0.1/32,10.1.0.0/16,172.16.0.0/12,2001:db8::/33",
                                           &list, &error));
    const struct {
        const char* peer;
        bool allowed;
    } cases[] = {
        {"127.0.0.1", true},        {"127.0.0.2", false},       {"10.1.255.255", true},
        {"10.2.0.1", false},        {"172.31.9.9", true},       {"172.32.0.1", false},
        {"2001:db8:7fff::1", true}, {"2001:db8:8000::", false}, {"::1", false},
        {"::ffff:10.1.0.1", false},  // the server reports mapped peers as IPv4
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.peer);
        const peer p = peer_of(c.peer);
        EXPECT_EQ(qm::network_allows(list, p.family, p.bytes), c.allowed);
    }
    ASSERT_TRUE(qm::parse_allowed_networks("0.0.0.0/0", &list, &error));
    EXPECT_TRUE(qm::network_allows(list, 4, peer_of("203.0.113.9").bytes));
    EXPECT_FALSE(qm::network_allows(list, 6, peer_of("::1").bytes));
}

TEST(AllowedNetworks, ARefusedAddressIsLoggedOncePerMinute) {
    allowed_networks list;
    std::string error;
    ASSERT_TRUE(qm::parse_allowed_networks("10.0.0.0/8", &list, &error));
    const peer stranger = peer_of("192.0.2.1");
    const peer other = peer_of("2001:db8::5");
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(qm::filter_peer(list, 4, peer_of("10.9.9.9").bytes, 100));
    EXPECT_FALSE(qm::filter_peer(list, 4, stranger.bytes, 100));
    EXPECT_FALSE(qm::filter_peer(list, 4, stranger.bytes, 159));
    EXPECT_FALSE(qm::filter_peer(list, 6, other.bytes, 159));
    EXPECT_FALSE(qm::filter_peer(list, 4, stranger.bytes, 160));
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Refused connection from 192.0.2.1: not in QM_SERVER_ALLOW\n"
              "Refused connection from 2001:db8::5: not in QM_SERVER_ALLOW\n"
              "Refused connection from 192.0.2.1: not in QM_SERVER_ALLOW\n");
}

TEST(AllowedNetworks, TheRefusalMemoryStaysBounded) {
    allowed_networks list;
    std::string error;
    ASSERT_TRUE(qm::parse_allowed_networks("::1", &list, &error));
    ::testing::internal::CaptureStdout();
    for (uint32_t i = 0; i < 10000; ++i) {
        uint8_t bytes[4] = {198, 18, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i)};
        qm::filter_peer(list, 4, bytes, 0);
    }
    ::testing::internal::GetCapturedStdout();
    EXPECT_LE(list.last_logged.size(), 4096u);
}

}  // namespace
