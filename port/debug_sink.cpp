// The debug sink keeps one FILE* open for the life of the process and flushes after every
// line, so a crash loses nothing that was logged before it.
#include "port/debug_sink.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace port {

namespace {
struct Sink {
    std::mutex mutex;
    bool resolved = false;  // the path has been decided
    bool overridden = false;
    std::string path;
    FILE* file = nullptr;
    bool failed = false;  // opening failed once; do not retry per line
};

Sink& TheSink() {
    static Sink* sink = new Sink;  // never destroyed: lines may come from exit-time code
    return *sink;
}

void Resolve(Sink& s) {
    if (s.resolved) return;
    s.resolved = true;
    if (!s.overridden) {
        const char* env = std::getenv("WIRELAY_DEBUG_LOG");
        s.path = (env != nullptr) ? env : "";
    }
}
}  // namespace

void DebugSinkWrite(std::string_view line) {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    Resolve(s);
    if (s.path.empty() || s.failed) return;
    if (s.file == nullptr) {
        s.file = std::fopen(s.path.c_str(), "a");
        if (s.file == nullptr) {
            s.failed = true;
            return;
        }
    }
    std::fwrite(line.data(), 1, line.size(), s.file);
    std::fflush(s.file);
}

void DebugSinkSetPath(const char* path) {
    Sink& s = TheSink();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.file != nullptr) std::fclose(s.file);
    s.file = nullptr;
    s.failed = false;
    s.overridden = (path != nullptr);
    s.path = (path != nullptr) ? path : "";
    s.resolved = s.overridden;
}

}  // namespace port
