// Tests of the child-process calls: starting with an argument vector, ending and reaping,
// writing into a process's memory (our own and, from a child, the parent's), the stop
// signals and a terminal's key mode on a pseudo-terminal.
#include "port/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string TempPath(const char* stem) {
    return std::string("/tmp/port_process_test.") + stem + "." + std::to_string(getpid());
}

std::string ReadAll(const std::string& path) {
    std::stringstream all;
    all << std::ifstream(path).rdbuf();
    return all.str();
}

TEST(PortProcess, StartPassesEveryWordAsItIs) {
    const std::string out = TempPath("words");
    const std::string script = "printf '[%s]' \"$@\" > " + out;
    const char* argv[] = {"sh", "-c", script.c_str(), "sh", "two words", "", "\xAD*", nullptr};
    int64_t pid = port_process_start(argv);
    ASSERT_GT(pid, 0);
    int status = -1;
    ASSERT_EQ(waitpid(static_cast<pid_t>(pid), &status, 0), pid);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadAll(out), "[two words][][\xAD*]");
    unlink(out.c_str());
}

TEST(PortProcess, StartRefusesMissingProgramsAndEmptyVectors) {
    const char* missing[] = {"/nonexistent/qm_no_such_program", nullptr};
    errno = 0;
    EXPECT_EQ(port_process_start(missing), -1);
    EXPECT_EQ(errno, ENOENT);
    const char* empty[] = {"", nullptr};
    EXPECT_EQ(port_process_start(empty), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(port_process_start(nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(PortProcess, EndTerminatesARunningChildAndReapsIt) {
    const char* argv[] = {"sleep", "30", nullptr};
    int64_t pid = port_process_start(argv);
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(port_process_exists(pid));
    EXPECT_EQ(port_process_end(pid, 2000), kPortProcessEndReaped);
    EXPECT_FALSE(port_process_exists(pid));  // reaped: not even a zombie is left
    EXPECT_EQ(port_process_end(pid, 0), kPortProcessEndNotChild);
}

TEST(PortProcess, EndKillsAChildThatIgnoresTerminate) {
    // An ignored signal stays ignored across exec, so the sleep itself ignores SIGTERM.
    const std::string ready = TempPath("ready");
    unlink(ready.c_str());
    const std::string script = "trap '' TERM; : > " + ready + "; exec sleep 30";
    const char* argv[] = {"sh", "-c", script.c_str(), nullptr};
    int64_t pid = port_process_start(argv);
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 1000 && access(ready.c_str(), F_OK) != 0; ++i) usleep(10 * 1000);
    ASSERT_EQ(access(ready.c_str(), F_OK), 0);
    EXPECT_EQ(port_process_end(pid, 50), kPortProcessEndReaped);
    EXPECT_FALSE(port_process_exists(pid));
    unlink(ready.c_str());
}

TEST(PortProcess, EndOnlyReapsAChildThatHasExited) {
    const char* argv[] = {"true", nullptr};
    int64_t pid = port_process_start(argv);
    ASSERT_GT(pid, 0);
    siginfo_t info{};  // waits until it is a zombie, without reaping it
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_EQ(port_process_end(pid, 0), kPortProcessEndReaped);
    EXPECT_EQ(port_process_end(pid, 0), kPortProcessEndNotChild);
}

TEST(PortProcess, EndNeverSignalsWhatIsNotOurChild) {
    for (int64_t pid : {int64_t{0}, int64_t{-1}, int64_t{-5}, int64_t{1} << 40}) {
        errno = 0;
        EXPECT_EQ(port_process_end(pid, 0), kPortProcessEndFailed) << pid;
        EXPECT_EQ(errno, EINVAL) << pid;
    }
    // Our own process and our parent are no children of ours: reported, not signalled.
    EXPECT_EQ(port_process_end(port_process_id(), 0), kPortProcessEndNotChild);
    EXPECT_EQ(port_process_end(getppid(), 0), kPortProcessEndNotChild);
    EXPECT_TRUE(port_process_exists(getppid()));
}

TEST(PortProcess, WriteMemoryIntoOurselvesAndItsFailures) {
    std::atomic<uint32_t> flag{0};
    const uint32_t one = 1;
    const auto address = reinterpret_cast<uintptr_t>(&flag);
    EXPECT_EQ(port_process_write_memory(port_process_id(), address, &one, sizeof(one)), 0);
    EXPECT_EQ(flag.load(), 1u);
    EXPECT_EQ(port_process_write_memory(port_process_id(), 8, &one, sizeof(one)), EFAULT);
    EXPECT_EQ(port_process_write_memory(0, address, &one, sizeof(one)), EINVAL);
    EXPECT_EQ(port_process_write_memory(port_process_id(), address, nullptr, 4), EINVAL);

    const char* argv[] = {"true", nullptr};
    int64_t gone = port_process_start(argv);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(waitpid(static_cast<pid_t>(gone), nullptr, 0), gone);
    EXPECT_EQ(port_process_write_memory(gone, address, &one, sizeof(one)), ESRCH);
}

TEST(PortProcess, AChildWritesIntoItsParentOnceAllowed) {
    ASSERT_EQ(port_process_allow_descendant_writes(), 0);
    std::atomic<uint32_t> flag{0};
    const auto address = reinterpret_cast<uintptr_t>(&flag);
    const int64_t parent = port_process_id();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const uint32_t seven = 7;
        _exit(port_process_write_memory(parent, address, &seven, sizeof(seven)));
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == EPERM) {
        GTEST_SKIP() << "the kernel refused the child's write into its parent (EPERM)";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(flag.load(), 7u);
}

TEST(PortProcess, StopSignalsAreNotedAndTakenOnce) {
    ASSERT_TRUE(port_catch_stop_signals());
    EXPECT_EQ(port_take_stop_signals(), 0);
    raise(SIGINT);
    raise(SIGHUP);
    EXPECT_EQ(port_take_stop_signals(), kPortSignalInterrupt | kPortSignalTerminate);
    EXPECT_EQ(port_take_stop_signals(), 0);
    raise(SIGTERM);
    EXPECT_EQ(port_take_stop_signals(), kPortSignalTerminate);
    port_release_stop_signals();
}

TEST(PortProcess, KeyModeOnAPseudoTerminalAndBack) {
    int master = -1, slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(port_is_terminal(slave));
    PortTerminalState state;
    ASSERT_TRUE(port_terminal_enter_key_mode(slave, &state));
    EXPECT_FALSE(port_terminal_enter_key_mode(slave, &state));  // already saved
    termios now{};
    ASSERT_EQ(tcgetattr(slave, &now), 0);
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u);

    EXPECT_EQ(port_wait_readable(slave, 0), 0);
    ASSERT_EQ(write(master, "\x03", 1), 1);  // Ctrl-C is a key now
    EXPECT_EQ(port_wait_readable(slave, 1000), 1);
    char key = 0;
    ASSERT_EQ(read(slave, &key, 1), 1);
    EXPECT_EQ(key, '\x03');

    port_terminal_restore(slave, &state);
    EXPECT_FALSE(state.saved);
    ASSERT_EQ(tcgetattr(slave, &now), 0);
    EXPECT_NE(now.c_lflag & ICANON, 0u);
    close(master);
    close(slave);

    int file = open("/dev/null", O_RDONLY);
    ASSERT_GE(file, 0);
    EXPECT_FALSE(port_is_terminal(file));
    PortTerminalState plain;
    EXPECT_FALSE(port_terminal_enter_key_mode(file, &plain));
    EXPECT_FALSE(plain.saved);
    close(file);
}

}  // namespace
