// Error codes of the transport's upper layers (message server, endpoints, queries).
// The same codes travel in the status field of message frames.
#pragma once

#include <cstdint>

enum wrl_error_e : uint32_t {
    WRL_OK = 0,
    WRL_EFAIL = 1,       // "operation failed"
    WRL_EADDRINUSE = 2,  // "port is already in use"
    WRL_ENOMEM = 3,      // "out of memory"
    WRL_ENOCONN = 4,     // "no connection"
    WRL_EBROKEN = 5,     // "connection broken"
    WRL_EBLOCKS = 6,     // "connection blocks"
    WRL_EUNKNOWN = 7,    // "unknown client"
    WRL_EREJECTED = 8,   // "rejected"
    WRL_EDUPLICATE = 9,  // "duplicate client"
    WRL_ESHUTDOWN = 10,  // "shutdown"
    WRL_ETIMEOUT = 11,   // "timeout"
    WRL_EPROTOCOL = 12,  // "protocol mismatch"
    WRL_EVERSION = 13,   // "version mismatch"
};

// A code with this bit set is a user-level error whose low 31 bits are a code above.
constexpr uint32_t WRL_USER_ERROR = 0x80000000u;

extern "C" {

// Text of a code: the table's text, "Error %d." for codes not in the table, and for
// user-level codes "User level error: %s" (or "User level error: %d" with the whole code,
// signed, when its low bits are not in the table). The result lives in one process-wide
// 80-byte buffer that the next call overwrites; not safe for concurrent callers.
const char* wrl_strerror(int code);

// The fixed table text of a code, or null when the code is not in the table. Thread-safe.
const char* wrl_errortext(uint32_t code);

}  // extern "C"
