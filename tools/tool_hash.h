// A separately chained hash table with caller-supplied hash and comparison functions and
// opaque pointer-sized keys and values. It never copies keys or values; callbacks release
// them at removal and destruction. Integer keys (the defaults) and text keys (the string
// functions below) are the two common uses; the file-existence cache keys by path.
//
// Problems are printed on stderr as "Error: <text> (FILE 'tool_hash', LINE <n>)".
// The bucket array is allocated once at creation and never resized.
#pragma once

#include <cstdint>

#include "tools/tool_ptrlist.h"

struct tool_hash_entry_s {
    void* key;  // first field: an entry's address is also its key's address
    void* value;
    tool_hash_entry_s* next;
};

// (bucket count, key) -> bucket index below the bucket count.
using tool_hash_function = uint64_t (*)(uint64_t bucket_count, const void* key);
// (stored key, key) -> 0 when they are equal.
using tool_hash_compare = int (*)(const void* stored_key, const void* key);
// Key callbacks get (entry, user); value callbacks get (address of the value, user).
using tool_hash_callback = void (*)(void* item, void* user);

struct tool_hash_s {
    uint64_t bucket_count;
    tool_hash_function hash;
    tool_hash_compare compare;
    tool_hash_entry_s** buckets;  // one chain head per bucket
    // Set when the table was created for text keys (tool_hash_string): its entries then also
    // keep the key's unreduced hash, so a lookup passes the other keys of a chain without
    // reading their texts.
    uint32_t text_hashes;
    // The same reduction as the hash functions', done without a 64-bit division: for
    // `reduce_bucket_count` (below 2^32) the multiplier of a 32-bit modulo and 2^64 mod count.
    uint64_t reduce_bucket_count;
    uint64_t reduce_multiplier;
    uint64_t reduce_wrap;
    // Iteration position, kept by the table so that removing the entry just visited does not
    // make tool_hash_next revisit entries or look at a key that its callback has released.
    uint32_t iteration_state;  // 0: none, 1: at iteration_entry, 2: that entry was removed
    uintptr_t iteration_key;   // the key last handed out (compared by identity only)
    uint64_t iteration_bucket;
    tool_hash_entry_s* iteration_entry;   // state 1: the entry last handed out
    tool_hash_entry_s* iteration_follow;  // state 2: the entry that followed the removed one
};

// --- default functions for integer keys --------------------------------------------------

// With lo and hi the low and high 32 bits of the key: h = ((lo * 69069 + 1) XOR hi) * 69069
// + 1 in 32-bit arithmetic, sign-extended to 64 bits and reduced modulo the bucket count as
// an unsigned number. A bucket count of 0 gives 0.
uint64_t tool_hash_int(uint64_t bucket_count, const void* key);

// The difference of the low 32 bits of a and b (0 when they are equal).
int tool_hash_intcmp(const void* a, const void* b);

// --- functions for text keys --------------------------------------------------------------

// h = 0; for each character c taken as a signed byte: h = (c XOR h) * 69069 + 1 in 32-bit
// arithmetic; then sign-extended and reduced as in tool_hash_int. Absent or empty text: 0.
uint64_t tool_hash_string(uint64_t bucket_count, const void* text);

// tool_strcmp of the two texts.
int tool_hash_stringcmp(const void* a, const void* b);

// Key callback for owned text keys: tool_strfree on the text whose address is `entry` (an
// entry, a pointer-list node or any other address of an owned text) and clears it.
void tool_hash_stringfree(void* entry, void* user = nullptr);

// Value callback for values allocated with tool_malloc: frees the value at
// `value_address` and clears it.
void tool_hash_freevalue(void* value_address, void* user = nullptr);

// --- the table -----------------------------------------------------------------------------

// A table of `bucket_count` buckets (10000 when 0); absent functions take the integer
// defaults. Absent, after "Memory allocation failed.", when memory runs out.
tool_hash_s* tool_hash_create(uint64_t bucket_count, tool_hash_function hash,
                              tool_hash_compare compare);

// Puts (key, value) at the head of its bucket's chain; equal keys are not detected, so a
// second insert of an equal key shadows the first. 1, or 0 on failure (nothing inserted).
int tool_hash_insert(tool_hash_s* table, void* key, void* value);

// The value of the first equal key in the key's chain; 0 when none or the table is absent.
inline void* tool_hash_find(const tool_hash_s* table, const void* key);

// Unlinks the first equal entry, calls the key callback (entry, user) and then the value
// callback (address of the value, user), each when given, and frees the entry. 1 when an
// entry was removed; 0 when none.
int tool_hash_remove(tool_hash_s* table, const void* key, tool_hash_callback key_callback,
                     tool_hash_callback value_callback, void* user);

