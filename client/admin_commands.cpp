// qm_admin's commands, each one or a few requests. The tool's own connection names a
// model in some requests (count, holder, kick), which gives it a user row on the server
// for as long as it stays connected; the count of a model's users leaves that row out.
#include "client/admin_commands.h"

#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qm {
namespace {

struct command_info {
    const char* name;
    int min_args;
    int max_args;
};
constexpr command_info kCommands[] = {
    {"test", 0, 0},  {"info", 0, 0},   {"clients", 0, 0},  {"users", 0, 0},
    {"count", 1, 1}, {"holder", 1, 1}, {"drawings", 1, 2}, {"kick", 2, 2},
};

// Reports a failed call. Transport trouble after connecting counts as "the server said no"
// unless the connection itself went away.
int call_failed(int code, std::FILE* err) {
    std::fprintf(err, "qm_admin: request failed: %s\n", client_error_text(code).c_str());
    return (code == 4 || code == 5 || code == 11) ? ADMIN_NO_CONNECTION : ADMIN_REFUSED;
}

bool parse_int(const std::string& text, int32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0') return false;
    *value = static_cast<int32_t>(v);
    return true;
}

int list_users(client_c& client, std::FILE* out, std::FILE* err) {
    std::vector<multiusers_row> rows;
    std::string last;
    for (int guard = 0; guard < 1000000; ++guard) {
        cdb_request reply;
        const int code = client.get_next_multiuser(last, reply);
        if (code != 0) return call_failed(code, err);
        if (reply.result != 1) break;
        const multiusers_row row = cdb_body_row<multiusers_row>(reply);
        const std::string user(row.UserName, strnlen(row.UserName, sizeof row.UserName));
        if (user.empty() || user == last) break;  // a server that repeats itself would loop
        rows.push_back(row);
        last = user;
    }
    const char* headings[] = {"MODEL", "USER", "LOGIN", "LAST ACCESS", "LAST SAVE", "LOCKED SINCE"};
    std::vector<std::vector<std::string>> table;
    table.push_back(std::vector<std::string>(std::begin(headings), std::end(headings)));
    for (const multiusers_row& row : rows) {
        table.push_back({std::string(row.ModelName, strnlen(row.ModelName, sizeof row.ModelName)),
                         std::string(row.UserName, strnlen(row.UserName, sizeof row.UserName)),
                         format_server_time(row.LoginTime), format_server_time(row.LastAccessTime),
                         format_server_time(row.LastSaveTime), format_server_time(row.LockedTime)});
    }
    std::vector<size_t> widths(6, 0);
    for (const auto& line : table)
        for (size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], line[i].size());
    for (const auto& line : table) {
        std::string text;
        for (size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) text += std::string(widths[i] - line[i].size() + 2, ' ');
        }
        std::fprintf(out, "%s\n", text.c_str());
    }
    std::fprintf(out, "%zu user%s\n", rows.size(), rows.size() == 1 ? "" : "s");
    return ADMIN_DONE;
}

}  // namespace

