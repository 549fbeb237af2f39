// The store's own opening of database files: plain binary stdio streams, opened
// close-on-exec so that a program the application starts never inherits them.
#include <cstdio>
#include <cstring>
#include <string>

#include "outside/domain_stream.h"

namespace {

// "r", "w" or "a", then at most one 'b' and one '+' in any order; the stdio mode with 'e'.
bool stdio_mode(const char* mode, std::string* out) {
    if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a') return false;
    bool binary = false;
    bool update = false;
    for (const char* p = mode + 1; *p != '\0'; ++p) {
        bool& seen = *p == 'b' ? binary : update;
        if ((*p != 'b' && *p != '+') || seen) return false;
        seen = true;
    }
    *out = std::string(1, mode[0]) + (update ? "+" : "") + "be";
    return true;
}

}  // namespace

FILE* dbv_fopen(const char* name, const char* mode) {
    if (name == nullptr || mode == nullptr || name[0] == '\0') return nullptr;
    std::string stdio;
    if (!stdio_mode(mode, &stdio)) return nullptr;
    return std::fopen(name, stdio.c_str());
}

int dbv_fclose(FILE* stream) {
    if (stream == nullptr) return EOF;
    return std::fclose(stream);
}