// Removes every entry, bucket by bucket in chain order, with the callbacks as in remove.
// 1; 0 for an absent table.
int tool_hash_clear(tool_hash_s** table, tool_hash_callback key_callback,
                    tool_hash_callback value_callback, void* user);

// As clear, then frees the table and clears `*table`. 1; 0 for an absent table.
int tool_hash_destroy(tool_hash_s** table, tool_hash_callback key_callback,
                      tool_hash_callback value_callback, void* user);

// The head entry of the lowest non-empty bucket: 1 and its key and value; 0 with both
// outputs 0 when the table is empty or absent. Outputs may be absent.
int tool_hash_first(tool_hash_s* table, void** key, void** value);

// The entry after the one with key `*key`: the next in its chain, else the head of the next
// non-empty bucket. When `*key` is the key just handed out, iteration goes on from that
// entry without looking at the key, also after the entry was removed (its callbacks may have
// released the key); otherwise the key is looked up, and when it is not found iteration
// continues with the head of its bucket. 1 and the entry's key and value; 0 at the end with
// `*key` (and `*value`) set to 0. Every entry is visited once when keys are unique.
int tool_hash_next(tool_hash_s* table, void** key, void** value);

// Puts every key, bucket by bucket in chain order, at the head of a new pointer list and
// sorts it (tool_ptrlist_sort with `direction` and `compare`) when the direction is not 0.
// Gives the number of keys and the list in `*list`; after a failure 0 and `*list` absent.
// An absent table gives a new empty list.
int tool_hash_keys(const tool_hash_s* table, int direction, tool_ptrlist_compare_f compare,
                   tool_ptrlist_s** list);

// Prints one line per bucket to stdout: "%12.12d -> %p %p" with the bucket index and the
// first entry's key and value, then " -> %p %p" per further entry, then a line feed (empty
// buckets print just the line feed). Gives the number of entries.
uint64_t tool_hash_print(const tool_hash_s* table);

// ---- inline lookup for the default integer functions -------------------------------------
// The commonest lookup (integer keys, default functions) is inlined into callers: one hash,
// one division-free reduction and a tight chain walk. Every other lookup, and a table whose
// functions were swapped after creation, goes out of line; the results are the same.

// Out-of-line part of tool_hash_find; call that instead.
void* tool_hash_find_slow(const tool_hash_s* table, const void* key);

namespace tool_hash_detail {
inline uint32_t int_hash(const void* key) {
    const auto bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(key));
    const auto lo = static_cast<uint32_t>(bits);
    const auto hi = static_cast<uint32_t>(bits >> 32);
    return ((lo * 69069u + 1u) ^ hi) * 69069u + 1u;
}

// The hash functions' reduction (the 32-bit hash sign-extended, then taken modulo the
// bucket count as an unsigned 64-bit number) without a division: x mod d for 32-bit x is
// the high half of (multiplier * x mod 2^64) * d, and a negative hash stands for 2^64 - y,
// whose remainder is (2^64 mod d - y mod d) mod d. Branch-free because the sign of a hash
// is a coin toss and a mispredicted branch would stall the loads that follow.
// REQUIRES: the table was prepared for its bucket count (reduce_bucket_count == count > 0).
inline uint64_t table_reduce(const tool_hash_s* table, uint32_t h) {
    const uint64_t d = table->reduce_bucket_count;
    const uint32_t negative = h >> 31;
    const uint32_t magnitude = (h ^ (0u - negative)) + negative;  // |h| as a signed number
    const uint64_t low = table->reduce_multiplier * magnitude;
    const auto m = static_cast<uint64_t>((static_cast<unsigned __int128>(low) * d) >> 64);
    uint64_t wrapped = table->reduce_wrap + d - m;
    wrapped -= wrapped >= d ? d : 0;
    return negative ? wrapped : m;
}

inline bool prepared(const tool_hash_s* table) {
    return table->buckets && table->reduce_bucket_count != 0 &&
           table->reduce_bucket_count == table->bucket_count;
}
}  // namespace tool_hash_detail

inline void* tool_hash_find(const tool_hash_s* table, const void* key) {
    namespace d = tool_hash_detail;
    if (table && table->hash == tool_hash_int && table->compare == tool_hash_intcmp &&
        d::prepared(table)) [[likely]] {
        const auto wanted = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(key));
        for (const tool_hash_entry_s* e = table->buckets[d::table_reduce(table, d::int_hash(key))];
             e; e = e->next) {
            if (static_cast<uint32_t>(reinterpret_cast<uintptr_t>(e->key)) == wanted)
                return e->value;
        }
        return nullptr;
    }
    return tool_hash_find_slow(table, key);
}
