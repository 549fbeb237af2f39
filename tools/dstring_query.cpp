// Null-safe queries and searches over texts; nothing here writes or allocates.
#include <cstring>

#include "tools/tool_dstring.h"

std::size_t tool_strlen(const char* text) {
    return text == nullptr ? 0 : std::strlen(text);
}

int tool_strcmp(const char* a, const char* b) {
    if (a == b) return 0;
    if (a == nullptr) return -1;
    if (b == nullptr) return 1;
    const int result = std::strcmp(a, b);  // compares as unsigned char
    return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

int tool_strcount(char c, const char* text) {
    if (text == nullptr) return 0;
    if (c == '\0') return 1;
    int count = 0;
    for (const char* p = text; *p != '\0'; ++p) count += *p == c ? 1 : 0;
    return count;
}

int tool_strhaschar(char c, const char* text) {
    if (text == nullptr) return 0;
    if (c == '\0') return 1;
    return std::strchr(text, c) != nullptr ? 1 : 0;
}

char* tool_strpbrk(const char* text, const char* set) {
    if (text == nullptr || set == nullptr) return nullptr;
    return const_cast<char*>(std::strpbrk(text, set));
}

char* tool_strrpbrk(const char* text, const char* set) {
    if (text == nullptr || set == nullptr) return nullptr;
    const char* last = nullptr;
    for (const char* p = std::strpbrk(text, set); p != nullptr; p = std::strpbrk(p + 1, set))
        last = p;
    return const_cast<char*>(last);
}

char* tool_strchr(const char* text, int c) {
    if (text == nullptr) return nullptr;
    return const_cast<char*>(std::strchr(text, c));
}

char* tool_strstr(const char* text, const char* needle) {
    if (text == nullptr || needle == nullptr) return nullptr;
    return const_cast<char*>(std::strstr(text, needle));
}
