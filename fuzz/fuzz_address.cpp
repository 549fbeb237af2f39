// Fuzz target: the transport address parser on any text. An accepted TCP/IP address must
// name a port from 1 to 65535 and a terminated host of at most WRL_HOST_MAX characters
// that is the start of the text's host part; an accepted serial address a terminated
// absolute device path that is the text's own and a speed above 0; a refused one leaves
// the output untouched.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "wirelay/address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);  // stops at a NUL below
    wrl_address out;
    std::memset(static_cast<void*>(&out), 0x5a, sizeof out);
    const int result = wrl_net_parseaddress(text.c_str(), &out);
    if (result != 0 && result != 1) qm_fuzz::fail("result outside 0/1");
    if (result != 0) {
        for (size_t i = 0; i < sizeof out; ++i)
            if (reinterpret_cast<const unsigned char*>(&out)[i] != 0x5a)
                qm_fuzz::fail("a refused address wrote its output");
        return 0;
    }
    const char* c = text.c_str();
    if (out.iftype == 2) {
        const size_t device_len = strnlen(out.device, sizeof out.device);
        if (device_len == sizeof out.device) qm_fuzz::fail("device not terminated");
        if (out.device[0] != '/') qm_fuzz::fail("relative device path accepted");
        if (out.baud == 0) qm_fuzz::fail("speed 0 accepted");
        if (std::strncmp(c, "serial:", 7) != 0) qm_fuzz::fail("serial without its prefix");
        if (std::strncmp(c + 7, out.device, device_len) != 0 || c[7 + device_len] != ',')
            qm_fuzz::fail("device is not the text's device");
        return 0;
    }
    if (out.iftype != 1) qm_fuzz::fail("accepted a transport other than tcpip or serial");
    if (out.port < 1 || out.port > 65535) qm_fuzz::fail("port out of range");
    const size_t host_len = strnlen(out.host, sizeof out.host);
    if (host_len == sizeof out.host) qm_fuzz::fail("host not terminated");
    if (host_len == 0) qm_fuzz::fail("empty host accepted");
    if (std::strncmp(c, "tcpip:", 6) != 0) qm_fuzz::fail("accepted without the tcpip: prefix");
    if (std::strncmp(c + 6, out.host, host_len) != 0) qm_fuzz::fail("host is not the text's host");
    return 0;
}
