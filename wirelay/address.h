// Transport address texts: the transport name, a colon, the host, a comma and the port,
// as in "tcpip:localhost,1238".
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t WRL_HOST_MAX = 64;  // longer hosts are cut to this many characters

// A parsed address. `iftype` is the I/O core's interface type (IO_IF_TCPIP for "tcpip").
struct wrl_address {
    uint32_t iftype;
    char host[WRL_HOST_MAX + 1];
    int32_t port;
};

extern "C" {

// Parses `text` into `out`. Returns WRL_OK, or WRL_EFAIL when the text is null, names no known
// transport (or one without an address syntax), lacks the host or the port, or has a
// port that is not a decimal number from 1 to 65535. `out` is written only on success.
int wrl_net_parseaddress(const char* text, wrl_address* out);

}  // extern "C"
