// What identifies this machine and its files: the SHA-1 hash of a file, the address and
// hardware address of the network interface that carries the default route, and the
// machine's identification facts (machine id, host name, CPU model, memory size, operating
// system and kernel release) read from the usual system files. Nothing here throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "dbv/common_export.h"

// The machine's identification facts, as GetSysInfo read them. A fact that could not be
// read is empty (0 for the memory size).
class COMMON_EXPORT sysSystemIdentifierInfo_i {
  public:
    virtual ~sysSystemIdentifierInfo_i();
    // The 32-hex-digit machine id that the system keeps for this installation.
    virtual const std::string& GetMachineId() const = 0;
    virtual const std::string& GetHostName() const = 0;
    // The processor's model name as the kernel reports it.
    virtual const std::string& GetCpuModel() const = 0;
    // Installed memory usable by the system, in bytes.
    virtual uint64_t GetMemorySize() const = 0;
    // The operating system's name and version ("Debian GNU/Linux 12 (bookworm)").
    virtual const std::string& GetOperatingSystem() const = 0;
    // The release of the running kernel ("6.1.0-17-amd64").
    virtual const std::string& GetOperatingSystemRelease() const = 0;
};

namespace tools {

// Computes the SHA-1 hash of the bytes of the file `file_name`, as 40 lower-case hex
// digits, reading the file in pieces (constant memory for any file size).
// Returns false, leaving `*hex_digest` unchanged, when the file cannot be opened or a read
// fails (a missing file, anything but a regular file such as a directory or a named pipe,
// which is refused without waiting for a writer, no permission, an input error).
// REQUIRES: `hex_digest` is not null.
COMMON_EXPORT bool HashFile(const std::string& file_name, std::string* hex_digest);

// The IPv4 address ("192.168.1.20") of the interface that carries the default route, or
// its IPv6 address when it has no IPv4 one. Without a default route the first interface
// that is up, is not the loopback and has an address is taken; the loopback interface only
// when nothing else is up. Returns false, leaving `*address` unchanged, when no interface
// qualifies or the interfaces cannot be read.
// REQUIRES: `address` is not null.
COMMON_EXPORT bool GetLocalIP(std::string* address);

// The hardware address of the same interface as GetLocalIP, as six lower-case hex pairs
// separated by ':' ("52:54:00:12:34:56"; the loopback gives "00:00:00:00:00:00"). Returns
// false, leaving `*mac` unchanged, when no interface qualifies or it has no 6-byte
// hardware address.
// REQUIRES: `mac` is not null.
COMMON_EXPORT bool GetMac(std::string* mac);

// Reads the machine's identification facts now. Null only when memory runs out.
COMMON_EXPORT std::unique_ptr<sysSystemIdentifierInfo_i> GetSysInfo();

}  // namespace tools
