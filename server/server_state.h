// Process-wide state of the multiuser server: the start-up settings, the chosen database
// file, the count of connected clients, and the clock that stamps every stored time.
// Only the main thread touches it, so it needs no lock.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Longest database file name (and temporary file name) the server accepts.
inline constexpr size_t SRV_MAX_FILE_NAME = 1023;

struct server_context {
    bool test_mode = false;          // trace the choice of the database file on stderr
    std::string database_directory;  // from the command line; empty = current directory
    std::string database_file;       // full path once chosen; empty before
    std::string temporary_file;      // database_file + ".tmp"
    int32_t connected_clients = 0;   // identified clients; never below 0
    // Pause after "Fatal error: Unable to open database file!" (tests shorten it).
    int64_t fatal_pause_ms = 10000;
    // Source of "now" for stored times; empty = the wall clock in UTC seconds (what local
    // time minus the local offset from UTC comes to). Tests install a fixed or stepping
    // clock here.
    std::function<int32_t()> clock;
};

// The one context of the process.
server_context& server_state();

// "Now" as the server stores it: the context's clock when set, otherwise the wall clock's
// UTC seconds (local time less the local offset from UTC), kept in 32 bits.
int32_t server_now();

// Back to a fresh context (all defaults). For tests and for a restart in one process.
void server_state_reset();
