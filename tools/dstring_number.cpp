// Number texts: lenient parsing of integers and doubles and formatting into per-thread
// result buffers. Caller-supplied formats are checked before use, so a format that does
// not fit the argument can never make printf read what was not passed.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/tool_dstring.h"

namespace {

// Big enough for any double printed with up to kMaxDecimals decimals (309 integer
// digits, sign, point), so no result is ever cut.
constexpr int kMaxDecimals = 100;
constexpr std::size_t kResultSize = 512;

thread_local char s_int_text[kResultSize];
thread_local char s_intf_text[kResultSize];
thread_local char s_double_text[kResultSize];
thread_local char s_doublef_text[kResultSize];

int digit_value(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    return v < base ? v : -1;
}

// Unsigned digits in `base`, saturating at 2^32 - 1 like the C library's conversions.
uint32_t read_unsigned(const char* p, int base) {
    uint64_t value = 0;
    for (int d = digit_value(*p, base); d >= 0; d = digit_value(*++p, base)) {
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (value > UINT32_MAX) return UINT32_MAX;
    }
    return static_cast<uint32_t>(value);
}

int read_decimal(const char* p) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) break;  // clamped below
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// True when `format` holds at most one conversion, whose letter is in `conversions`,
// with flags, a width and a precision given as digits (no '*'), and a length modifier
// from `lengths` at most; "%%" is allowed anywhere.
bool is_single_conversion_format(const char* format, const char* conversions, const char* lengths) {
    int count = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
        while (*p >= '0' && *p <= '9') ++p;
        if (*p == '.') {
            ++p;
            while (*p >= '0' && *p <= '9') ++p;
        }
        while (*p != '\0' && std::strchr(lengths, *p) != nullptr) ++p;
        if (*p == '\0' || std::strchr(conversions, *p) == nullptr) return false;
        if (++count > 1) return false;
    }
    return true;
}

}  // namespace

int tool_strtoint(const char* text) {
    if (text == nullptr) return 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return static_cast<int>(read_unsigned(text + 2, 16));
    }
    if (text[0] == 'o' || text[0] == 'O') {
        // "o17" is octal 17; the letter only marks the base.
        return static_cast<int>(read_unsigned(text + 1, 8));
    }
    return read_decimal(text);
}

const char* tool_inttostr(int value) {
    std::snprintf(s_int_text, kResultSize, "%d", value);
    return s_int_text;
}

const char* tool_inttostrf(const char* format, int value) {
    if (format == nullptr || !is_single_conversion_format(format, "diouxXc", "h")) format = "%d";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(s_intf_text, kResultSize, format, value);
#pragma GCC diagnostic pop
    return s_intf_text;
}

double tool_strtodouble(const char* text) {
    if (text == nullptr || text[0] == '\0') return 0.0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    return end == text ? 0.0 : value;
}

const char* tool_doubletostr(int min_decimals, int max_decimals, double value) {
    if (max_decimals < 0) max_decimals = 0;
    if (max_decimals > kMaxDecimals) max_decimals = kMaxDecimals;
    if (min_decimals < 0) min_decimals = 0;
    std::snprintf(s_double_text, kResultSize, "%.*f", max_decimals, value);
    char* point = std::strchr(s_double_text, '.');
    if (point != nullptr) {
        std::size_t length = std::strlen(s_double_text);
        std::size_t decimals = length - static_cast<std::size_t>(point - s_double_text) - 1;
        while (decimals > static_cast<std::size_t>(min_decimals) &&
               s_double_text[length - 1] == '0') {
            s_double_text[--length] = '\0';
            --decimals;
        }
        if (s_double_text[length - 1] == '.') s_double_text[length - 1] = '\0';
    }
    return s_double_text;
}

const char* tool_doubletostrf(const char* format, double value) {
    if (format == nullptr || std::strchr(format, 'f') == nullptr ||
        !is_single_conversion_format(format, "fFeEgGaA", "l")) {
        format = "%.3f";
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    std::snprintf(s_doublef_text, kResultSize, format, value);
#pragma GCC diagnostic pop
    return s_doublef_text;
}

int tool_charfromname(const char* text, int default_char) {
    if (text == nullptr) return default_char;
    if (std::strcmp(text, "phi") == 0) return 248;
    if (std::strcmp(text, "PHI") == 0) return 216;
    auto starts_with_folded = [text](const char* prefix) {
        for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
            if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
        }
        return true;
    };
    if (std::strlen(text) > 8 && starts_with_folded("unicode")) return tool_strtoint(text + 8);
    if (text[0] == '\\') return tool_strtoint(text + 1);
    if (std::strlen(text) == 4 && starts_with_folded("none")) return default_char;
    return static_cast<unsigned char>(text[0]);
}
