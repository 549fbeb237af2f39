// Natural comparison of texts, so that "file2" sorts before "file10". Used to order
// drawing names and string lists; never allocates.
#include <cctype>

#include "tools/tool_dstring.h"

namespace {

// Numbers are read up to this many digits; two runs that both reach it fall back to a
// bytewise comparison of the rest, which keeps every value far inside 64 bits.
constexpr int kMaxNumberDigits = 10;

inline unsigned char fold(char c, bool lower) {
    const auto u = static_cast<unsigned char>(c);
    return lower ? static_cast<unsigned char>(std::tolower(u)) : u;
}

inline bool is_digit(unsigned char c) {
    return c >= '0' && c <= '9';
}

inline int sign_of(long long d) {
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

// tool_strcmp over optionally lower-cased bytes.
int compare_bytes(const char* a, const char* b, bool lower) {
    for (;; ++a, ++b) {
        const unsigned char ca = fold(*a, lower);
        const unsigned char cb = fold(*b, lower);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

struct NumberRun {
    long long value;
    int digits;
};

// Reads at most kMaxNumberDigits digits. A '-' before the digits is not part of the
// number: the walk only compares numbers where both texts hold a digit, so a minus sign
// is compared as an ordinary character one step earlier.
NumberRun read_number(const char* p) {
    NumberRun run{0, 0};
    while (run.digits < kMaxNumberDigits && is_digit(static_cast<unsigned char>(p[run.digits]))) {
        run.value = run.value * 10 + (p[run.digits] - '0');
        ++run.digits;
    }
    return run;
}

int compare_numbers(const char* a, const char* b, bool lower) {
    const NumberRun na = read_number(a);
    const NumberRun nb = read_number(b);
    if (na.digits < kMaxNumberDigits && nb.digits < kMaxNumberDigits) {
        return sign_of(na.value - nb.value);
    }
    if (nb.digits < kMaxNumberDigits) return 1;
    if (na.digits < kMaxNumberDigits) return -1;
    return compare_bytes(a, b, lower);
}

int natural_compare(const char* a, const char* b, bool lower) {
    if (a == b) return 0;
    if (a == nullptr) return -1;
    if (b == nullptr) return 1;
    // Equal texts need no pass of their own: every position then compares equal.
    // After a number comparison that gave 0 the walk moves on by one character, so the
    // remaining digits of equal numbers are compared again as shorter numbers ("a01" vs
    // "a1" then differs at the next position).
    std::size_t i = 0;
    int result = 0;
    while (b[i] != 0) {
        const unsigned char ca = fold(a[i], lower);
        const unsigned char cb = fold(b[i], lower);
        if (is_digit(ca) && is_digit(cb)) {
            result = compare_numbers(a + i, b + i, lower);
        } else {
            result = ca < cb ? -1 : (ca > cb ? 1 : 0);
        }
        if (result != 0) return result;
        ++i;
    }
    return a[i] != 0 ? 1 : 0;
}

}  // namespace

int tool_strnatcmp(const char* a, const char* b) {
    return natural_compare(a, b, false);
}

int tool_strnatcasecmp(const char* a, const char* b) {
    return natural_compare(a, b, true);
}
