// Address parsing. Only the TCP/IP interface has an address syntax; the serial
// interface is opened by other means.
#include "wirelay/address.h"

#include <cstring>

namespace {

struct TransportName {
    const char* name;
    uint32_t iftype;
};
constexpr TransportName s_transports[] = {{"tcpip", 1}};

}  // namespace

extern "C" int wrl_net_parseaddress(const char* text, wrl_address* out) {
    if (text == nullptr || out == nullptr) return 1;
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return 1;
    const size_t name_len = static_cast<size_t>(colon - text);
    uint32_t iftype = 0;
    for (const TransportName& t : s_transports) {
        if (std::strlen(t.name) == name_len && std::strncmp(text, t.name, name_len) == 0) {
            iftype = t.iftype;
            break;
        }
    }
    if (iftype != 1) return 1;

    const char* host = colon + 1;
    const char* comma = std::strchr(host, ',');
    if (comma == nullptr || comma == host) return 1;
    const char* port_text = comma + 1;
    if (*port_text == '\0') return 1;
    long port = 0;
    for (const char* p = port_text; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return 1;
        port = port * 10 + (*p - '0');
        if (port > 65535) return 1;
    }
    if (port < 1) return 1;

    const size_t host_len = static_cast<size_t>(comma - host);
    const size_t kept = host_len < WRL_HOST_MAX ? host_len : WRL_HOST_MAX;
    out->iftype = iftype;
    std::memcpy(out->host, host, kept);
    out->host[kept] = '\0';
    out->port = static_cast<int32_t>(port);
    return 0;
}
