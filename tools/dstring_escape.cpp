// Escape and backslash conversions and tab expansion, each giving a freshly sized owned
// text. Escaped texts hold only letters, backslashes and digits, so they survive any
// line- or blank-separated file format and come back byte for byte.
#include <cstdint>
#include <cstring>

#include "tools/dstring_internal.h"
#include "tools/tool_dstring.h"

using tool_dstring_detail::print_error;
using tool_dstring_detail::shrink_to_fit;

namespace {

bool is_ascii_letter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char* new_text(std::size_t length, const char* failure_line) {
    char* text = static_cast<char*>(TOOL_MALLOC(length + 1));
    if (text == nullptr) print_error(failure_line);
    return text;
}

// Reads a decimal number the way atoi does (leading white space, a sign, digits) but
// without its undefined overflow: the value wraps modulo 2^32.
int32_t read_lenient_int(const char* p) {
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

std::size_t count_digits(const char* p) {
    std::size_t n = 0;
    while (p[n] >= '0' && p[n] <= '9') ++n;
    return n;
}

}  // namespace

char* tool_strescape(const char* text) {
    if (text == nullptr) return nullptr;
    std::size_t length = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        length += (c == '\\' || c == '\n' || c == '\r') ? 2 : is_ascii_letter(c) ? 1 : 4;
    }
    char* result = new_text(length, "Error: tool_strescape: Memory allocation failed!\n");
    if (result == nullptr) return nullptr;
    char* out = result;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == '\n' || c == '\r') {
            *out++ = '\\';
            *out++ = c == '\\' ? '\\' : (c == '\n' ? 'n' : 'r');
        } else if (is_ascii_letter(c)) {
            *out++ = static_cast<char>(c);
        } else {
            // The unsigned code, so bytes above 127 read back as themselves.
            *out++ = '\\';
            *out++ = static_cast<char>('0' + c / 100);
            *out++ = static_cast<char>('0' + c / 10 % 10);
            *out++ = static_cast<char>('0' + c % 10);
        }
    }
    *out = '\0';
    return result;
}

// Besides the three-digit codes of tool_strescape this accepts what people write by
// hand: after a backslash the text is read like atoi; a value whose low byte is not 0
// gives that byte and skips the digits right after the backslash, anything else (a
// trailing backslash, "\x", "\0", "\256") keeps the backslash as an ordinary character.
char* tool_strunescape(const char* text) {
    if (text == nullptr) return nullptr;
    if (std::strchr(text, '\\') == nullptr) return tool_strdup(text);
    // Every escape consumes at least as many characters as it produces.
    char* result =
        new_text(std::strlen(text), "Error: tool_strunescape: Memory allocation failed!\n");
    if (result == nullptr) return nullptr;
    char* out = result;
    const char* p = text;
    while (*p != '\0') {
        if (*p != '\\') {
            *out++ = *p++;
            continue;
        }
        if (p[1] == '\\' || p[1] == 'n' || p[1] == 'r') {
            *out++ = p[1] == '\\' ? '\\' : (p[1] == 'n' ? '\n' : '\r');
            p += 2;
            continue;
        }
        const int32_t value = read_lenient_int(p + 1);
        const auto code = static_cast<unsigned char>(static_cast<uint32_t>(value) & 0xFFu);
        if (value != 0 && code != 0) {
            *out++ = static_cast<char>(code);
            p += 1 + count_digits(p + 1);
        } else {
            *out++ = *p++;
        }
    }
    *out = '\0';
    return shrink_to_fit(result);
}

char* tool_strdoublebackslashes(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length =
        std::strlen(text) + static_cast<std::size_t>(tool_strcount('\\', text));
    char* result =
        new_text(length, "Error: tool_strdoublebackslashes: Memory allocation failed!\n");
    if (result == nullptr) return nullptr;
    char* out = result;
    for (const char* p = text; *p != '\0'; ++p) {
        *out++ = *p;
        if (*p == '\\') *out++ = '\\';
    }
    *out = '\0';
    return result;
}

char* tool_strcollapsebackslashes(char** string) {
    if (string == nullptr || *string == nullptr) return nullptr;
    char* text = *string;
    if (text[0] == '\0') return text;
    // The first character is kept as it is: a leading "\\" names a network share.
    char* out = text + 1;
    for (const char* p = text + 1; *p != '\0'; ++p) {
        *out++ = *p;
        if (p[0] == '\\' && p[1] == '\\') ++p;
    }
    *out = '\0';
    *string = shrink_to_fit(text);
    return *string;
}

int tool_change_tabulators_to_spaces(const char* text, char** tabbed_string) {
    if (tabbed_string == nullptr) return 0;
    if (text != nullptr && text == *tabbed_string) {
        print_error("Error: tool_change_tabulators_to_spaces: string == *tabbed_string!\n");
        return 0;
    }
    if (text == nullptr) {
        tool_strfree(tabbed_string);
        return 1;
    }
    constexpr std::size_t kTabWidth = 8;
    const std::size_t length = std::strlen(text);
    if (length > (SIZE_MAX - 1) / kTabWidth) return 0;
    // A tab widens to at most kTabWidth characters; the block is trimmed afterwards.
    char* result = new_text(length * kTabWidth,
                            "Error: tool_change_tabulators_to_spaces: Memory allocation failed!\n");
    if (result == nullptr) return 0;
    std::size_t column = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\t') {
            do {
                result[column++] = ' ';
            } while (column % kTabWidth != 0);
        } else {
            result[column++] = *p;
        }
    }
    result[column] = '\0';
    tool_strfree(tabbed_string);
    *tabbed_string = shrink_to_fit(result);
    return 1;
}
