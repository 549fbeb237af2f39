// The build constants of this build and the exported version texts.
#include "services/version.h"

#include <cstring>
#include <string_view>

#include "services/version_derive.h"

extern "C" {
const char unx_build_full_version[] = "2099.1.30762.0";
const char unx_build_open_api_version[] = "2099.1.0.0";
const char unx_build_revision_stamp[] =
    "2017-01-10 12:10:16Z d831d2a02b84abcd337d1977a605d92193eaf04a";
const char unx_build_version_label[] = "Next";
const char unx_build_notice[] =
    "Common library of the multi-user modelling system. All rights reserved.";
}

namespace {

// A derived text is a piece of the full version, so it always fits a buffer of the full
// version's size; building it neither allocates nor throws.
struct DerivedText {
    char text[sizeof unx_build_full_version];
    explicit DerivedText(std::string_view piece) {
        memcpy(text, piece.data(), piece.size());
        text[piece.size()] = '\0';
    }
};

}  // namespace

extern "C" {

const char* unx_get_version_text(void) {
    static const DerivedText version(services::VersionBeforeSecondDot(unx_build_full_version));
    return version.text;
}

const char* unx_get_build_number_text(void) {
    static const DerivedText build(services::VersionBuildNumber(unx_build_full_version));
    return build.text;
}

const char* unx_get_open_api_version_text(void) {
    return unx_build_open_api_version;
}

const char* unx_get_revision_date_text(void) {
    return unx_build_revision_stamp;
}

const char* unx_get_version_label_text(void) {
    return unx_build_version_label;
}

const char* unx_get_copyright_text(void) {
    return unx_build_notice;
}

}  // extern "C"
