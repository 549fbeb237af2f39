// Transport address texts: the transport name, a colon, then the transport's own part.
//   TCP/IP: the host, a comma and the port, as in "tcpip:localhost,1238".
//   serial: the device's absolute path, a comma and the speed, optionally followed by
//           ",byte size", ",parity" (0 none, 1 even, 2 odd) and ",stop bits", as in
//           "serial:/dev/ttyS0,9600" (8 bits, no parity, 1 stop bit) or
//           "serial:/dev/ttyUSB1,115200,7,1,2". The values are checked when the port opens.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t WRL_HOST_MAX = 64;     // longer hosts are cut to this many characters
constexpr size_t WRL_DEVICE_MAX = 255;  // longer device paths are refused

// A parsed address. `iftype` is the I/O core's interface type (IO_IF_TCPIP for "tcpip",
// IO_IF_SERIAL for "serial"). TCP/IP fills host and port, serial the fields after them.
struct wrl_address {
    uint32_t iftype;
    char host[WRL_HOST_MAX + 1];
    int32_t port;
    char device[WRL_DEVICE_MAX + 1] = {};
    uint32_t baud = 0;
    uint32_t bytesize = 0;
    uint32_t parity = 0;
    uint32_t stopbits = 0;
};

extern "C" {

// Parses `text` into `out`. Returns WRL_OK, or WRL_EFAIL when the text is null, names no known
// transport, or does not follow that transport's syntax: for TCP/IP a missing host or port,
// or a port that is not a decimal number from 1 to 65535; for serial a device path that is
// not absolute or longer than WRL_DEVICE_MAX, a speed that is missing or 0, more than four
// values, or a value that is not a decimal number below 2^32. `out` is written only on
// success.
int wrl_net_parseaddress(const char* text, wrl_address* out);

}  // extern "C"
