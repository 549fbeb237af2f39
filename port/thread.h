// Threads of the transport's interfaces. They run below normal priority so that socket and
// serial work never crowds out the application thread that serves requests.
#pragma once

#include <functional>
#include <thread>

namespace port {

// Starts `body` on a new thread. With below_normal, the thread lowers its own scheduling
// priority (its nice value) first; a failure is written to the debug sink with
// `failure_line` and otherwise ignored. Returns the joinable thread, or an empty
// (non-joinable) std::thread when the thread cannot be created.
std::thread StartThread(std::function<void()> body, bool below_normal, const char* failure_line);

// Lowers the calling thread's priority one step below normal. false on failure.
bool LowerCurrentThreadPriority();

}  // namespace port
