// Texts of the transport's error codes.
#include "wirelay/wrl_errors.h"

#include <cstdio>

namespace {
const char* const s_texts[] = {
    "no error",          "operation failed", "port is already in use",
    "out of memory",     "no connection",    "connection broken",
    "connection blocks", "unknown client",   "rejected",
    "duplicate client",  "shutdown",         "timeout",
    "protocol mismatch", "version mismatch",
};
constexpr uint32_t s_count = sizeof(s_texts) / sizeof(s_texts[0]);

char s_buffer[80];
}  // namespace

extern "C" {

const char* wrl_errortext(uint32_t code) {
    return code < s_count ? s_texts[code] : nullptr;
}

const char* wrl_strerror(int code) {
    const uint32_t bits = static_cast<uint32_t>(code);
    if ((bits & WRL_USER_ERROR) == 0) {
        if (const char* text = wrl_errortext(bits)) return text;
        std::snprintf(s_buffer, sizeof s_buffer, "Error %d.", code);
    } else if (const char* text = wrl_errortext(bits & ~WRL_USER_ERROR)) {
        std::snprintf(s_buffer, sizeof s_buffer, "User level error: %s", text);
    } else {
        std::snprintf(s_buffer, sizeof s_buffer, "User level error: %d", code);
    }
    return s_buffer;
}

}  // extern "C"
