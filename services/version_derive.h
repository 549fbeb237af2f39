// How the short version texts are cut from the full version. Internal to the version
// texts; separate so that the rules can be tested on other versions than this build's.
#pragma once

#include <string_view>

namespace services {

// Everything before the second dot ("2099.1.30762.0" gives "2099.1"); the whole text when
// it has fewer than two dots.
std::string_view VersionBeforeSecondDot(std::string_view full_version);

// Drops everything from the last dot on, then takes what follows the last dot of the rest
// ("2099.1.30762.0" gives "30762"); the whole rest when it has no dot ("2099.1" gives
// "2099", "7" gives "7").
std::string_view VersionBuildNumber(std::string_view full_version);

}  // namespace services
