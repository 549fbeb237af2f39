// String lists: a count and a growing array of owned strings, with search, sorting,
// removal of strings found in other texts, and splitting of a text into a list.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "tools/string_list_growth.h"
#include "tools/tool_dstring.h"

using tool_strlist_detail::capacity_after_add;
using tool_strlist_detail::capacity_before_add;
using tool_strlist_detail::kMaxCount;

namespace {

constexpr const char* kAddFailure = "Error: tool_strlist_add: Memory allocation failed!\n";

bool resize(char*** strings, std::size_t entries) {
    auto* grown = static_cast<char**>(TOOL_REALLOC(*strings, entries * sizeof(char*)));
    if (grown == nullptr) return false;
    *strings = grown;
    return true;
}

bool occurs_in(const char* needle, const char* text) {
    return tool_strstr(text, needle) != nullptr;
}

// Keeps the entries for which `drop` is false, freeing the others, in order.
template <typename Drop>
void remove_if(tool_strlist_s* list, Drop drop) {
    int32_t kept = 0;
    for (int32_t i = 0; i < list->count; ++i) {
        if (drop(list->strings[i])) {
            tool_strfree(&list->strings[i]);
        } else {
            list->strings[kept++] = list->strings[i];
        }
    }
    for (int32_t i = kept; i < list->count; ++i) list->strings[i] = nullptr;
    list->count = kept;
}

}  // namespace

int tool_strlist_add(tool_strlist_s* list, const char* text) {
    if (list == nullptr || list->count < 0 || list->count >= kMaxCount) return 0;
    char* copy = nullptr;
    if (text != nullptr && (copy = tool_strdup(text)) == nullptr) return 0;
    // On any failure the list keeps exactly the entries it had.
    const std::size_t before = capacity_before_add(list->strings != nullptr, list->count);
    if (before != 0 && !resize(&list->strings, before)) {
        std::fputs(kAddFailure, stderr);
        tool_strfree(&copy);
        return 0;
    }
    list->strings[list->count++] = copy;
    const std::size_t after = capacity_after_add(list->count);
    if (after != 0 && !resize(&list->strings, after)) {
        std::fputs(kAddFailure, stderr);
        list->strings[--list->count] = nullptr;
        tool_strfree(&copy);
        return 0;
    }
    return 1;
}

void tool_strlist_free(tool_strlist_s* list) {
    if (list == nullptr) return;
    for (int32_t i = 0; i < list->count; ++i) tool_strfree(&list->strings[i]);
    TOOL_FREE(list->strings);
    list->strings = nullptr;
    list->count = 0;
}

int tool_strlist_append(tool_strlist_s* list, const tool_strlist_s* other) {
    if (list == nullptr) return 0;
    if (other == nullptr) return 1;
    const int32_t n = other->count;  // fixed first: `other` may be `list` itself
    for (int32_t i = 0; i < n; ++i) {
        if (!tool_strlist_add(list, other->strings[i])) return 0;
    }
    return 1;
}

int tool_strlist_find(const tool_strlist_s* list, const char* text) {
    if (list == nullptr) return -1;
    for (int32_t i = 0; i < list->count; ++i) {
        if (tool_strcmp(list->strings[i], text) == 0) return i;
    }
    return -1;
}

int tool_strlist_contains(const tool_strlist_s* list, const char* text) {
    return tool_strlist_find(list, text) >= 0 ? 1 : 0;
}

// Merge sorts stay within bounds even for a comparison that is not a strict weak order,
// and keep equal entries in their order.
void tool_strlist_sort(tool_strlist_s* list) {
    if (list == nullptr || list->count < 2) return;
    std::stable_sort(list->strings, list->strings + list->count,
                     [](const char* a, const char* b) { return tool_strcmp(a, b) < 0; });
}

void tool_strlist_natsort(tool_strlist_s* list) {
    if (list == nullptr || list->count < 2) return;
    std::stable_sort(list->strings, list->strings + list->count,
                     [](const char* a, const char* b) { return tool_strnatcmp(a, b) < 0; });
}

void tool_strlist_removefound(tool_strlist_s* list, const char* text) {
    if (list == nullptr || text == nullptr) return;
    remove_if(list, [text](const char* s) { return occurs_in(s, text); });
}

void tool_strlist_removefoundall(tool_strlist_s* list, const tool_strlist_s* texts) {
    if (list == nullptr || texts == nullptr) return;
    if (texts == list) {
        // Every present string occurs inside itself.
        remove_if(list, [](const char* s) { return s != nullptr; });
        return;
    }
    remove_if(list, [texts](const char* s) {
        for (int32_t j = 0; j < texts->count; ++j) {
            if (occurs_in(s, texts->strings[j])) return true;
        }
        return false;
    });
}

int tool_strlist_split(const char* text, const char* delimiters, tool_strlist_s* list) {
    if (list == nullptr) return 0;
    tool_strlist_free(list);
    if (text == nullptr) return 1;
    char* copy = tool_strdup(text);
    if (copy == nullptr) return 0;
    int ok = 1;
    char* state = nullptr;
    for (char* piece = tool_strtoken(copy, delimiters, &state, nullptr); piece != nullptr && ok;
         piece = tool_strtoken(nullptr, delimiters, &state, nullptr)) {
        ok = tool_strlist_add(list, piece);
    }
    tool_strfree(&copy);
    return ok;
}
