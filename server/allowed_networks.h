// The networks whose clients may connect (QM_SERVER_ALLOW, e.g.
// "127.0.0.1/32,10.1.0.0/16,::1/128"), and the refusal of every other peer with a log
// line once per address and minute. Without a list every peer may connect.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace qm {

struct allowed_network {
    int family = 4;  // 4 or 6
    uint8_t address[16] = {};
    int prefix = 0;  // leading bits that must match: 0..32 or 0..128
};

struct allowed_networks {
    std::vector<allowed_network> networks;
    // When each refused address (as text) was last logged, in seconds of a monotonic clock.
    std::unordered_map<std::string, int64_t> last_logged;
};

// Parses a comma-separated list of ADDRESS/PREFIX (spaces around items are allowed; an
// address without "/PREFIX" means the one host). true with `out->networks` filled; false
// with a readable `error` naming the bad item for an empty list, an empty item, an address
// that is neither IPv4 nor IPv6, a prefix that is not a number in range, or host bits set
// beyond the prefix (a likely typo, e.g. "10.1.2.0/8").
bool parse_allowed_networks(const std::string& text, allowed_networks* out, std::string* error);

// True when the peer (family 4 with 4 bytes, or 6 with 16, network order) lies in a listed
// network. An IPv4 peer matches IPv4 entries only, an IPv6 peer IPv6 entries only.
bool network_allows(const allowed_networks& list, int family, const uint8_t* address);

// The peer filter of the message server (`user` is the allowed_networks). A refused peer is
// logged on stdout as "Refused connection from ADDRESS: not in QM_SERVER_ALLOW" at most once
// per address and minute; `now_s` is the clock (seconds) this uses.
bool filter_peer(allowed_networks& list, int family, const uint8_t* address, int64_t now_s);

// The peer address as text ("10.1.2.3", "::1").
std::string peer_text(int family, const uint8_t* address);

}  // namespace qm
