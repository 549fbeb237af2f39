// Byte exchange, bit order reversal and printing, and bounded copies into fixed-size
// character buffers (record fields of fixed width).
#include <cstdio>
#include <cstring>

#include "tools/tool_dstring.h"

namespace {

inline int get_bit(const unsigned char* bytes, std::size_t i) {
    return (bytes[i / 8] >> (i % 8)) & 1;
}

inline void set_bit(unsigned char* bytes, std::size_t i, int value) {
    const auto mask = static_cast<unsigned char>(1u << (i % 8));
    if (value != 0) {
        bytes[i / 8] = static_cast<unsigned char>(bytes[i / 8] | mask);
    } else {
        bytes[i / 8] = static_cast<unsigned char>(bytes[i / 8] & ~mask);
    }
}

}  // namespace

int tool_memswap(void* a, void* b, std::size_t n) {
    if (n == 0 || a == b) return 1;
    if (a == nullptr || b == nullptr) return 0;
    // A small stack chunk instead of a shared scratch block: no allocation that can fail
    // and nothing shared between threads.
    unsigned char chunk[256];
    auto* pa = static_cast<unsigned char*>(a);
    auto* pb = static_cast<unsigned char*>(b);
    for (std::size_t done = 0; done < n;) {
        const std::size_t step = n - done < sizeof chunk ? n - done : sizeof chunk;
        std::memmove(chunk, pa + done, step);
        std::memmove(pa + done, pb + done, step);
        std::memmove(pb + done, chunk, step);
        done += step;
    }
    return 1;
}

void tool_reversebits(std::size_t n, unsigned char* bytes) {
    if (bytes == nullptr || n < 2) return;
    for (std::size_t i = 0, j = n - 1; i < j; ++i, --j) {
        const int bi = get_bit(bytes, i);
        set_bit(bytes, i, get_bit(bytes, j));
        set_bit(bytes, j, bi);
    }
}

void tool_printbits(const char* title, std::size_t n, const unsigned char* bytes) {
    if (title != nullptr) std::printf("%s", title);
    if (bytes != nullptr) {
        for (std::size_t i = 0; i < n; ++i) std::printf("%d", get_bit(bytes, i));
    }
    std::printf("\n");
}

int tool_strlcpy(char* buffer, const char* text, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    const std::size_t length = text != nullptr ? strnlen(text, size - 1) : 0;
    std::memmove(buffer, text != nullptr ? text : "", length);
    buffer[length] = '\0';
    return 1;
}

int tool_strlcat(char* buffer, const char* text, std::size_t size) {
    if (buffer == nullptr || size == 0) return 0;
    std::size_t length = strnlen(buffer, size);
    if (length == size) {  // unterminated within the buffer: cut so that it ends inside
        length = size - 1;
        buffer[length] = '\0';
    }
    if (text == nullptr) return 1;
    const std::size_t room = size - 1 - length;
    const std::size_t add = strnlen(text, room);
    std::memmove(buffer + length, text, add);
    buffer[length + add] = '\0';
    return 1;
}

int tool_isdigit(int c) {
    return c >= '0' && c <= '9' ? 1 : 0;
}