std::string format_server_time(int32_t seconds) {
    if (seconds == 0) return "-";
    const time_t t = static_cast<time_t>(seconds);
    struct tm local;
    if (localtime_r(&t, &local) == nullptr) return std::to_string(seconds);
    char text[32];
    ::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool is_admin_command(const std::string& name) {
    return std::any_of(std::begin(kCommands), std::end(kCommands),
                       [&](const command_info& c) { return name == c.name; });
}

const char* admin_usage() {
    return "usage: qm_admin [--server ADDRESS] [--name NAME] [--timeout MS] COMMAND [ARGS]\n"
           "  --server ADDRESS   default $QM_SERVER, else tcpip:localhost,1238\n"
           "  --name NAME        the name this tool identifies under (default qm_admin-PID)\n"
           "  --timeout MS       limit for connecting and identifying together, and for each\n"
           "                     request (default 5000)\n"
           "commands:\n"
           "  test                   test the connection\n"
           "  info                   server version and database file\n"
           "  clients                number of connected clients (this tool included)\n"
           "  users                  every user with model and times (local time)\n"
           "  count MODEL            number of users working on MODEL\n"
           "  holder MODEL           who holds the database lock of MODEL, since when\n"
           "  drawings USER [STATUS] drawings USER has locked (STATUS 1, or 2 for 2 and 3;\n"
           "                         both when omitted)\n"
           "  kick MODEL USER        drop USER's drawing locks, database lock of MODEL and row\n"
           "exit status: 0 done, 1 the server said no, 2 usage, 3 cannot connect\n";
}

int run_admin_command(client_c& client, const std::vector<std::string>& args, std::FILE* out,
                      std::FILE* err) {
    const command_info* command = nullptr;
    for (const command_info& c : kCommands)
        if (!args.empty() && args[0] == c.name) command = &c;
    const int given = static_cast<int>(args.size()) - 1;
    if (command == nullptr || given < command->min_args || given > command->max_args) {
        std::fprintf(
            err, "qm_admin: %s\n%s",
            command == nullptr ? "unknown or missing command" : "wrong number of arguments",
            admin_usage());
        return ADMIN_USAGE;
    }
    const std::string name = args[0];
    cdb_request reply;
    int code = 0;
    if (name == "test") {
        if ((code = client.test_connection(reply)) != 0) return call_failed(code, err);
        if (reply.result != 1) {
            std::fprintf(err, "qm_admin: the server answered the connection test with %d\n",
                         reply.result);
            return ADMIN_REFUSED;
        }
        std::fprintf(out, "Connection works.\n");
        return ADMIN_DONE;
    }
    if (name == "info") {
        if ((code = client.get_server_version(reply)) != 0) return call_failed(code, err);
        const std::string version(reply.body, strnlen(reply.body, sizeof reply.body));
        if ((code = client.get_server_database_name(reply)) != 0) return call_failed(code, err);
        const std::string file(reply.body, strnlen(reply.body, sizeof reply.body));
        std::fprintf(out, "Server version : %s\nDatabase file  : %s\n", version.c_str(),
                     reply.result == 1 ? file.c_str() : "(none)");
        return ADMIN_DONE;
    }
    if (name == "clients") {
        if ((code = client.get_nclients(reply)) != 0) return call_failed(code, err);
        std::fprintf(out, "%d\n", reply.result);
        return ADMIN_DONE;
    }
    if (name == "users") return list_users(client, out, err);
    if (name == "count") {
        if ((code = client.get_nclients_for_model(args[1], reply)) != 0)
            return call_failed(code, err);
        // The request itself made this tool a user of the model; it does not count.
        std::fprintf(out, "%d\n", std::max(0, reply.result - 1));
        return ADMIN_DONE;
    }
    if (name == "holder") {
        if ((code = client.get_user_and_time_for_modellock(args[1], 0, reply)) != 0)
            return call_failed(code, err);
        if (reply.result != 1) {
            std::fprintf(out, "Model %s is not locked.\n", args[1].c_str());
            return ADMIN_DONE;
        }
        const multiusers_row row = cdb_body_row<multiusers_row>(reply);
        std::fprintf(out, "Model %s is locked by %.*s since %s.\n", args[1].c_str(),
                     static_cast<int>(strnlen(row.UserName, sizeof row.UserName)), row.UserName,
                     format_server_time(row.LockedTime).c_str());
        return ADMIN_DONE;
    }
    if (name == "drawings") {
        std::vector<int32_t> statuses = {1, 2};
        if (given == 2) {
            int32_t status = 0;
            if (!parse_int(args[2], &status)) {
                std::fprintf(err, "qm_admin: STATUS must be a number\n");
                return ADMIN_USAGE;
            }
            statuses = {status};
        }
        for (int32_t status : statuses) {
            if ((code = client.get_locked_drawing_names(args[1], status, reply)) != 0)
                return call_failed(code, err);
            const char* label = status == 1  ? "status 1"
                                : status > 1 ? "status 2 and 3"
                                             : "status 0";
            std::fprintf(out, "%s: %s\n", label, reply.result == 1 ? reply.body : "(none)");
        }
        return ADMIN_DONE;
    }
    // kick
    if ((code = client.kick_client(args[1], args[2], reply)) != 0) return call_failed(code, err);
    if (reply.result != 1) {
        std::fprintf(err, "qm_admin: the server did not kick %s\n", args[2].c_str());
        return ADMIN_REFUSED;
    }
    std::fprintf(out, "User %s removed from model %s.\n", args[2].c_str(), args[1].c_str());
    return ADMIN_DONE;
}

}  // namespace qm
