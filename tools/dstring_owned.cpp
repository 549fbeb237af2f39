// Owned dynamic strings: copies, appends, formatting and replacement of heap texts that
// the library reallocates or frees on the caller's behalf.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/dstring_internal.h"
#include "tools/tool_dstring.h"

namespace tool_dstring_detail {

namespace {

// True when `p` points into the text of `block` (terminator included). Compared as
// integers because the pointers usually belong to different objects.
bool points_into(const char* p, const char* block) {
    if (p == nullptr || block == nullptr) return false;
    const auto ip = reinterpret_cast<std::uintptr_t>(p);
    const auto ib = reinterpret_cast<std::uintptr_t>(block);
    return ip >= ib && ip <= ib + std::strlen(block);
}

char* fail(char** string, const char* failure_line) {
    print_error(failure_line);
    tool_strfree(string);
    return nullptr;
}

}  // namespace

void print_error(const char* line) {
    std::fputs(line, stderr);
}

char* shrink_to_fit(char* string) {
    if (string == nullptr) return nullptr;
    char* smaller = static_cast<char*>(TOOL_REALLOC(string, std::strlen(string) + 1));
    return smaller != nullptr ? smaller : string;
}

char* assign(char** string, const char* text, std::size_t length, const char* failure_line) {
    if (points_into(text, *string)) {
        // The text is a tail of the string itself: move it to the front, then trim.
        std::memmove(*string, text, length);
        (*string)[length] = '\0';
        *string = shrink_to_fit(*string);
        return *string;
    }
    char* block = static_cast<char*>(TOOL_REALLOC(*string, length + 1));
    if (block == nullptr) return fail(string, failure_line);
    std::memcpy(block, text, length);
    block[length] = '\0';
    *string = block;
    return block;
}

char* append(char** string, const char* text, std::size_t length, const char* failure_line) {
    const std::size_t old_length = *string != nullptr ? std::strlen(*string) : 0;
    // Reallocation may move the block, so a text inside it is remembered by its offset.
    const bool inside = points_into(text, *string);
    const std::size_t offset = inside ? static_cast<std::size_t>(text - *string) : 0;
    char* block = static_cast<char*>(TOOL_REALLOC(*string, old_length + length + 1));
    if (block == nullptr) return fail(string, failure_line);
    const char* source = inside ? block + offset : text;
    std::memmove(block + old_length, source, length);
    block[old_length + length] = '\0';
    *string = block;
    return block;
}

}  // namespace tool_dstring_detail

using tool_dstring_detail::append;
using tool_dstring_detail::assign;
using tool_dstring_detail::print_error;

namespace {

// Length of at most `n` characters of text; n < 0 means the whole text.
std::size_t clipped_length(const char* text, long n) {
    return n < 0 ? std::strlen(text) : strnlen(text, static_cast<std::size_t>(n));
}

// Formatting buffer of tool_sprintf: created at first use with this size, doubled while a
// result does not fit, never shrunk. One per thread, so no caller can see another
// thread's text half-written.
constexpr std::size_t kInitialFormatBufferSize = 100000;

struct FormatBuffer {
    char* data = nullptr;
    std::size_t size = 0;
    ~FormatBuffer() { TOOL_FREE(data); }
};

thread_local FormatBuffer s_format_buffer;

}  // namespace

char* tool_strdup(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(TOOL_MALLOC(length + 1));
    if (copy == nullptr) {
        print_error("Error: tool_strdup: Memory allocation failed!\n");
        return nullptr;
    }
    std::memcpy(copy, text, length + 1);
    return copy;
}

char* tool_memdup(const void* bytes, long n) {
    if (bytes == nullptr || n < 1) return nullptr;
    const auto size = static_cast<std::size_t>(n);
    // One byte more than asked, zero, so that byte copies of texts are terminated.
    char* copy = static_cast<char*>(TOOL_MALLOC(size + 1));
    if (copy == nullptr) {
        print_error("Error: tool_memdup: Memory allocation failed!\n");
        return nullptr;
    }
    std::memcpy(copy, bytes, size);
    return copy;
}

int tool_strfree(char** string) {
    if (string == nullptr) return 0;
    if (*string != nullptr) {
        (*string)[0] = '\0';  // a stale pointer kept elsewhere then reads an empty text
        TOOL_FREE(*string);
        *string = nullptr;
    }
    return 1;
}

