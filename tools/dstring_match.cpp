// Wildcard matching of names against patterns such as "part*_v??[ab].dwg". Every pattern
// element other than a star matches exactly one character, which lets a single
// remembered star position replace recursion: time O(pattern * text), no stack growth.
#include <cctype>
#include <cstring>

#include "tools/tool_dstring.h"

namespace {

inline bool is_star(char c) {
    return c == '*' || c == '%';
}

inline bool same_char(char a, char b, bool ignore_case) {
    if (a == b) return true;
    return ignore_case && std::tolower(static_cast<unsigned char>(a)) ==
                              std::tolower(static_cast<unsigned char>(b));
}

// Tries the pattern element at `p` (not a star, not the end) against character `c`.
// Stores the element's length in `*width` in any case.
bool element_matches(const char* p, char c, bool ignore_case, std::size_t* width) {
    *width = 1;
    if (*p == '?' || *p == '$') return true;
    if (*p == '[') {
        const char* close = std::strchr(p + 1, ']');
        if (close != nullptr) {  // without a later ']' the '[' is an ordinary character
            *width = static_cast<std::size_t>(close - p) + 1;
            for (const char* s = p + 1; s < close; ++s) {
                if (same_char(*s, c, ignore_case)) return true;
            }
            return false;  // also the empty set "[]"
        }
    }
    return same_char(*p, c, ignore_case);
}

}  // namespace

int tool_strmatch(const char* pattern, const char* text, int ignore_case) {
    if (text == nullptr) return 0;
    if (pattern == nullptr) return 1;
    const bool fold = ignore_case != 0;
    const char* p = pattern;
    const char* t = text;
    const char* star_pattern = nullptr;  // pattern just after the last star seen
    const char* star_text = nullptr;     // text position that star currently stops at
    while (*t != '\0') {
        if (is_star(*p)) {
            while (is_star(*p)) ++p;  // a run of stars is one star
            if (*p == '\0') return 1;
            star_pattern = p;
            star_text = t;
            continue;
        }
        std::size_t width = 0;
        if (*p != '\0' && element_matches(p, *t, fold, &width)) {
            p += width;
            ++t;
            continue;
        }
        if (star_pattern == nullptr) return 0;
        // Let the last star swallow one more character and retry the rest from there.
        p = star_pattern;
        t = ++star_text;
    }
    while (is_star(*p)) ++p;
    return *p == '\0' ? 1 : 0;
}
