// Turns qm_server's command line (and the QM_SERVER environment variable) into the
// transport address, the database directory and the test-mode flag the server starts with.
#pragma once

#include <string>

namespace qm {

// The version text the banner prints and CDB_GET_SERVER_VERSION returns.
inline constexpr const char* kServerVersion = "2.5";
// Where the server listens when neither the command line nor QM_SERVER says otherwise.
inline constexpr const char* kDefaultServerAddress = "tcpip:localhost,1238";
// Longest transport address the server accepts (the transport's own limit).
inline constexpr std::size_t kMaxAddressLength = 254;

enum class server_action { run, help, version, bad_arguments };

struct server_options {
    server_action action = server_action::run;
    std::string address;             // "tcpip:host,port" or the value of QM_SERVER
    std::string database_directory;  // empty: the current directory
    bool test_mode = false;          // trace the choice of the database file on stderr
    std::string error;               // set when action is bad_arguments
};

// Parses argv[1..argc-1]: [host [port [directory|"test" ["test"]]]]; more arguments are
// ignored. With no argument the address is `env_qm_server` (may be null) when it is set and
// not empty, else the default. "--help" or "--version" as the only argument select that
// action (a host never begins with '-'). An address longer than kMaxAddressLength gives
// bad_arguments with a readable `error`. REQUIRES argv to hold argc valid texts.
server_options parse_command_line(int argc, const char* const* argv, const char* env_qm_server);

// The usage text printed by "--help" (several lines, ends with a newline).
const char* usage_text();

}  // namespace qm
