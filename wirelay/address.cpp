// Address parsing: the transport name picks the syntax of the rest (host and port for
// TCP/IP, device path and line settings for serial).
#include "wirelay/address.h"

#include <cstring>

namespace {

enum : uint32_t { kTcpip = 1, kSerial = 2 };

struct TransportName {
    const char* name;
    uint32_t iftype;
};
constexpr TransportName s_transports[] = {{"tcpip", kTcpip}, {"serial", kSerial}};

// A decimal number of [begin, end) that fits `limit`; false for none, a sign or any other
// character.
bool ParseNumber(const char* begin, const char* end, unsigned long long limit,
                 unsigned long long* value) {
    if (begin == end) return false;
    unsigned long long v = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<unsigned>(*p - '0');
        if (v > limit) return false;
    }
    *value = v;
    return true;
}

int ParseTcpip(const char* rest, wrl_address* out) {
    const char* comma = std::strchr(rest, ',');
    if (comma == nullptr || comma == rest) return 1;
    const char* port_text = comma + 1;
    unsigned long long port = 0;
    if (!ParseNumber(port_text, port_text + std::strlen(port_text), 65535, &port) || port < 1) {
        return 1;
    }
    const size_t host_len = static_cast<size_t>(comma - rest);
    const size_t kept = host_len < WRL_HOST_MAX ? host_len : WRL_HOST_MAX;
    *out = wrl_address{};
    out->iftype = kTcpip;
    std::memcpy(out->host, rest, kept);
    out->host[kept] = '\0';
    out->port = static_cast<int32_t>(port);
    return 0;
}

int ParseSerial(const char* rest, wrl_address* out) {
    const char* comma = std::strchr(rest, ',');
    if (comma == nullptr || *rest != '/') return 1;
    const size_t device_len = static_cast<size_t>(comma - rest);
    if (device_len > WRL_DEVICE_MAX) return 1;  // a cut path would name another device
    // Speed, byte size, parity, stop bits; the last three default to 8, none, 1.
    unsigned long long values[4] = {0, 8, 0, 1};
    int count = 0;
    for (const char* p = comma + 1;; ++count) {
        if (count == 4) return 1;
        const char* end = std::strchr(p, ',');
        if (end == nullptr) end = p + std::strlen(p);
        if (!ParseNumber(p, end, 0xffffffffull, &values[count])) return 1;
        if (*end == '\0') break;
        p = end + 1;
    }
    if (values[0] == 0) return 1;
    *out = wrl_address{};
    out->iftype = kSerial;
    std::memcpy(out->device, rest, device_len);
    out->device[device_len] = '\0';
    out->baud = static_cast<uint32_t>(values[0]);
    out->bytesize = static_cast<uint32_t>(values[1]);
    out->parity = static_cast<uint32_t>(values[2]);
    out->stopbits = static_cast<uint32_t>(values[3]);
    return 0;
}

}  // namespace

extern "C" int wrl_net_parseaddress(const char* text, wrl_address* out) {
    if (text == nullptr || out == nullptr) return 1;
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr) return 1;
    const size_t name_len = static_cast<size_t>(colon - text);
    for (const TransportName& t : s_transports) {
        if (std::strlen(t.name) != name_len || std::strncmp(text, t.name, name_len) != 0) {
            continue;
        }
        return t.iftype == kTcpip ? ParseTcpip(colon + 1, out) : ParseSerial(colon + 1, out);
    }
    return 1;
}
