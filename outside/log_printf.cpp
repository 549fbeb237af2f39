// logPrintf and its replaceable sink. The sink is held by shared_ptr so that a call can
// use it outside the lock while another thread installs a new one.
#include "outside/log_printf.h"

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace {

std::mutex& sink_mutex() {
    static std::mutex m;
    return m;
}

std::shared_ptr<const LogSink>& current_sink() {
    static std::shared_ptr<const LogSink> sink;
    return sink;
}

}  // namespace

void setLogSink(LogSink sink) {
    std::shared_ptr<const LogSink> next;
    if (sink) next = std::make_shared<const LogSink>(std::move(sink));
    std::lock_guard<std::mutex> lock(sink_mutex());
    current_sink().swap(next);
}

void logPrintf(int level, const char* format, ...) {
    if (format == nullptr) return;
    char small[512];
    std::string large;
    const char* text = small;

    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (static_cast<size_t>(length) >= sizeof small) {
        large.resize(static_cast<size_t>(length) + 1);
        vsnprintf(large.data(), large.size(), format, again);
        text = large.c_str();
    }
    va_end(again);

    std::shared_ptr<const LogSink> sink;
    {
        std::lock_guard<std::mutex> lock(sink_mutex());
        sink = current_sink();
    }
    if (sink) {
        (*sink)(level, text);
    } else {
        fputs(text, stderr);
    }
}
