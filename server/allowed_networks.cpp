// Parsing and matching of the allowed client networks, and the rate-limited refusal log.
#include "server/allowed_networks.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

namespace qm {
namespace {

// Refused addresses remembered for the once-a-minute log; past this the memory starts over,
// so that a scan from many addresses cannot grow it without bound.
constexpr size_t kMaxRemembered = 4096;
constexpr int64_t kLogIntervalS = 60;

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

bool prefix_matches(const uint8_t* a, const uint8_t* b, int bits) {
    const int whole = bits / 8;
    if (std::memcmp(a, b, static_cast<size_t>(whole)) != 0) return false;
    const int rest = bits % 8;
    if (rest == 0) return true;
    const uint8_t mask = static_cast<uint8_t>(0xff00u >> rest);
    return (a[whole] & mask) == (b[whole] & mask);
}

bool parse_item(const std::string& item, allowed_network* out, std::string* error) {
    const size_t slash = item.find('/');
    const std::string host = trimmed(item.substr(0, slash));
    if (inet_pton(AF_INET, host.c_str(), out->address) == 1) {
        out->family = 4;
    } else if (inet_pton(AF_INET6, host.c_str(), out->address) == 1) {
        out->family = 6;
    } else {
        *error = "\"" + item + "\" is not an IPv4 or IPv6 address";
        return false;
    }
    const int bits = out->family == 4 ? 32 : 128;
    out->prefix = bits;
    if (slash != std::string::npos) {
        const std::string prefix = trimmed(item.substr(slash + 1));
        if (prefix.empty() || prefix.size() > 3 ||
            prefix.find_first_not_of("0123456789") != std::string::npos ||
            std::stoi(prefix) > bits) {
            *error =
                "\"" + item + "\" has a prefix length that is not 0 to " + std::to_string(bits);
            return false;
        }
        out->prefix = std::stoi(prefix);
    }
    uint8_t zero[16] = {};
    allowed_network masked = *out;
    for (int bit = out->prefix; bit < bits; ++bit)
        masked.address[bit / 8] &= static_cast<uint8_t>(~(0x80u >> (bit % 8)));
    if (std::memcmp(masked.address, out->address, sizeof zero) != 0) {
        *error = "\"" + item + "\" has address bits set beyond its prefix";
        return false;
    }
    return true;
}

}  // namespace

bool parse_allowed_networks(const std::string& text, allowed_networks* out, std::string* error) {
    out->networks.clear();
    if (trimmed(text).empty()) {
        *error = "the list of allowed networks is empty";
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string item = trimmed(text.substr(start, comma - start));
        if (item.empty()) {
            *error = "the list of allowed networks has an empty item";
            return false;
        }
        allowed_network network;
        if (!parse_item(item, &network, error)) return false;
        out->networks.push_back(network);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

bool network_allows(const allowed_networks& list, int family, const uint8_t* address) {
    for (const allowed_network& n : list.networks)
        if (n.family == family && prefix_matches(n.address, address, n.prefix)) return true;
    return false;
}

std::string peer_text(int family, const uint8_t* address) {
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(family == 4 ? AF_INET : AF_INET6, address, text, sizeof text) == nullptr)
        return "?";
    return text;
}

bool filter_peer(allowed_networks& list, int family, const uint8_t* address, int64_t now_s) {
    if (network_allows(list, family, address)) return true;
    const std::string text = peer_text(family, address);
    auto found = list.last_logged.find(text);
    if (found != list.last_logged.end() && now_s - found->second < kLogIntervalS) return false;
    if (found == list.last_logged.end() && list.last_logged.size() >= kMaxRemembered)
        list.last_logged.clear();
    list.last_logged[text] = now_s;
    std::printf("Refused connection from %s: not in QM_SERVER_ALLOW\n", text.c_str());
    return false;
}

}  // namespace qm
