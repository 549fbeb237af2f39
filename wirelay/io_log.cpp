// Debug log and error texts of the I/O core. Every diagnostic line of the transport passes
// through io_log, so one lock keeps lines whole and one sink decides where they go.
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "port/debug_sink.h"
#include "wirelay/io_core.h"

namespace {
std::mutex& LogLock() {
    static std::mutex* lock = new std::mutex;  // outlives every static destructor
    return *lock;
}
char s_logbuffer[1024];
}  // namespace

void io_log(const char* format, ...) {
    std::lock_guard<std::mutex> guard(LogLock());
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(s_logbuffer, sizeof s_logbuffer, format, args);
    va_end(args);
    if (n < 0) return;
    size_t len = static_cast<size_t>(n);
    if (len >= sizeof s_logbuffer) {
        // A cut line still ends its line, so the next one starts on its own.
        len = sizeof s_logbuffer - 1;
        s_logbuffer[len - 1] = '\n';
    }
    port::DebugSinkWrite(std::string_view(s_logbuffer, len));
}

const char* io_strerror(int code) {
    static const char* const texts[] = {
        "(iolib) ok",
        "(iolib) fail",
        "(iolib) no memory",
        "(iolib) no such interface",
        "(iolib) connection broken",
        "(iolib) no requests",
        "(iolib) invalid argument",
        "(iolib) invalid operation",
        "(iolib) operation would block",
        "(iolib) timeout",
        "(iolib) address already in use",
    };
    if (code < 0 || code >= static_cast<int>(sizeof texts / sizeof texts[0])) {
        return "(iolib) unknown error";
    }
    return texts[code];
}
