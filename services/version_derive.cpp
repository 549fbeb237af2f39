// The cutting rules of the short version texts.
#include "services/version_derive.h"

namespace services {

std::string_view VersionBeforeSecondDot(std::string_view full_version) {
    const size_t first = full_version.find('.');
    if (first == std::string_view::npos) return full_version;
    const size_t second = full_version.find('.', first + 1);
    if (second == std::string_view::npos) return full_version;
    return full_version.substr(0, second);
}

std::string_view VersionBuildNumber(std::string_view full_version) {
    std::string_view rest = full_version.substr(0, full_version.rfind('.'));
    const size_t dot = rest.rfind('.');
    if (dot != std::string_view::npos) rest.remove_prefix(dot + 1);
    return rest;
}

}  // namespace services
