// The commands of qm_admin, separated from its main() so that tests can run them on a
// client of their own and read what they print.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "client/qm_client.h"

namespace qm {

// Exit codes of qm_admin.
enum admin_exit : int {
    ADMIN_DONE = 0,
    ADMIN_REFUSED = 1,  // the server said no (or could not be understood)
    ADMIN_USAGE = 2,
    ADMIN_NO_CONNECTION = 3,
};

// Runs one command (`args[0]` is its name) on a connected client, writing results to
// `out` and errors to `err`. Returns one of admin_exit. Unknown commands and wrong
// argument counts give ADMIN_USAGE.
int run_admin_command(client_c& client, const std::vector<std::string>& args, std::FILE* out,
                      std::FILE* err);

// True when `name` is a command run_admin_command knows.
bool is_admin_command(const std::string& name);

// A stored server time (UTC seconds) as local "YYYY-MM-DD HH:MM:SS"; "-" for 0.
std::string format_server_time(int32_t seconds);

// The usage text of qm_admin.
const char* admin_usage();

}  // namespace qm
