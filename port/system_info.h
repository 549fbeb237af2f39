// The machine as the system identification sees it: its network interfaces with their
// addresses, the interface of the default route, and the facts in the usual system files
// (machine id, host name, CPU model, memory size, operating system and kernel release).
// Everything read from the system is treated as untrusted text: sizes are capped and a
// malformed entry is skipped, never trusted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One network interface, merged from all the entries the kernel reports for its name.
struct port_interface_s {
    std::string name;
    bool up = false;        // administratively up and running
    bool loopback = false;  // the loopback interface
    std::string ipv4;       // dotted quad of its first IPv4 address; empty when none
    std::string ipv6;       // its first IPv6 address that is not link-local; empty when none
    bool has_mac = false;   // the kernel reports a 6-byte hardware address
    unsigned char mac[6] = {0, 0, 0, 0, 0, 0};
};

// Replaces `*interfaces` with one record per interface, in the kernel's order.
// Returns false, leaving `*interfaces` unchanged, when the list cannot be read.
// REQUIRES: `interfaces` is not null.
bool port_list_interfaces(std::vector<port_interface_s>* interfaces);

// The interface of the IPv4 default route in a routing table written as the kernel's
// /proc/net/route (a heading line, then one tab-separated line per route: interface,
// destination, gateway, flags, reference count, use, metric, mask, ...). Among the routes
// that are up with destination and mask 0, the one with the lowest metric wins (the
// earlier line on a tie). Empty when there is none; malformed lines are skipped.
std::string port_default_route_interface_from(const std::string& route_table);

// The same for the running kernel's table; empty when it cannot be read.
std::string port_default_route_interface();

// Reads the file `path` into `*text` when it holds at most `max_bytes` bytes.
// Returns false, leaving `*text` unchanged, when the file cannot be opened or read, is a
// directory or is larger than `max_bytes` (the rest of the file is not read).
// REQUIRES: `text` is not null.
bool port_read_small_file(const std::string& path, size_t max_bytes, std::string* text);

// What identifies this machine. A fact whose file is missing or malformed stays empty (0).
struct port_machine_facts_s {
    std::string machine_id;        // etc/machine-id, else var/lib/dbus/machine-id: 32 hex digits
    std::string host_name;         // proc/sys/kernel/hostname, else etc/hostname
    std::string cpu_model;         // proc/cpuinfo: the first "model name" (else "Hardware")
    uint64_t memory_bytes = 0;     // proc/meminfo: MemTotal
    std::string operating_system;  // etc/os-release (else usr/lib/os-release): PRETTY_NAME
    std::string kernel_release;    // proc/sys/kernel/osrelease
};

// Reads the facts from the files named above under the directory `root` ("" or "/" for the
// running system; tests pass a folder of their own). Single-line facts lose their line end
// and surrounding blanks; texts longer than 255 bytes count as malformed.
// REQUIRES: `facts` is not null.
void port_read_machine_facts(const std::string& root, port_machine_facts_s* facts);
