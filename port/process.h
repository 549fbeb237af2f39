// Child processes and the calls a small helper program needs around them: starting a
// program without waiting, ending and reaping it, letting children write into this
// process's memory, writing into another process's memory, catching the stop signals and
// reading single keys from a terminal. The dialog client and its dialog program use these.
// Failures are reported by return value (with errno where a POSIX call failed), never by
// exceptions.
#pragma once

#include <cstddef>
#include <cstdint>

// The id of the calling process.
int64_t port_process_id();

// The id of the calling process's parent (1 or a subreaper once the parent has gone).
int64_t port_parent_process_id();

// Starts the program `argv[0]` without waiting for it. A name without '/' is searched
// along PATH. The child gets the words argv[0], argv[1], ... exactly as given (no shell,
// no joining or splitting: a word with blanks stays one word), the caller's environment
// and its open standard streams.
// REQUIRES: `argv` is terminated by a null pointer.
// Returns the child's process id, or -1 with errno set (null `argv` or empty argv[0]:
// EINVAL; a program that cannot be found or executed: ENOENT, EACCES, ...).
int64_t port_process_start(const char* const* argv);

// What port_process_end did.
enum PortProcessEnd {
    kPortProcessEndFailed = -1,   // still running (or never known); errno says why
    kPortProcessEndNotChild = 0,  // not a child of ours (any more): it was reaped elsewhere
    kPortProcessEndReaped = 1,    // it has exited and this call has reaped it
};

// Ends the child `pid` and reaps it, so that it no longer runs when this returns
// kPortProcessEndReaped. A child that has already exited is only reaped. A running child is
// sent SIGTERM and given `grace_ms` to exit, then SIGKILL and as long again. A pid that is
// not our child is never signalled (the number may belong to a stranger by now).
// REQUIRES: no other code of this process reaps `pid` concurrently.
// Returns kPortProcessEndFailed with errno EINVAL for pid <= 0 (those numbers name groups
// of processes) and ETIMEDOUT when the child outlived SIGKILL's wait.
PortProcessEnd port_process_end(int64_t pid, int grace_ms);

// Lets the processes this process starts (and their descendants) write into its memory
// with port_process_write_memory where the kernel's ptrace restriction (Yama) would
// otherwise refuse a child access to its parent. It names this process itself as the
// permitted tracer, which Yama reads as "this process and its descendants": one setting
// covers every child at once (the kernel keeps one permitted tracer per process) and can
// be made before the child exists, so the child never races the permission. Other
// processes of the same user stay refused, unlike PR_SET_PTRACER_ANY.
// Returns 0; a kernel without Yama (EINVAL) needs nothing and also gives 0; -1 with errno
// on any other refusal.
int port_process_allow_descendant_writes();

// Writes the `size` bytes at `data` into process `pid` at the address `address`, in one
// system call. Needs ptrace access to `pid` (same user and the Yama permission above, or
// the capability to trace).
// Returns 0 when every byte was written, otherwise an errno value and nothing is known
// to be written: EPERM (access refused), ESRCH (no such process), EFAULT (the address is
// not writable there, or only part was written), EINVAL (pid <= 0 or null data).
int port_process_write_memory(int64_t pid, uintptr_t address, const void* data, size_t size);

// True when the process `pid` exists (a zombie counts). False for pid <= 0.
bool port_process_exists(int64_t pid);

// Bits returned by port_take_stop_signals.
enum PortStopSignal {
    kPortSignalInterrupt = 1,  // SIGINT
    kPortSignalTerminate = 2,  // SIGTERM or SIGHUP
};

// Installs handlers for SIGINT, SIGTERM and SIGHUP that only note the signal, so that a
// program can finish cleanly (restore the terminal, answer its caller) from its main loop.
// Blocking calls are interrupted (no SA_RESTART). Returns false when a handler could not
// be installed.
bool port_catch_stop_signals();

// Puts the default handlers for SIGINT, SIGTERM and SIGHUP back.
void port_release_stop_signals();

// The stop signals noted since the previous call (a set of PortStopSignal bits), and
// forgets them.
int port_take_stop_signals();

// True when `fd` is a terminal.
bool port_is_terminal(int fd);

// A terminal's settings as they were before port_terminal_enter_key_mode.
struct PortTerminalState {
    bool saved = false;
    unsigned char settings[128] = {};  // the saved termios, opaque to callers
};

// Puts the terminal `fd` into key mode: every key press is readable at once, without
// echo, and Ctrl-C arrives as the byte 3 rather than as a signal. Saves the previous
// settings in `state`.
// REQUIRES: `state` is not saved yet.
// Returns false (state not saved) when `fd` is not a terminal or cannot be changed.
bool port_terminal_enter_key_mode(int fd, PortTerminalState* state);

// Puts the settings saved in `state` back on `fd` and marks the state unsaved. Does
// nothing when nothing was saved.
void port_terminal_restore(int fd, PortTerminalState* state);

// Waits up to `timeout_ms` for `fd` to become readable; a negative `fd` only waits, so
// that a loop without input still wakes at once for a signal.
// Returns 1 readable (or at its end), 0 timed out, -1 interrupted by a signal or failed.
int port_wait_readable(int fd, int timeout_ms);
