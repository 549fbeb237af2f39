// Keyed string lists: an integer key beside each owned string, both arrays growing in
// the same steps as the plain string list.
#include <cstdio>

#include "tools/string_list_growth.h"
#include "tools/tool_dstring.h"

using tool_strlist_detail::capacity_after_add;
using tool_strlist_detail::capacity_before_add;
using tool_strlist_detail::kMaxCount;

namespace {

constexpr const char* kAddFailure = "Error: tool_keylist_add: Memory allocation failed!\n";

// Resizes both arrays; a failure leaves each array valid (possibly one of them larger),
// which the implied capacity tolerates.
bool resize(tool_keylist_s* list, std::size_t entries) {
    auto* keys = static_cast<int32_t*>(TOOL_REALLOC(list->keys, entries * sizeof(int32_t)));
    if (keys == nullptr) return false;
    list->keys = keys;
    auto* strings = static_cast<char**>(TOOL_REALLOC(list->strings, entries * sizeof(char*)));
    if (strings == nullptr) return false;
    list->strings = strings;
    return true;
}

}  // namespace

int tool_keylist_add(tool_keylist_s* list, int32_t key, const char* text) {
    if (list == nullptr || list->count < 0 || list->count >= kMaxCount) return 0;
    char* copy = nullptr;
    if (text != nullptr && (copy = tool_strdup(text)) == nullptr) return 0;
    const bool has_arrays = list->keys != nullptr && list->strings != nullptr;
    const std::size_t before = capacity_before_add(has_arrays, list->count);
    if (before != 0 && !resize(list, before)) {
        std::fputs(kAddFailure, stderr);
        tool_strfree(&copy);
        return 0;
    }
    list->keys[list->count] = key;
    list->strings[list->count++] = copy;
    const std::size_t after = capacity_after_add(list->count);
    if (after != 0 && !resize(list, after)) {
        std::fputs(kAddFailure, stderr);
        list->strings[--list->count] = nullptr;
        tool_strfree(&copy);
        return 0;
    }
    return 1;
}

int tool_keylist_find(const tool_keylist_s* list, int32_t key, const char* text, int mode) {
    if (list == nullptr) return 0;
    for (int32_t i = 0; i < list->count; ++i) {
        const bool key_equal = list->keys[i] == key;
        const bool text_equal = tool_strcmp(list->strings[i], text) == 0;
        if ((mode == 1 && key_equal) || (mode == 2 && text_equal) ||
            (mode != 1 && mode != 2 && key_equal && text_equal)) {
            return 1;
        }
    }
    return 0;
}

void tool_keylist_free(tool_keylist_s* list) {
    if (list == nullptr) return;
    for (int32_t i = 0; i < list->count; ++i) tool_strfree(&list->strings[i]);
    TOOL_FREE(list->strings);
    TOOL_FREE(list->keys);
    list->strings = nullptr;
    list->keys = nullptr;
    list->count = 0;
}

int tool_keylist_append(tool_keylist_s* list, const tool_keylist_s* other) {
    if (list == nullptr) return 0;
    if (other == nullptr) return 1;
    const int32_t n = other->count;  // fixed first: `other` may be `list` itself
    for (int32_t i = 0; i < n; ++i) {
        if (!tool_keylist_add(list, other->keys[i], other->strings[i])) return 0;
    }
    return 1;
}
