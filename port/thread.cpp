// Thread creation. On Linux the nice value is per thread (per task), so setpriority on the
// thread's own id affects only it.
#include "port/thread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "port/debug_sink.h"

namespace port {

bool LowerCurrentThreadPriority() {
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    int current = ::getpriority(PRIO_PROCESS, tid);
    if (current == -1 && errno != 0) return false;
    if (current >= 19) return true;  // already as low as it goes
    return ::setpriority(PRIO_PROCESS, tid, current + 1) == 0;
}

std::thread StartThread(std::function<void()> body, bool below_normal, const char* failure_line) {
    try {
        return std::thread([body = std::move(body), below_normal, failure_line]() {
            if (below_normal && !LowerCurrentThreadPriority() && failure_line != nullptr) {
                DebugSinkWrite(failure_line);
            }
            body();
        });
    } catch (const std::system_error&) {
        return std::thread();
    }
}

}  // namespace port
