// Network interfaces from getifaddrs, the default route from /proc/net/route and the
// machine's identification from the usual files under /etc and /proc.
#include "port/system_info.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Caps on what is read: far above any real file of its kind, so a hostile or broken file
// costs a bounded amount of memory.
constexpr size_t kMaxRouteTableBytes = 1 << 20;
constexpr size_t kMaxCpuInfoBytes = 4 << 20;
constexpr size_t kMaxSmallFactFileBytes = 64 << 10;
constexpr size_t kMaxFactLength = 255;

std::string_view trim(std::string_view text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

// A fact worth keeping: not empty, not overlong and free of control characters.
bool plausible_fact(std::string_view text) {
    if (text.empty() || text.size() > kMaxFactLength) return false;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    }
    return true;
}

// Calls `visit(line)` for every line of `text` (without its line feed); stops early when
// `visit` returns false.
template <typename Visit>
void for_each_line(std::string_view text, Visit visit) {
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        if (!visit(line)) return;
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + 1);
    }
}

std::vector<std::string_view> split_fields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t start = line.find_first_not_of(" \t", pos);
        if (start == std::string_view::npos) break;
        size_t end = line.find_first_of(" \t", start);
        if (end == std::string_view::npos) end = line.size();
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

// Parses the whole of `text` as an unsigned number of the given base.
bool parse_unsigned(std::string_view text, int base, uint64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    const std::string copy(text);
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = strtoull(copy.c_str(), &end, base);
    if (errno != 0 || end != copy.c_str() + copy.size() || copy[0] == '-' || copy[0] == '+')
        return false;
    *value = parsed;
    return true;
}

std::string under_root(const std::string& root, const char* relative) {
    if (root.empty() || root == "/") return std::string("/") + relative;
    return root.back() == '/' ? root + relative : root + "/" + relative;
}

// The first line of a small file, trimmed, when it is a plausible fact.
bool read_one_line_fact(const std::string& path, std::string* fact) {
    std::string text;
    if (!port_read_small_file(path, kMaxSmallFactFileBytes, &text)) return false;
    const std::string_view line = trim(std::string_view(text).substr(0, text.find('\n')));
    if (!plausible_fact(line)) return false;
    fact->assign(line);
    return true;
}

bool is_machine_id(std::string_view text) {
    if (text.size() != 32) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// The value of the first "key : value" line of /proc/cpuinfo whose key is `key`.
bool cpuinfo_value(std::string_view text, std::string_view key, std::string* value) {
    bool found = false;
    for_each_line(text, [&](std::string_view line) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || trim(line.substr(0, colon)) != key) return true;
        const std::string_view v = trim(line.substr(colon + 1));
        if (plausible_fact(v)) {
            value->assign(v);
            found = true;
            return false;
        }
        return true;
    });
    return found;
}

bool meminfo_total(std::string_view text, uint64_t* bytes) {
    bool found = false;
    for_each_line(text, [&](std::string_view line) {
        if (line.substr(0, 9) != "MemTotal:") return true;
        const std::vector<std::string_view> fields = split_fields(line.substr(9));
        uint64_t kib = 0;
        if (fields.size() == 2 && fields[1] == "kB" && parse_unsigned(fields[0], 10, &kib) &&
            kib <= UINT64_MAX / 1024) {
            *bytes = kib * 1024;
            found = true;
        }
        return false;
    });
    return found;
}

// PRETTY_NAME of an os-release file: shell-style KEY=value, the value optionally in double
// or single quotes, where a backslash in double quotes escapes the next character.
bool os_release_pretty_name(std::string_view text, std::string* name) {
    bool found = false;
    for_each_line(text, [&](std::string_view line) {
        line = trim(line);
        if (line.substr(0, 12) != "PRETTY_NAME=") return true;
        std::string_view raw = line.substr(12);
        std::string value;
        if (raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
            raw = raw.substr(1, raw.size() - 2);
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
                value.push_back(raw[i]);
            }
        } else if (raw.size() >= 2 && raw.front() == '\'' && raw.back() == '\'') {
            value.assign(raw.substr(1, raw.size() - 2));
        } else {
            value.assign(raw);
        }
        if (plausible_fact(value)) {
            *name = value;
            found = true;
        }
        return false;
    });
    return found;
}

std::string format_ipv4(const sockaddr* address) {
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) return {};
    return text;
}

// The IPv6 text of a global (not link-local) address; empty for a link-local one.
std::string format_ipv6(const sockaddr* address) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    if (IN6_IS_ADDR_LINKLOCAL(&in6->sin6_addr)) return {};
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text) == nullptr) return {};
    return text;
}

