// The identifying network interface and the machine's identification facts, on top of
// the platform layer's interface list, default route and system files.
#include "services/system_identification.h"

#include <cstdio>
#include <new>

#include "services/system_identification_internal.h"

sysSystemIdentifierInfo_i::~sysSystemIdentifierInfo_i() = default;

namespace services {
namespace {

class SystemIdentifierInfo_c final : public sysSystemIdentifierInfo_i {
  public:
    explicit SystemIdentifierInfo_c(port_machine_facts_s facts) : facts_(std::move(facts)) {}
    const std::string& GetMachineId() const override { return facts_.machine_id; }
    const std::string& GetHostName() const override { return facts_.host_name; }
    const std::string& GetCpuModel() const override { return facts_.cpu_model; }
    uint64_t GetMemorySize() const override { return facts_.memory_bytes; }
    const std::string& GetOperatingSystem() const override { return facts_.operating_system; }
    const std::string& GetOperatingSystemRelease() const override { return facts_.kernel_release; }

  private:
    port_machine_facts_s facts_;
};

bool has_address(const port_interface_s& item) {
    return !item.ipv4.empty() || !item.ipv6.empty();
}

// The identifying interface of the running system, or false.
bool identifying_interface(port_interface_s* chosen) {
    std::vector<port_interface_s> interfaces;
    if (!port_list_interfaces(&interfaces)) return false;
    const int index = ChooseIdentifyingInterface(interfaces, port_default_route_interface());
    if (index < 0) return false;
    *chosen = interfaces[static_cast<size_t>(index)];
    return true;
}

}  // namespace

int ChooseIdentifyingInterface(const std::vector<port_interface_s>& interfaces,
                               const std::string& default_route) {
    const int count = static_cast<int>(interfaces.size());
    for (int i = 0; i < count && !default_route.empty(); ++i) {
        const port_interface_s& item = interfaces[static_cast<size_t>(i)];
        if (item.name == default_route && item.up && has_address(item)) return i;
    }
    for (int i = 0; i < count; ++i) {
        const port_interface_s& item = interfaces[static_cast<size_t>(i)];
        if (item.up && !item.loopback && has_address(item)) return i;
    }
    for (int i = 0; i < count; ++i) {
        const port_interface_s& item = interfaces[static_cast<size_t>(i)];
        if (item.up && item.loopback && has_address(item)) return i;
    }
    return -1;
}

std::string FormatMac(const unsigned char (&mac)[6]) {
    char text[18];
    snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
             mac[4], mac[5]);
    return text;
}

std::unique_ptr<sysSystemIdentifierInfo_i> ReadSysInfo(const std::string& root) {
    port_machine_facts_s facts;
    port_read_machine_facts(root, &facts);
    return std::unique_ptr<sysSystemIdentifierInfo_i>(new (std::nothrow)
                                                          SystemIdentifierInfo_c(std::move(facts)));
}

}  // namespace services

namespace tools {

bool GetLocalIP(std::string* address) {
    try {
        port_interface_s chosen;
        if (!services::identifying_interface(&chosen)) return false;
        *address = !chosen.ipv4.empty() ? chosen.ipv4 : chosen.ipv6;
        return true;
    } catch (...) {  // std::bad_alloc
        return false;
    }
}

bool GetMac(std::string* mac) {
    try {
        port_interface_s chosen;
        if (!services::identifying_interface(&chosen) || !chosen.has_mac) return false;
        *mac = services::FormatMac(chosen.mac);
        return true;
    } catch (...) {  // std::bad_alloc
        return false;
    }
}

std::unique_ptr<sysSystemIdentifierInfo_i> GetSysInfo() {
    try {
        return services::ReadSysInfo("/");
    } catch (...) {  // std::bad_alloc
        return nullptr;
    }
}

}  // namespace tools
