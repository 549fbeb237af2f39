// qm_cancel_dialog: the terminal dialog program of the out-of-process cancel dialog. It
// shows the caption, the message and a progress line, and when the user cancels (a key on
// the terminal, or SIGINT) writes the cancel flag into the application's memory.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "port/clock.h"
#include "port/process.h"
#include "services/dialog_protocol.h"

namespace {

constexpr const char* kHelp =
    "Usage: qm_cancel_dialog FIRST SECOND ADDR=<address> SLEEP=<ms> MSG=<text> CAPTION\n"
    "                        BTNTXT=<text> ENT1=<text> ENT2=<text> ENT3=<text> [PID=<pid>]\n"
    "       qm_cancel_dialog --help\n"
    "\n"
    "The cancel dialog of a long command, started by the application's dialog client.\n"
    "It waits SLEEP milliseconds, then shows CAPTION, the message and a progress line on\n"
    "the terminal. A key (when standard input is a terminal) or SIGINT cancels: the program\n"
    "writes the 32-bit word 1 at ADDR into the process PID (its parent without PID=) with\n"
    "process_vm_writev, then shows ENT1 and ENT2 with the dots of ENT3 until it is ended.\n"
    "The application lets its children write there with prctl(PR_SET_PTRACER) naming\n"
    "itself, and keeps the word in place until it has reaped this program. SIGTERM or\n"
    "SIGHUP ends the program; so does the end of the application.\n"
    "\n"
    "FIRST and SECOND belong to the application and are not used. CAPTION is TITLE=<text>\n"
    "or <application> - TITLE=<text>. A text word may be empty; in the texts the byte 0xAD\n"
    "stands for a blank.\n"
    "\n"
    "Exit status: 0 done (ended, or the application has gone), 1 failed (for example the\n"
    "kernel refused to let the cancel flag be written), 2 usage.\n";

constexpr int kTickMs = 200;
constexpr const char* kDefaultDots = "...............";

// Waits out the delay. Returns the stop signals that ended it early, or 0.
int WaitDelay(int delay_ms) {
    const uint64_t end = port_monotonic_ns() + static_cast<uint64_t>(delay_ms) * 1000000u;
    for (uint64_t now = port_monotonic_ns(); now < end; now = port_monotonic_ns()) {
        const uint64_t left_ms = (end - now + 999999u) / 1000000u;
        port_wait_readable(-1, left_ms < kTickMs ? static_cast<int>(left_ms) : kTickMs);
        if (int signals = port_take_stop_signals(); signals != 0) return signals;
    }
    return 0;
}

// Writes the cancel flag. Returns false after saying why on standard error.
bool WriteCancelFlag(const cncl::DialogCommandLine& line, int64_t application) {
    const uint32_t flag = cncl::kCancelFlagValue;
    const int error = port_process_write_memory(
        application, static_cast<uintptr_t>(line.flag_address), &flag, sizeof(flag));
    if (error == 0) return true;
    std::fprintf(stderr,
                 "qm_cancel_dialog: cannot write the cancel flag at 0x%llx into process %lld: "
                 "%s%s\n",
                 static_cast<unsigned long long>(line.flag_address),
                 static_cast<long long>(application), std::strerror(error),
                 error == EPERM ? " (the application must allow its children with "
                                  "prctl(PR_SET_PTRACER))"
                                : "");
    return false;
}

class Screen {
  public:
    Screen(const cncl::DialogCommandLine& line, bool keys)
        : line_(line), animate_(port_is_terminal(STDOUT_FILENO)) {
        std::printf("%s\n%s\n", line.caption.c_str(), line.message.c_str());
        if (!line.button.empty()) {
            std::printf("[ %s ] %s\n", line.button.c_str(),
                        keys ? "press any key to cancel" : "send SIGINT to cancel");
        }
        std::fflush(stdout);
    }
    ~Screen() {
        if (animate_) std::printf("\n");
        std::fflush(stdout);
    }
    void ShowCanceling() {
        std::printf("%s%s %s\n", animate_ ? "\r\033[K" : "", line_.canceling.c_str(),
                    line_.please_wait.c_str());
        std::fflush(stdout);
    }
    // One step of the running dots; only a terminal can show them moving.
    void Tick() {
        if (!animate_) return;
        const std::string dots = line_.running_dots.empty() ? kDefaultDots : line_.running_dots;
        const size_t shown = tick_++ % (dots.size() + 1);
        std::printf("\r\033[K%s", dots.substr(0, shown).c_str());
        std::fflush(stdout);
    }

  private:
    const cncl::DialogCommandLine& line_;
    const bool animate_;
    size_t tick_ = 0;
};

int Run(const cncl::DialogCommandLine& line, int64_t application) {
    int signals = WaitDelay(line.sleep_ms);
    if (signals & kPortSignalTerminate) return 0;

    PortTerminalState terminal;
    bool keys = port_terminal_enter_key_mode(STDIN_FILENO, &terminal);
    int status = 0;
    {
        Screen screen(line, keys);
        bool cancelled = false;
        for (;;) {
            bool key = false;
            if (port_wait_readable(keys ? STDIN_FILENO : -1, kTickMs) == 1 && keys) {
                char byte = 0;
                key = read(STDIN_FILENO, &byte, 1) == 1;
                if (!key) keys = false;  // the terminal has gone: no more keys to read
            }
            signals |= port_take_stop_signals();
            if (signals & kPortSignalTerminate) break;
            if (!cancelled && (key || (signals & kPortSignalInterrupt))) {
                if (!WriteCancelFlag(line, application)) {
                    status = 1;
                    break;
                }
                cancelled = true;
                screen.ShowCanceling();
            }
            signals = 0;
            if (!port_process_exists(application)) break;  // nobody is left to tell
            screen.Tick();
        }
    }
    port_terminal_restore(STDIN_FILENO, &terminal);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    cncl::DialogCommandLine line;
    std::string error;
    if (!cncl::ParseDialogCommandLine(argc, argv, &line, &error)) {
        std::fprintf(stderr, "qm_cancel_dialog: %s\nTry 'qm_cancel_dialog --help'.\n",
                     error.c_str());
        return 2;
    }
    if (!port_catch_stop_signals()) {
        std::fprintf(stderr, "qm_cancel_dialog: cannot catch SIGINT and SIGTERM\n");
        return 1;
    }
    const int64_t application =
        line.application_pid != 0 ? line.application_pid : port_parent_process_id();
    return Run(line, application);
}
