// The open-file limit is raised to the hard limit, also from a lowered soft limit.
#include "port/limits.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(OpenFileLimit, RaisedFromALoweredSoftLimitToTheHardLimit) {
    // In a child, so the test process keeps its own limits.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        if (getrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(2);
        if (limit.rlim_max < 64) _exit(0);  // nothing to raise to
        rlimit lowered = limit;
        lowered.rlim_cur = 32;
        if (setrlimit(RLIMIT_NOFILE, &lowered) != 0) _exit(3);
        const int64_t now = port_raise_open_file_limit();
        rlimit after{};
        getrlimit(RLIMIT_NOFILE, &after);
        const bool ok = after.rlim_cur == limit.rlim_max && now > 32;
        _exit(ok ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}
