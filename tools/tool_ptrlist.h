// A singly linked list of opaque pointers with a built-in cursor and a stable merge sort.
// Adding puts a value at the head; the list never owns the values, callbacks at removal and
// deletion let the caller release them. An absent list behaves as an empty one.
#pragma once

#include <cstdint>

struct tool_ptrlist_node_s {
    void* value;  // first field: a node's address is also its value's address
    tool_ptrlist_node_s* next;
};

struct tool_ptrlist_s {
    uint32_t sorted;    // 1 after a sort, 0 after every add
    int32_t direction;  // direction of the last sort
    tool_ptrlist_node_s* head;
    tool_ptrlist_node_s* current;  // the cursor, or absent
};

// Called with a node (usable as the address of its value) and the caller's user pointer,
// just before the node is freed.
using tool_ptrlist_callback = void (*)(void* node, void* user);

// Orders two values: negative, 0 or positive when a sorts before, with or after b for the
// direction at `direction` (a negative direction asks for the reverse order).
using tool_ptrlist_compare_f = int (*)(const void* a, const void* b, const int* direction);

// A new empty list, or absent after printing "Memory allocation failed!".
tool_ptrlist_s* tool_ptrlist_new();

// Calls `callback` (when given) for every node from the head, frees the nodes and the list
// and clears `*list`. 1, or 0 when there is no list.
int tool_ptrlist_delete(tool_ptrlist_s** list, tool_ptrlist_callback callback, void* user);

// Puts `value` at the head and clears the sorted flag. 1, or 0 for an absent list or after
// printing "Memory allocation failed!" (the list is then unchanged).
int tool_ptrlist_add(tool_ptrlist_s* list, void* value);

// Unlinks the first node holding `value` (compared as a pointer), clears the cursor when it
// was on that node, calls `callback` when given and frees the node. 1, or 0 when not found.
int tool_ptrlist_remove(tool_ptrlist_s* list, const void* value, tool_ptrlist_callback callback,
                        void* user);

// Cursor to the head; 1 when the list is not empty.
int tool_ptrlist_first(tool_ptrlist_s* list);

// Cursor to the next node; 1 while there is one. Without a cursor: 0.
int tool_ptrlist_next(tool_ptrlist_s* list);

// The value at the cursor; without a cursor prints "List current not found." and gives 0.
void* tool_ptrlist_current(tool_ptrlist_s* list);

// Sorts stably so that `compare` (tool_ptrlist_compare when absent), called with two values
// and the address of `direction`, finds every value less than or equal to its successor.
// Nothing happens when the list is already flagged sorted in this direction. The cursor
// stays on its node. Gives 1, or 0 for an absent list.
int tool_ptrlist_sort(tool_ptrlist_s* list, int direction, tool_ptrlist_compare_f compare);

// The default order: -1, 0, 1 comparing a and b as unsigned 64-bit numbers, negated when the
// direction is negative (an absent direction counts as ascending).
int tool_ptrlist_compare(const void* a, const void* b, const int* direction);
