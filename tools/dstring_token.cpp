// Tokenisers with caller-held state, token visitors and transforms, and the
// open/close substitution used to expand "%name%" style placeholders.
#include <cstring>

#include "tools/dstring_internal.h"
#include "tools/tool_dstring.h"

namespace {

// The end marker's address is private to this file, so it can never be a position in a
// caller's text.
char s_end_marker = '\0';

// Appends `length` bytes to the owned result; false (result freed) when memory runs out.
bool append_piece(char** result, const char* text, std::size_t length) {
    return tool_dstring_detail::append(result, text, length,
                                       "Error: tool_strsubstitute: Memory allocation failed!\n") !=
           nullptr;
}

}  // namespace

char* tool_strtoken_end() {
    return &s_end_marker;
}

char* tool_strsplit(char* text, const char* delimiters, char** state, char* found) {
    if (found != nullptr) *found = '\0';
    if (state == nullptr) return nullptr;
    char* start = text != nullptr ? text : *state;
    if (start == nullptr || start == &s_end_marker) {
        *state = &s_end_marker;
        return nullptr;
    }
    char* cut = delimiters != nullptr ? std::strpbrk(start, delimiters) : nullptr;
    if (cut == nullptr) {
        *state = &s_end_marker;
        return start;
    }
    if (found != nullptr) *found = *cut;
    *cut = '\0';
    *state = cut + 1;
    return start;
}

char* tool_strtoken(char* text, const char* delimiters, char** state, char* found) {
    char* piece = tool_strsplit(text, delimiters, state, found);
    while (piece != nullptr && piece[0] == '\0') {
        piece = tool_strsplit(nullptr, delimiters, state, found);
    }
    return piece;
}

int tool_strforeachtoken(const char* text, const char* delimiters, tool_token_visitor_fn visitor,
                         void* user) {
    if (visitor == nullptr) return 0;
    if (text == nullptr) return 1;
    char* copy = tool_strdup(text);
    if (copy == nullptr) return 0;
    char* state = nullptr;
    for (char* piece = tool_strtoken(copy, delimiters, &state, nullptr); piece != nullptr;
         piece = tool_strtoken(nullptr, delimiters, &state, nullptr)) {
        visitor(piece, user);
    }
    tool_strfree(&copy);
    return 1;
}

char* tool_strtransformtokens(const char* text, const char* delimiters,
                              tool_token_transform_fn transform, tool_token_release_fn release,
                              void* user) {
    if (text == nullptr || transform == nullptr) return nullptr;
    char* copy = tool_strdup(text);
    if (copy == nullptr) return nullptr;
    char* result = nullptr;
    char* state = nullptr;
    for (char* piece = tool_strtoken(copy, delimiters, &state, nullptr); piece != nullptr;
         piece = tool_strtoken(nullptr, delimiters, &state, nullptr)) {
        char* transformed = transform(piece, user);
        const bool ok =
            transformed == nullptr ||
            tool_dstring_detail::append(
                &result, transformed, std::strlen(transformed),
                "Error: tool_strtransformtokens: Memory allocation failed!\n") != nullptr;
        if (transformed != nullptr && release != nullptr) release(&transformed);
        if (!ok) break;  // the result is already absent
    }
    tool_strfree(&copy);
    return result;
}

char* tool_strsubstitute(const char* text, const char* open, const char* close,
                         tool_token_transform_fn transform, tool_token_release_fn release,
                         void* user) {
    if (text == nullptr) return nullptr;
    if (open == nullptr || close == nullptr || open[0] == '\0' || close[0] == '\0' ||
        transform == nullptr) {
        return tool_strdup(text);
    }
    char* copy = tool_strdup(text);
    if (copy == nullptr) return nullptr;
    const std::size_t open_length = std::strlen(open);
    const std::size_t close_length = std::strlen(close);
    char* result = tool_strdup("");
    char* rest = copy;
    bool ok = result != nullptr;
    while (ok) {
        char* section = std::strstr(rest, open);
        if (section == nullptr) break;
        char* inner = section + open_length;
        char* end = std::strstr(inner, close);
        if (end == nullptr) break;  // an unclosed section is kept as it is, with the rest
        ok = append_piece(&result, rest, static_cast<std::size_t>(section - rest));
        if (!ok) break;
        const char saved = *end;
        *end = '\0';  // the inner text is handed over terminated, then restored
        char* replacement = transform(inner, user);
        *end = saved;
        if (replacement != nullptr) {
            ok = append_piece(&result, replacement, std::strlen(replacement));
            if (release != nullptr) release(&replacement);
        } else {
            ok = append_piece(&result, section,
                              static_cast<std::size_t>(end - section) + close_length);
        }
        rest = end + close_length;
    }
    if (ok) append_piece(&result, rest, std::strlen(rest));
    tool_strfree(&copy);
    return result;
}

char* tool_strexpandpercent(const char* text, tool_token_transform_fn transform,
                            tool_token_release_fn release) {
    return tool_strsubstitute(text, "%", "%", transform, release, nullptr);
}
