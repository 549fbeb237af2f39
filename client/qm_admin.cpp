// qm_admin: looks into a running multiuser server (connection, version, database file,
// clients, users, model locks, drawing locks) and can kick a user from a model.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "client/admin_commands.h"
#include "client/qm_client.h"

int main(int argc, char** argv) {
    const char* env = std::getenv("QM_SERVER");
    std::string address = (env != nullptr && env[0] != '\0') ? env : qm::kDefaultClientAddress;
    std::string name = "qm_admin-" + std::to_string(::getpid());
    int timeout_ms = qm::kDefaultClientTimeoutMs;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!args.empty()) {
            args.push_back(arg);
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(qm::admin_usage(), stdout);
            return qm::ADMIN_DONE;
        } else if ((arg == "--server" || arg == "--name" || arg == "--timeout") && i + 1 < argc) {
            const std::string value = argv[++i];
            if (arg == "--server")
                address = value;
            else if (arg == "--name")
                name = value;
            else
                timeout_ms = std::atoi(value.c_str());
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "qm_admin: unknown option '%s'\n%s", arg.c_str(),
                         qm::admin_usage());
            return qm::ADMIN_USAGE;
        } else {
            args.push_back(arg);
        }
    }
    if (args.empty() || !qm::is_admin_command(args[0])) {
        std::fprintf(
            stderr, "qm_admin: %s\n%s",
            args.empty() ? "no command given" : ("unknown command '" + args[0] + "'").c_str(),
            qm::admin_usage());
        return qm::ADMIN_USAGE;
    }
    if (name.empty() || name.size() > 32) {
        std::fprintf(stderr, "qm_admin: the name must have 1 to 32 characters\n");
        return qm::ADMIN_USAGE;
    }
    if (timeout_ms <= 0) {
        std::fprintf(stderr, "qm_admin: the time-out must be a positive number of milliseconds\n");
        return qm::ADMIN_USAGE;
    }
    qm::client_c client;
    const int code = client.connect(address, name, timeout_ms);
    if (code != 0) {
        std::fprintf(stderr, "qm_admin: cannot connect to %s as %s: %s%s\n", address.c_str(),
                     name.c_str(), qm::client_error_text(code).c_str(),
                     code == 1 ? " (bad address, or no server listening there)" : "");
        // A server that answers but refuses the name has said no; anything else is no connection.
        return (code == 9 || code == 12 || code == 13) ? qm::ADMIN_REFUSED
                                                       : qm::ADMIN_NO_CONNECTION;
    }
    return qm::run_admin_command(client, args, stdout, stderr);
}
