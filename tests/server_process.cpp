// Process and folder handling of the end-to-end tests (plain POSIX: spawning and signals
// belong to the harness, not to the programs under test).
#include "tests/server_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace qm_e2e {
namespace {

using steady = std::chrono::steady_clock;

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (auto& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}

}  // namespace

temp_dir_c::temp_dir_c() {
    char pattern[] = "/tmp/qm_e2e_XXXXXX";
    if (::mkdtemp(pattern) != nullptr) path_ = pattern;
}

temp_dir_c::~temp_dir_c() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

int free_port() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

process_c::~process_c() {
    kill_and_wait(SIGKILL);
}

bool process_c::start(const std::string& program, const std::vector<std::string>& args,
                      const std::string& cwd, const std::string& tag,
                      const std::vector<std::string>& set, const std::vector<std::string>& unset) {
    kill_and_wait(SIGKILL);
    out_path_ = cwd + "/" + tag + ".out";
    err_path_ = cwd + "/" + tag + ".err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    std::vector<std::string> argv = {program}, env;
    argv.insert(argv.end(), args.begin(), args.end());
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e, name = entry.substr(0, entry.find('=') + 1);
        bool drop = false;
        for (const auto& u : unset) drop = drop || name == u + "=";
        for (const auto& s : set) drop = drop || s.rfind(name, 0) == 0;
        if (!drop) env.push_back(entry);
    }
    env.insert(env.end(), set.begin(), set.end());
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, pointers(argv).data(),
                                 pointers(env).data());
    posix_spawn_file_actions_destroy(&actions);
    pid_ = rc == 0 ? pid : -1;
    status_ = -1;
    return rc == 0;
}

bool process_c::reap(int options) {
    int status = 0;
    if (pid_ <= 0 || ::waitpid(pid_, &status, options) != pid_) return false;
    status_ = WIFEXITED(status)     ? WEXITSTATUS(status)
              : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                    : -1;
    pid_ = -1;
    return true;
}

bool process_c::wait_for(const std::string& path, const std::string& text, int timeout_ms) {
    const auto until = steady::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        if (read_file(path).find(text) != std::string::npos) return true;
        if (pid_ <= 0 || steady::now() >= until) return false;
        if (reap(WNOHANG)) return read_file(path).find(text) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int process_c::wait_exit(int timeout_ms) {
    const auto until = steady::now() + std::chrono::milliseconds(timeout_ms);
    while (pid_ > 0 && !reap(WNOHANG)) {
        if (steady::now() >= until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status_;
}

void process_c::kill_and_wait(int signal_number) {
    if (pid_ <= 0) return;
    ::kill(pid_, signal_number);
    if (!reap(0)) pid_ = -1;
}

int run_program(const std::string& program, const std::vector<std::string>& args,
                const std::string& cwd, std::string* out, std::string* err,
                const std::vector<std::string>& set, int timeout_ms) {
    static int counter = 0;
    process_c process;
    if (!process.start(program, args, cwd, "run" + std::to_string(++counter), set)) return -1;
    const int status = process.wait_exit(timeout_ms);
    if (out != nullptr) *out = process.out();
    if (err != nullptr) *err = process.err();
    return status;
}

server_c::launch_result server_c::launch(const std::vector<std::string>& extra_args) {
    std::vector<std::string> args = {"localhost", std::to_string(port_)};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    if (!process_.start(QM_SERVER_BINARY, args, dir_.path(), "server" + std::to_string(++starts_),
                        environment,
                        {"QM_SERVER", "QM_SERVER_DATABASE_DIRECTORY", "QM_SERVER_ALLOW"}))
        return launch_result::failed;
    if (process_.wait_for_stderr("Server started successfully.\n", 5000))
        return launch_result::started;
    const bool port_taken = process_.out().find("(error 2)") != std::string::npos;
    process_.kill_and_wait(SIGKILL);
    return port_taken ? launch_result::port_taken : launch_result::failed;
}

bool server_c::start(const std::vector<std::string>& extra_args, int port) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        port_ = port != 0 ? port : free_port();
        const launch_result r = launch(extra_args);
        if (r != launch_result::port_taken || port != 0) return r == launch_result::started;
    }
    return false;
}

bool server_c::restart(const std::vector<std::string>& extra_args) {
    process_.kill_and_wait(SIGKILL);
    for (int attempt = 0; attempt < 40; ++attempt) {  // the old socket may linger a moment
        const launch_result r = launch(extra_args);
        if (r != launch_result::port_taken) return r == launch_result::started;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

}  // namespace qm_e2e
