// qm_server's entry: command line, server database, message server, banner, message loop.
#include <cstdio>
#include <cstdlib>

#include "port/limits.h"
#include "server/command_line.h"
#include "server/request_callback.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "wirelay/message_server.h"

int main(int argc, char** argv) {
    // Buffered, and flushed by the message callbacks at the end of each request and client
    // event, so that the log can be followed live through a pipe without a write per line.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    const qm::server_options options = qm::parse_command_line(argc, argv, std::getenv("QM_SERVER"));
    switch (options.action) {
        case qm::server_action::help:
            std::fputs(qm::usage_text(), stdout);
            return 0;
        case qm::server_action::version:
            std::printf("qm_server %s\n", qm::kServerVersion);
            return 0;
        case qm::server_action::bad_arguments:
            std::fprintf(stderr, "qm_server: %s\n%s", options.error.c_str(), qm::usage_text());
            return 1;
        case qm::server_action::run:
            break;
    }
    server_context& state = server_state();
    state.test_mode = options.test_mode;
    state.database_directory = options.database_directory;

    if (open_server_database(options.address.c_str(), options.database_directory.c_str()) != 0) {
        std::printf("Server failure\n");
        return 1;
    }
    // Many idle or stalled workstations must not exhaust the default soft descriptor limit.
    if (port_raise_open_file_limit() < 0)
        std::fprintf(stderr, "Warning: could not raise the open file limit\n");
    wrl_msgsrv* server = nullptr;
    const int created = wrl_msgsrv_create(options.address.c_str(), &server);
    if (created != 0) {
        std::printf("Could not start server (error %d)\n", created);
        return 1;
    }
    std::fprintf(stderr, "Quorvel server : %s\n", options.address.c_str());
    std::fprintf(stderr, "Version                 : %s\n", qm::kServerVersion);
    std::fprintf(stderr, "Database file           : %s\n", state.database_file.c_str());
    std::fprintf(stderr, "-------------------------------\n");
    std::fprintf(stderr,
                 "Quorvel multiuser server: locks, users and id counters of shared models\n");
    std::fprintf(stderr, "-------------------------------\n");
    std::fprintf(stderr, "Server started successfully.\n");

    register_server_handlers(server);
    std::fflush(stdout);  // start-up lines (conversion, a corrupted file) before the first request
    const int ended = wrl_msgsrv_run(server);
    // The loop only ends when the transport fails; say so instead of vanishing silently.
    std::printf("Server stopped (error %d)\n", ended);
    wrl_msgsrv_close(server);
    return 0;
}
