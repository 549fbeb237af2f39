// In-place edits of plain character arrays: they never allocate and return the same
// pointer, so they also work on fixed buffers and on texts inside records.
#include <cctype>
#include <cstring>

#include "tools/tool_dstring.h"

namespace {

// Position of `index` in a text of `length` characters (negative counts from the end),
// or -1 when outside.
long resolve_index(std::size_t length, long index) {
    const long n = static_cast<long>(length);
    const long position = index < 0 ? n + index : index;
    return position >= 0 && position < n ? position : -1;
}

}  // namespace

char* tool_strreverse(char* text) {
    if (text == nullptr) return nullptr;
    std::size_t length = std::strlen(text);
    for (std::size_t i = 0; i < length / 2; ++i) {
        const char c = text[i];
        text[i] = text[length - 1 - i];
        text[length - 1 - i] = c;
    }
    return text;
}

char* tool_strupper(char* text) {
    if (text == nullptr) return nullptr;
    for (char* p = text; *p != '\0'; ++p) {
        *p = static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    }
    return text;
}

char* tool_strlower(char* text) {
    if (text == nullptr) return nullptr;
    for (char* p = text; *p != '\0'; ++p) {
        *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    }
    return text;
}

char* tool_strreplacechar(char* text, char a, char b) {
    if (text == nullptr || a == b || a == '\0') return text;
    for (char* p = text; *p != '\0'; ++p) {
        if (*p == a) {
            *p = b;
            if (b == '\0') break;  // the text ends here now
        }
    }
    return text;
}

char* tool_strtobackslashes(char* text) {
    return tool_strreplacechar(text, '/', '\\');
}

char* tool_strtoslashes(char* text) {
    return tool_strreplacechar(text, '\\', '/');
}

char* tool_strremovechar(char* text, char c) {
    if (text == nullptr || c == '\0') return text;
    char* out = text;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != c) *out++ = *p;
    }
    *out = '\0';
    return text;
}

char* tool_strcutstart(char* text, long n) {
    if (text == nullptr || n < 1) return text;
    const std::size_t length = std::strlen(text);
    if (static_cast<std::size_t>(n) > length) return text;
    std::memmove(text, text + n, length - static_cast<std::size_t>(n) + 1);
    return text;
}

char* tool_strcutend(char* text, long n) {
    if (text == nullptr || n < 1) return text;
    const std::size_t length = std::strlen(text);
    text[static_cast<std::size_t>(n) >= length ? 0 : length - static_cast<std::size_t>(n)] = '\0';
    return text;
}

char* tool_strstripstart(char* text, char c) {
    if (text == nullptr || c == '\0') return text;
    std::size_t skip = 0;
    while (text[skip] == c) ++skip;
    if (skip > 0) std::memmove(text, text + skip, std::strlen(text + skip) + 1);
    return text;
}

char* tool_strstripend(char* text, char c) {
    if (text == nullptr || c == '\0') return text;
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == c) text[--length] = '\0';
    return text;
}

char* tool_strsqueeze(char* text, char c) {
    if (text == nullptr || text[0] == '\0' || text[1] == '\0') return text;
    char* out = text + 1;
    for (const char* p = text + 1; *p != '\0'; ++p) {
        const bool repeat = *p == out[-1] && (c == '\0' || *p == c);
        if (!repeat) *out++ = *p;
    }
    *out = '\0';
    return text;
}

int tool_strsetchar(char* text, long index, char c) {
    if (text == nullptr) return 0;
    const long position = resolve_index(std::strlen(text), index);
    if (position < 0) return 0;
    text[position] = c;
    return 1;
}

char tool_strgetchar(const char* text, long index) {
    if (text == nullptr) return '\0';
    const long position = resolve_index(std::strlen(text), index);
    return position < 0 ? '\0' : text[position];
}
