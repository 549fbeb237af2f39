// Brace and quote aware scanning of expressions such as "f(a, [b, c]) + \"x,y\"": finding
// a closing partner, the first bracket pair, and separators outside groups and quotes.
#include <cstdio>
#include <cstring>

#include "tools/tool_dstring.h"

int tool_bracedirection(char c) {
    if (c == '(' || c == '[' || c == '{') return 1;
    if (c == ')' || c == ']' || c == '}') return -1;
    return 0;
}

char tool_matchingbrace(char c) {
    switch (c) {
        case '(':
            return ')';
        case ')':
            return '(';
        case '[':
            return ']';
        case ']':
            return '[';
        case '{':
            return '}';
        case '}':
            return '{';
        default:
            return '\0';
    }
}

char* tool_findclosing(char open, char close, const char* text) {
    if (text == nullptr) return nullptr;
    long depth = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == open) {
            ++depth;
        } else if (*p == close) {
            --depth;
        }
        if (depth == 0) return const_cast<char*>(p);
    }
    return nullptr;
}

int tool_findbraces(const char* text, char** open, char** close) {
    if (open != nullptr) *open = nullptr;
    if (close != nullptr) *close = nullptr;
    char* first = tool_strpbrk(text, "([{");
    if (first == nullptr) return 0;
    char* partner = tool_findclosing(*first, tool_matchingbrace(*first), first);
    if (partner == nullptr) {
        std::printf("Syntax error (can not find matching brace): \n  '%s'\n", text);
        return 0;
    }
    if (open != nullptr) *open = first;
    if (close != nullptr) *close = partner;
    return 1;
}

char* tool_strfindoutside(const char* text, const char* set) {
    if (text == nullptr || set == nullptr || set[0] == '\0') return nullptr;
    for (const char* p = text; *p != '\0'; ++p) {
        if (std::strchr(set, *p) != nullptr) return const_cast<char*>(p);
        if (*p == '"' && (p == text || p[-1] != '\\')) {
            // Skip to the closing quote; one after a backslash is part of the quoted text.
            const char* q = p + 1;
            while (*q != '\0' && !(*q == '"' && q[-1] != '\\')) ++q;
            if (*q == '\0') return nullptr;
            p = q;
        } else if (tool_bracedirection(*p) == 1) {
            const char* partner = tool_findclosing(*p, tool_matchingbrace(*p), p);
            if (partner == nullptr) return nullptr;
            p = partner;
        }
    }
    return nullptr;
}
