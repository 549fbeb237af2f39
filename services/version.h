// Texts that identify this build of the shared library: the build constants and the
// functions that hand them (or texts derived from them) to the application. Everything
// here is exported under plain, unmangled names; every text stays valid for the life of
// the process, and each function gives the same pointer on every call.
#pragma once

#include "dbv/common_export.h"

extern "C" {

// Build constants, fixed when the library is built.
// Full version: major.minor.build.revision.
COMMON_EXPORT extern const char unx_build_full_version[];
// Version of the open programming interface, four dot-separated numbers.
COMMON_EXPORT extern const char unx_build_open_api_version[];
// Date and time of the source revision in UTC ("yyyy-mm-dd hh:mm:ssZ"), a blank, and the
// 40-hex-digit revision id.
COMMON_EXPORT extern const char unx_build_revision_stamp[];
// One-word release label.
COMMON_EXPORT extern const char unx_build_version_label[];
// The product's notice line.
COMMON_EXPORT extern const char unx_build_notice[];

// The full version up to, not including, its second dot ("2099.1"); the whole version
// when it has no second dot. Built on the first call (safe against concurrent first calls).
COMMON_EXPORT const char* unx_get_version_text(void);
// The third number of the full version ("30762"): the text between its next-to-last and
// last dots. Built on the first call like the version text.
COMMON_EXPORT const char* unx_get_build_number_text(void);
COMMON_EXPORT const char* unx_get_open_api_version_text(void);  // unx_build_open_api_version
COMMON_EXPORT const char* unx_get_revision_date_text(void);     // unx_build_revision_stamp
COMMON_EXPORT const char* unx_get_version_label_text(void);     // unx_build_version_label
COMMON_EXPORT const char* unx_get_copyright_text(void);         // unx_build_notice

}  // extern "C"