char* tool_strcpy(char** string, const char* text) {
    if (string == nullptr) return nullptr;
    if (text == *string) return *string;
    if (text == nullptr) {
        tool_strfree(string);
        return nullptr;
    }
    return assign(string, text, std::strlen(text),
                  "Error: tool_strcpy: Memory allocation failed!\n");
}

char* tool_strncpy(char** string, const char* text, long n) {
    if (string == nullptr) return nullptr;
    if (text == nullptr) {
        tool_strfree(string);
        return nullptr;
    }
    if (text == *string) {
        print_error("Error: tool_strncpy: *to == from!\n");
        return *string;
    }
    return assign(string, text, clipped_length(text, n),
                  "Error: tool_strncpy: Memory allocation failed!\n");
}

char* tool_strcat(char** string, const char* text) {
    if (string == nullptr) return nullptr;
    if (text == nullptr) return *string;
    if (text == *string) {
        print_error("Error: tool_strcat: *to == from!\n");
        return *string;
    }
    return append(string, text, std::strlen(text),
                  "Error: tool_strcat: Memory allocation failed!\n");
}

char* tool_strncat(char** string, const char* text, long n) {
    if (string == nullptr) return nullptr;
    if (text == nullptr) return *string;
    if (text == *string) {
        print_error("Error: tool_strncat: *to == from!\n");
        return *string;
    }
    return append(string, text, clipped_length(text, n),
                  "Error: tool_strncat: Memory allocation failed!\n");
}

char* tool_sprintf(char** string, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    char* result = tool_vsprintf(string, format, arguments);
    va_end(arguments);
    return result;
}

char* tool_vsprintf(char** string, const char* format, va_list arguments) {
    if (string == nullptr) return nullptr;
    if (format == nullptr) {
        tool_strfree(string);
        return nullptr;
    }
    static constexpr const char* kFailure = "Error: tool_sprintf() - Memory allocation failed\n";
    FormatBuffer& buffer = s_format_buffer;
    if (buffer.data == nullptr) {
        buffer.data = static_cast<char*>(TOOL_MALLOC(kInitialFormatBufferSize));
        if (buffer.data == nullptr) {
            print_error(kFailure);
            tool_strfree(string);
            return nullptr;
        }
        buffer.size = kInitialFormatBufferSize;
    }
    int written = 0;
    for (;;) {
        va_list attempt;
        va_copy(attempt, arguments);
        written = std::vsnprintf(buffer.data, buffer.size, format, attempt);
        va_end(attempt);
        if (written < 0) {  // an encoding error: there is no text to keep
            tool_strfree(string);
            return nullptr;
        }
        if (static_cast<std::size_t>(written) < buffer.size) break;
        // The old buffer stays in place when it cannot be doubled.
        char* bigger = static_cast<char*>(TOOL_REALLOC(buffer.data, buffer.size * 2));
        if (bigger == nullptr) {
            print_error(kFailure);
            tool_strfree(string);
            return nullptr;
        }
        buffer.data = bigger;
        buffer.size *= 2;
    }
    return tool_strcpy(string, buffer.data);
}

char* tool_strreplace(char** string, const char* needle, const char* replacement) {
    if (string == nullptr || *string == nullptr) return string != nullptr ? *string : nullptr;
    if (needle == nullptr || needle[0] == '\0') return *string;
    if (replacement == nullptr) replacement = "";
    const std::size_t needle_length = std::strlen(needle);
    const std::size_t replacement_length = std::strlen(replacement);
    std::size_t count = 0;
    for (const char* p = std::strstr(*string, needle); p != nullptr;
         p = std::strstr(p + needle_length, needle)) {
        ++count;
    }
    if (count == 0) return *string;
    const std::size_t old_length = std::strlen(*string);
    const std::size_t new_length = old_length - count * needle_length + count * replacement_length;
    char* result = static_cast<char*>(TOOL_MALLOC(new_length + 1));
    if (result == nullptr) {
        // The original text is still whole, so it is kept; the null result tells the caller.
        print_error("Error: tool_strreplace: Memory allocation failed!\n");
        return nullptr;
    }
    char* out = result;
    const char* rest = *string;
    for (const char* p = std::strstr(rest, needle); p != nullptr; p = std::strstr(rest, needle)) {
        std::memcpy(out, rest, static_cast<std::size_t>(p - rest));
        out += p - rest;
        std::memcpy(out, replacement, replacement_length);
        out += replacement_length;
        rest = p + needle_length;
    }
    std::memcpy(out, rest, std::strlen(rest) + 1);
    tool_strfree(string);
    *string = result;
    return result;
}
