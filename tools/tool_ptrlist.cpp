// Pointer list: head insertion, a cursor, and a bottom-up merge sort over the nodes
// themselves (no allocation, no recursion, stable in both directions because ties always
// take the node from the earlier run).
#include "tools/tool_ptrlist.h"

#include <cstddef>

#include "tools/tool_alloc.h"
#include "tools/tool_report.h"

namespace {

void s_report(const char* text, int line) {
    tool_report_error(text, "tool_ptrlist", line);
}

tool_ptrlist_node_s* s_merge_sort(tool_ptrlist_node_s* list, tool_ptrlist_compare_f compare,
                                  int direction) {
    for (size_t run = 1;; run *= 2) {
        tool_ptrlist_node_s* left = list;
        tool_ptrlist_node_s* tail = nullptr;
        list = nullptr;
        size_t merges = 0;
        while (left) {
            ++merges;
            tool_ptrlist_node_s* right = left;
            size_t left_size = 0;
            while (left_size < run && right) {
                ++left_size;
                right = right->next;
            }
            size_t right_size = run;
            while (left_size > 0 || (right_size > 0 && right)) {
                tool_ptrlist_node_s* taken;
                if (left_size == 0) {
                    taken = right;
                    right = right->next;
                    --right_size;
                } else if (right_size == 0 || !right ||
                           compare(left->value, right->value, &direction) <= 0) {
                    taken = left;
                    left = left->next;
                    --left_size;
                } else {
                    taken = right;
                    right = right->next;
                    --right_size;
                }
                if (tail) {
                    tail->next = taken;
                } else {
                    list = taken;
                }
                tail = taken;
            }
            left = right;
        }
        if (tail) tail->next = nullptr;
        if (merges <= 1) return list;
    }
}

}  // namespace

tool_ptrlist_s* tool_ptrlist_new() {
    auto* list = static_cast<tool_ptrlist_s*>(TOOL_MALLOC(sizeof(tool_ptrlist_s)));
    if (!list) s_report("Memory allocation failed!", __LINE__);
    return list;
}

int tool_ptrlist_delete(tool_ptrlist_s** list, tool_ptrlist_callback callback, void* user) {
    if (!list || !*list) return 0;
    tool_ptrlist_s* doomed = *list;
    *list = nullptr;
    tool_ptrlist_node_s* node = doomed->head;
    while (node) {
        tool_ptrlist_node_s* next = node->next;
        if (callback) callback(node, user);
        TOOL_FREE(node);
        node = next;
    }
    TOOL_FREE(doomed);
    return 1;
}

int tool_ptrlist_add(tool_ptrlist_s* list, void* value) {
    if (!list) return 0;
    auto* node = static_cast<tool_ptrlist_node_s*>(TOOL_MALLOC(sizeof(tool_ptrlist_node_s)));
    if (!node) {
        s_report("Memory allocation failed!", __LINE__);
        return 0;
    }
    node->value = value;
    node->next = list->head;
    list->head = node;
    list->sorted = 0;
    return 1;
}

int tool_ptrlist_remove(tool_ptrlist_s* list, const void* value, tool_ptrlist_callback callback,
                        void* user) {
    if (!list) return 0;
    for (tool_ptrlist_node_s** link = &list->head; *link; link = &(*link)->next) {
        tool_ptrlist_node_s* node = *link;
        if (node->value != value) continue;
        *link = node->next;
        if (list->current == node) list->current = nullptr;
        if (callback) callback(node, user);
        TOOL_FREE(node);
        return 1;
    }
    return 0;
}

int tool_ptrlist_first(tool_ptrlist_s* list) {
    if (!list) return 0;
    list->current = list->head;
    return list->current != nullptr;
}

int tool_ptrlist_next(tool_ptrlist_s* list) {
    if (!list || !list->current) return 0;
    list->current = list->current->next;
    return list->current != nullptr;
}

void* tool_ptrlist_current(tool_ptrlist_s* list) {
    if (!list || !list->current) {
        s_report("List current not found.", __LINE__);
        return nullptr;
    }
    return list->current->value;
}

int tool_ptrlist_sort(tool_ptrlist_s* list, int direction, tool_ptrlist_compare_f compare) {
    if (!list) return 0;
    if (list->sorted && list->direction == direction) return 1;
    list->head = s_merge_sort(list->head, compare ? compare : tool_ptrlist_compare, direction);
    list->direction = direction;
    list->sorted = 1;
    return 1;
}

int tool_ptrlist_compare(const void* a, const void* b, const int* direction) {
    const auto x = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(a));
    const auto y = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(b));
    const int order = x < y ? -1 : (x > y ? 1 : 0);
    return direction && *direction < 0 ? -order : order;
}
