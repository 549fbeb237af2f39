// Bounded text copy into the fixed-size fields of the server's rows.
#include "server/server_rows.h"

#include <cstring>

void srv_copy_text(char* dst, size_t dst_size, const char* src, size_t src_size) {
    if (dst_size == 0) return;
    size_t n = 0;
    if (src != nullptr) {
        size_t limit = dst_size - 1;
        if (src_size < limit) limit = src_size;
        n = strnlen(src, limit);
        // memmove: the handler may copy a field of the request onto itself.
        std::memmove(dst, src, n);
    }
    std::memset(dst + n, 0, dst_size - n);
}
