// Linux implementation of the child-process calls: posix_spawnp, kill and waitpid,
// prctl(PR_SET_PTRACER), process_vm_writev, sigaction and termios.
#include "port/process.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

extern char** environ;

namespace {

static_assert(sizeof(termios) <= sizeof(PortTerminalState::settings));

// How often a waiting end looks at the child again.
constexpr int kReapPollMs = 5;

// First a request to finish cleanly, then the one the child cannot refuse.
constexpr int kEndSignals[] = {SIGTERM, SIGKILL};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t s_interrupted = 0;
volatile sig_atomic_t s_terminated = 0;

void NoteStopSignal(int signal_number) {
    if (signal_number == SIGINT) {
        s_interrupted = 1;
    } else {
        s_terminated = 1;
    }
}

void SleepMs(int ms) {
    timespec pause{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// Reaps `pid` if it has exited, waiting up to `wait_ms`. Returns 1 reaped, 0 still
// running, -1 with errno (ECHILD: not our child).
int ReapWithin(pid_t pid, int wait_ms) {
    for (int waited = 0;; waited += kReapPollMs) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return 1;
        if (r < 0 && errno != EINTR) return -1;
        if (waited >= wait_ms) return 0;
        SleepMs(kReapPollMs);
    }
}

}  // namespace

int64_t port_process_id() {
    return getpid();
}

int64_t port_parent_process_id() {
    return getppid();
}

int64_t port_process_start(const char* const* argv) {
    if (argv == nullptr || argv[0] == nullptr || argv[0][0] == '\0') {
        errno = EINVAL;
        return -1;
    }
    pid_t pid = 0;
    // posix_spawnp's prototype predates const-correct argument vectors; it does not
    // change the words.
    int rc = posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char* const*>(argv), environ);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

PortProcessEnd port_process_end(int64_t pid, int grace_ms) {
    if (pid <= 0 || pid != static_cast<pid_t>(pid)) {
        errno = EINVAL;
        return kPortProcessEndFailed;
    }
    const pid_t child = static_cast<pid_t>(pid);
    if (grace_ms < 0) grace_ms = 0;
    // Looking first means a pid that is no child of ours is never signalled.
    int r = ReapWithin(child, 0);
    if (r == 1) return kPortProcessEndReaped;
    if (r < 0) return errno == ECHILD ? kPortProcessEndNotChild : kPortProcessEndFailed;

    for (int signal_number : kEndSignals) {
        if (kill(child, signal_number) != 0 && errno != ESRCH) return kPortProcessEndFailed;
        r = ReapWithin(child, grace_ms);
        if (r == 1) return kPortProcessEndReaped;
        if (r < 0) return errno == ECHILD ? kPortProcessEndNotChild : kPortProcessEndFailed;
    }
    errno = ETIMEDOUT;
    return kPortProcessEndFailed;
}

int port_process_allow_descendant_writes() {
    if (prctl(PR_SET_PTRACER, static_cast<unsigned long>(getpid()), 0, 0, 0) == 0) return 0;
    return errno == EINVAL ? 0 : -1;
}

int port_process_write_memory(int64_t pid, uintptr_t address, const void* data, size_t size) {
    if (pid <= 0 || pid != static_cast<pid_t>(pid) || data == nullptr) return EINVAL;
    iovec local{const_cast<void*>(data), size};
    iovec remote{reinterpret_cast<void*>(address), size};
    ssize_t written = process_vm_writev(static_cast<pid_t>(pid), &local, 1, &remote, 1, 0);
    if (written < 0) return errno;
    return static_cast<size_t>(written) == size ? 0 : EFAULT;
}

bool port_process_exists(int64_t pid) {
    if (pid <= 0 || pid != static_cast<pid_t>(pid)) return false;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool port_catch_stop_signals() {
    struct sigaction action {};
    action.sa_handler = NoteStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int signal_number : kStopSignals) {
        if (sigaction(signal_number, &action, nullptr) != 0) return false;
    }
    return true;
}

void port_release_stop_signals() {
    for (int signal_number : kStopSignals) signal(signal_number, SIG_DFL);
}

int port_take_stop_signals() {
    // Signals block while the word is read and cleared so that none is lost in between.
    sigset_t stops, previous;
    sigemptyset(&stops);
    for (int signal_number : kStopSignals) sigaddset(&stops, signal_number);
    sigprocmask(SIG_BLOCK, &stops, &previous);
    int taken =
        (s_interrupted ? kPortSignalInterrupt : 0) | (s_terminated ? kPortSignalTerminate : 0);
    s_interrupted = 0;
    s_terminated = 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return taken;
}

bool port_is_terminal(int fd) {
    return isatty(fd) == 1;
}

bool port_terminal_enter_key_mode(int fd, PortTerminalState* state) {
    if (state == nullptr || state->saved) return false;
    termios before{};
    if (tcgetattr(fd, &before) != 0) return false;
    termios keys = before;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &keys) != 0) return false;
    std::memcpy(state->settings, &before, sizeof(before));
    state->saved = true;
    return true;
}

void port_terminal_restore(int fd, PortTerminalState* state) {
    if (state == nullptr || !state->saved) return;
    termios before{};
    std::memcpy(&before, state->settings, sizeof(before));
    tcsetattr(fd, TCSANOW, &before);
    state->saved = false;
}

int port_wait_readable(int fd, int timeout_ms) {
    pollfd watch{fd, POLLIN, 0};
    int r = poll(&watch, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (r < 0) return -1;
    return r == 0 ? 0 : 1;
}
