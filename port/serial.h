// Serial ports of the platform layer: opening a terminal device exclusively, setting its
// speed, byte size, parity and stop bits in raw mode so that a read returns at once with
// whatever has arrived, non-blocking transfers, a readiness wait over several ports, and
// pseudo-terminal pairs that stand in for a serial cable in tests and examples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace port {

// Line settings. parity: 0 none, 1 even, 2 odd; any other value keeps the port's parity.
struct SerialSettings {
    uint32_t baud;
    uint32_t byte_size;  // 5 to 8
    uint32_t parity;
    uint32_t stop_bits;  // 1 or 2
};

enum class SerialCheck {
    kOk,
    kBadSpeed,     // not one of the speeds the terminal driver knows (0 included)
    kBadByteSize,  // outside 5..8
    kBadStopBits,  // neither 1 nor 2
};

// Checks the settings without touching any device.
SerialCheck SerialCheckSettings(const SerialSettings& settings);

// Opens an existing terminal device for reading and writing, non-blocking, close-on-exec,
// without making it the controlling terminal, and takes it for this descriptor alone
// (an advisory exclusive lock that other openers honour, and the terminal's own exclusive
// mode). Never creates a file. Returns the descriptor, or -1 (missing device, no access,
// not a terminal, or already taken).
int SerialOpen(const char* path);

// Raw mode with the given settings, reads that return at once (no minimum count, no
// timer), modem lines ignored, receiver on. REQUIRES SerialCheckSettings gave kOk.
// false when the terminal refuses them.
bool SerialConfigure(int fd, const SerialSettings& settings);

// Releases the port (lock and exclusive mode go with the descriptor).
void SerialClose(int fd);

// Non-blocking transfers. Bytes moved (0 when nothing could be moved now), or -1 for an
// error of the device.
int64_t SerialRead(int fd, void* buffer, size_t length);
int64_t SerialWrite(int fd, const void* buffer, size_t length);

// One descriptor of a readiness wait: what to wait for, and afterwards what holds.
struct SerialWaitEntry {
    int fd;
    bool want_read;
    bool want_write;
    bool readable;  // set by SerialWait
    bool writable;  // set by SerialWait
    bool hung_up;   // set by SerialWait: hang-up or error on the descriptor
};

// Waits until one of the entries is ready or timeout_ms passes (negative: no limit).
// Returns the number of ready entries (0 on time-out or interruption), -1 on failure.
int SerialWait(SerialWaitEntry* entries, size_t count, int timeout_ms);

// A new pseudo-terminal pair: the controlling side's descriptor (non-blocking,
// close-on-exec) and the path of the terminal side, which SerialOpen opens like a serial
// port. false on failure.
bool OpenPseudoTerminal(int* controller, std::string* terminal_path);

}  // namespace port