port_interface_s& record_for(std::vector<port_interface_s>& list, const char* name) {
    for (port_interface_s& item : list) {
        if (item.name == name) return item;
    }
    list.emplace_back();
    list.back().name = name;
    return list.back();
}

}  // namespace

bool port_list_interfaces(std::vector<port_interface_s>* interfaces) {
    ifaddrs* head = nullptr;
    if (getifaddrs(&head) != 0) return false;
    std::vector<port_interface_s> list;
    for (const ifaddrs* entry = head; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_name == nullptr) continue;
        port_interface_s& item = record_for(list, entry->ifa_name);
        item.up = item.up || ((entry->ifa_flags & IFF_UP) && (entry->ifa_flags & IFF_RUNNING));
        item.loopback = item.loopback || (entry->ifa_flags & IFF_LOOPBACK) != 0;
        const sockaddr* address = entry->ifa_addr;
        if (address == nullptr) continue;
        if (address->sa_family == AF_INET && item.ipv4.empty()) {
            item.ipv4 = format_ipv4(address);
        } else if (address->sa_family == AF_INET6 && item.ipv6.empty()) {
            item.ipv6 = format_ipv6(address);
        } else if (address->sa_family == AF_PACKET && !item.has_mac) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(address);
            if (link->sll_halen == sizeof item.mac) {
                memcpy(item.mac, link->sll_addr, sizeof item.mac);
                item.has_mac = true;
            }
        }
    }
    freeifaddrs(head);
    interfaces->swap(list);
    return true;
}

std::string port_default_route_interface_from(const std::string& route_table) {
    std::string best;
    uint64_t best_metric = 0;
    bool heading = true;
    for_each_line(route_table, [&](std::string_view line) {
        if (heading) {  // "Iface Destination Gateway Flags ..."
            heading = false;
            return true;
        }
        const std::vector<std::string_view> f = split_fields(line);
        uint64_t destination = 0, flags = 0, metric = 0, mask = 0;
        if (f.size() < 8 || !parse_unsigned(f[1], 16, &destination) ||
            !parse_unsigned(f[3], 16, &flags) || !parse_unsigned(f[6], 10, &metric) ||
            !parse_unsigned(f[7], 16, &mask) || f[0].size() >= IF_NAMESIZE) {
            return true;
        }
        const uint64_t kRouteUp = 0x1;
        if (destination != 0 || mask != 0 || (flags & kRouteUp) == 0) return true;
        if (best.empty() || metric < best_metric) {
            best.assign(f[0]);
            best_metric = metric;
        }
        return true;
    });
    return best;
}

std::string port_default_route_interface() {
    std::string table;
    if (!port_read_small_file("/proc/net/route", kMaxRouteTableBytes, &table)) return {};
    return port_default_route_interface_from(table);
}

bool port_read_small_file(const std::string& path, size_t max_bytes, std::string* text) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    // Files under /proc report a size of 0, so read until the end rather than trusting
    // fstat; one byte past the cap shows that the file is too large.
    std::string data;
    char chunk[4096];
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        if (data.size() + static_cast<size_t>(n) > max_bytes) {
            ok = false;
            break;
        }
        data.append(chunk, static_cast<size_t>(n));
    }
    close(fd);
    if (ok) text->swap(data);
    return ok;
}

void port_read_machine_facts(const std::string& root, port_machine_facts_s* facts) {
    port_machine_facts_s found;
    std::string id;
    if ((read_one_line_fact(under_root(root, "etc/machine-id"), &id) && is_machine_id(id)) ||
        (read_one_line_fact(under_root(root, "var/lib/dbus/machine-id"), &id) &&
         is_machine_id(id))) {
        found.machine_id = id;
    }
    if (!read_one_line_fact(under_root(root, "proc/sys/kernel/hostname"), &found.host_name))
        read_one_line_fact(under_root(root, "etc/hostname"), &found.host_name);
    std::string text;
    if (port_read_small_file(under_root(root, "proc/cpuinfo"), kMaxCpuInfoBytes, &text)) {
        if (!cpuinfo_value(text, "model name", &found.cpu_model))
            cpuinfo_value(text, "Hardware", &found.cpu_model);
    }
    text.clear();
    if (port_read_small_file(under_root(root, "proc/meminfo"), kMaxSmallFactFileBytes, &text))
        meminfo_total(text, &found.memory_bytes);
    text.clear();
    if (port_read_small_file(under_root(root, "etc/os-release"), kMaxSmallFactFileBytes, &text) ||
        port_read_small_file(under_root(root, "usr/lib/os-release"), kMaxSmallFactFileBytes,
                             &text)) {
        os_release_pretty_name(text, &found.operating_system);
    }
    read_one_line_fact(under_root(root, "proc/sys/kernel/osrelease"), &found.kernel_release);
    *facts = std::move(found);
}
