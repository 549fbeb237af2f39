// String lists and keyed string lists: a count and arrays of owned strings (and keys)
// that grow in steps of ten. Entries may be null (an added null text).
#pragma once

#include <cstdint>

// A zero-initialised record is an empty list. The functions own `strings` and every
// entry; free with tool_strlist_free. Capacity is implied by `count`: the first add makes
// room for 10 entries, the first add into an emptied array for 11, and an add that makes
// the count a multiple of ten grows the array to count + 11 entries.
struct tool_strlist_s {
    int32_t count;
    char** strings;
};

// Like tool_strlist_s with a key beside each string; both arrays grow alike.
struct tool_keylist_s {
    int32_t count;
    int32_t* keys;
    char** strings;
};

// Appends an owned copy of `text`. 1; 0 when memory runs out, with the list unchanged
// (an error line goes to standard error).
int tool_strlist_add(tool_strlist_s* list, const char* text);
// Frees every string and the array; count 0. Null list is accepted.
void tool_strlist_free(tool_strlist_s* list);
// Adds each of `other`'s strings in order (other may be list itself); stops and gives 0
// at the first failure.
int tool_strlist_append(tool_strlist_s* list, const tool_strlist_s* other);
int tool_strlist_contains(const tool_strlist_s* list, const char* text);  // 1 when equal found
int tool_strlist_find(const tool_strlist_s* list, const char* text);      // index or -1
void tool_strlist_sort(tool_strlist_s* list);     // ascending by unsigned bytes
void tool_strlist_natsort(tool_strlist_s* list);  // ascending by tool_strnatcmp (stable)
// Drops (and frees) every string that occurs inside `text`.
void tool_strlist_removefound(tool_strlist_s* list, const char* text);
// Drops every string that occurs inside any string of `texts`.
void tool_strlist_removefoundall(tool_strlist_s* list, const tool_strlist_s* texts);
// Empties the list, then adds each non-empty piece of `text` between delimiter
// characters. 1, or 0 when memory runs out (pieces added so far stay).
int tool_strlist_split(const char* text, const char* delimiters, tool_strlist_s* list);

// Appends `key` and an owned copy of `text`. 1; 0 with the list unchanged on failure.
int tool_keylist_add(tool_keylist_s* list, int32_t key, const char* text);
// mode 1: an entry with `key`; mode 2: an entry with `text`; other: both equal. 1 if found.
int tool_keylist_find(const tool_keylist_s* list, int32_t key, const char* text, int mode);
void tool_keylist_free(tool_keylist_s* list);
int tool_keylist_append(tool_keylist_s* list, const tool_keylist_s* other);
