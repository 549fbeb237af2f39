// The pieces of the system identification that tests reach directly: the choice of the
// identifying interface and the facts read from a folder laid out like the system's.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "port/system_info.h"
#include "services/system_identification.h"

namespace services {

// The index in `interfaces` of the interface that identifies the machine: the one named
// `default_route` when it is up and has an address; else the first that is up, is not the
// loopback and has an address; else the first loopback that is up and has an address.
// -1 when none qualifies.
int ChooseIdentifyingInterface(const std::vector<port_interface_s>& interfaces,
                               const std::string& default_route);

// "aa:bb:cc:dd:ee:ff" in lower-case hex.
std::string FormatMac(const unsigned char (&mac)[6]);

// GetSysInfo reading the files under `root` ("/" for the running system).
std::unique_ptr<sysSystemIdentifierInfo_i> ReadSysInfo(const std::string& root);

}  // namespace services
