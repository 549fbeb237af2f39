// Test harness for end-to-end tests: a temporary folder, a free TCP port, and a real
// qm_server (or qm_admin) process started in that folder with its standard output and
// error captured in files. Every wait has a time-out; the destructor kills what is left.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qm_e2e {

// A fresh folder under /tmp, removed with its contents by the destructor.
class temp_dir_c {
  public:
    temp_dir_c();
    ~temp_dir_c();
    temp_dir_c(const temp_dir_c&) = delete;
    temp_dir_c& operator=(const temp_dir_c&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

int free_port();                                 // a TCP port that was free a moment ago
std::string read_file(const std::string& path);  // empty when unreadable

// One child process; its environment is the test's own minus `unset`, plus `set`
// ("NAME=value").
class process_c {
  public:
    process_c() = default;
    ~process_c();
    process_c(const process_c&) = delete;
    process_c& operator=(const process_c&) = delete;
    // Starts `program` in `cwd` with stdout/stderr in files there named after `tag`.
    bool start(const std::string& program, const std::vector<std::string>& args,
               const std::string& cwd, const std::string& tag,
               const std::vector<std::string>& set = {},
               const std::vector<std::string>& unset = {});
    // Waits until `text` appears in stderr (or stdout); false on time-out or exit.
    bool wait_for_stderr(const std::string& text, int timeout_ms) {
        return wait_for(err_path_, text, timeout_ms);
    }
    bool wait_for_stdout(const std::string& text, int timeout_ms) {
        return wait_for(out_path_, text, timeout_ms);
    }
    // The exit status (128 + signal when killed), or -1 while still running at the time-out.
    int wait_exit(int timeout_ms);
    void kill_and_wait(int signal_number);
    pid_t pid() const { return pid_; }
    std::string out() const { return read_file(out_path_); }
    std::string err() const { return read_file(err_path_); }

  private:
    bool wait_for(const std::string& path, const std::string& text, int timeout_ms);
    bool reap(int options);
    pid_t pid_ = -1;
    int status_ = -1;
    std::string out_path_, err_path_;
};

// Runs a program to completion and returns its exit status (-1 on time-out).
int run_program(const std::string& program, const std::vector<std::string>& args,
                const std::string& cwd, std::string* out, std::string* err,
                const std::vector<std::string>& set = {}, int timeout_ms = 10000);

// A qm_server on "tcpip:localhost,PORT" in its own temporary folder, with QM_SERVER,
// QM_SERVER_DATABASE_DIRECTORY and QM_SERVER_ALLOW removed from its environment.
class server_c {
  public:
    // Set for every start ("NAME=value").
    std::vector<std::string> environment;
    // Starts the server and waits for "Server started successfully."; retries on another
    // port when a free port was taken meanwhile (not when `port` is given).
    bool start(const std::vector<std::string>& extra_args = {}, int port = 0);
    // Kills a running server and starts it again on the same port and folder.
    bool restart(const std::vector<std::string>& extra_args = {});
    std::string address() const { return "tcpip:localhost," + std::to_string(port_); }
    int port() const { return port_; }
    const std::string& dir() const { return dir_.path(); }
    std::string database_file() const {
        return dir_.file("tcpip_localhost_" + std::to_string(port_) + ".db");
    }
    process_c& process() { return process_; }
    bool wait_for_log(const std::string& text, int timeout_ms = 3000) {
        return process_.wait_for_stdout(text, timeout_ms);
    }
    std::string log() const { return process_.out(); }

  private:
    enum class launch_result { started, port_taken, failed };
    launch_result launch(const std::vector<std::string>& extra_args);
    temp_dir_c dir_;
    int port_ = 0;
    process_c process_;
    int starts_ = 0;
};

}  // namespace qm_e2e
