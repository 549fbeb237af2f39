// qm_server's entry: command line, server database, message server, banner, message loop.
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "port/clock.h"
#include "port/limits.h"
#include "server/allowed_networks.h"
#include "server/command_line.h"
#include "server/request_callback.h"
#include "server/server_database.h"
#include "server/server_state.h"
#include "wirelay/message_server.h"

namespace {

#ifdef __GLIBC__
// Answers queued for clients that do not read them, and their bursts, are many small
// blocks; once they are freed the C library keeps the pages they lay in unless the top of
// its heap is free. Handing back every free page after such a drop keeps resident memory
// at what the server holds rather than at the highest it ever held.
void on_release(void*) {
    malloc_trim(0);
}
#endif

bool on_peer(int family, const uint8_t* address, void* user) {
    const int64_t now_s = static_cast<int64_t>(port_monotonic_ns() / 1000000000u);
    return qm::filter_peer(*static_cast<qm::allowed_networks*>(user), family, address, now_s);
}

}  // namespace

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
    // Opt-in: without QM_SERVER_ALLOW every peer may connect, as workstations of the project
    // connect from other machines.
    const char* allow_text = std::getenv("QM_SERVER_ALLOW");
    qm::allowed_networks allowed;
    const bool filtering = allow_text != nullptr;
    std::string allow_error;
    if (filtering && !qm::parse_allowed_networks(allow_text, &allowed, &allow_error)) {
        std::fprintf(stderr, "qm_server: QM_SERVER_ALLOW: %s\n", allow_error.c_str());
        return 1;
    }
#ifdef __GLIBC__
    // Frame blocks of up to 4 MiB come and go with hostile or big clients. The C library's
    // default moves its threshold for mapping a block of its own up to the largest block
    // freed so far, after which such blocks come from the heap and their pages stay with
    // the process when freed: resident memory then climbs in steps under a long load.
    // A fixed threshold returns every large block to the system when it is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
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
#ifdef __GLIBC__
    wrl_msgsrv_setreleasehandler(server, on_release, nullptr);
#endif
    if (filtering) {
        wrl_msgsrv_setpeerfilter(server, on_peer, &allowed);
        std::fprintf(stderr, "Allowed networks        : %s\n", allow_text);
    }
    std::fflush(stdout);  // start-up lines (conversion, a corrupted file) before the first request
    const int ended = wrl_msgsrv_run(server);
    // The loop only ends when the transport fails; say so instead of vanishing silently.
    std::printf("Server stopped (error %d)\n", ended);
    wrl_msgsrv_close(server);
    return 0;
}
