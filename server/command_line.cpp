// Command-line parsing of qm_server: positional host, port, directory or "test", "test".
#include "server/command_line.h"

#include <cstring>

namespace qm {

server_options parse_command_line(int argc, const char* const* argv, const char* env_qm_server) {
    server_options options;
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        options.action = server_action::help;
        return options;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        options.action = server_action::version;
        return options;
    }
    if (argc < 2) {
        options.address = (env_qm_server != nullptr && env_qm_server[0] != '\0')
                              ? env_qm_server
                              : kDefaultServerAddress;
    } else {
        const char* port = argc >= 3 ? argv[2] : "1238";
        options.address = std::string("tcpip:") + argv[1] + "," + port;
    }
    if (argc >= 4) {
        if (std::strcmp(argv[3], "test") == 0)
            options.test_mode = true;
        else
            options.database_directory = argv[3];
    }
    if (argc >= 5 && std::strcmp(argv[4], "test") == 0) options.test_mode = true;
    if (options.address.size() > kMaxAddressLength) {
        options.action = server_action::bad_arguments;
        options.error = "transport address longer than 254 characters";
    }
    return options;
}

const char* usage_text() {
    return "usage: qm_server [host [port [directory|test [test]]]]\n"
           "       qm_server --help | --version\n"
           "  host       listen on tcpip:host,port (default port 1238); without arguments the\n"
           "             address is $QM_SERVER, or tcpip:localhost,1238 when that is unset or "
           "empty\n"
           "  directory  first place to look for the database file (then\n"
           "             $QM_SERVER_DATABASE_DIRECTORY, then the current directory)\n"
           "  test       trace the choice of the database file on standard error\n";
}

}  // namespace qm
