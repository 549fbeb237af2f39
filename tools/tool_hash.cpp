// Chained hash table. Lookups with the default integer functions (inline in the header) or
// the text functions take a direct path, recognised by the function addresses, so that a
// find is one hash, one reduction and a tight chain walk without indirect calls or
// division; the arithmetic is the same as the hash functions'.
#include "tools/tool_hash.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tools/tool_alloc.h"
#include "tools/tool_dstring.h"
#include "tools/tool_report.h"

namespace {

// The entry of a table created for text keys: the plain entry, then the key's hash.
struct s_text_entry {
    tool_hash_entry_s entry;
    uint32_t text_hash;
};

constexpr uint64_t s_default_buckets = 10000;
constexpr uint32_t s_multiplier = 69069;

void s_report(const char* text, int line) {
    tool_report_error(text, "tool_hash", line);
}

// Sign-extends the 32-bit hash and reduces it as an unsigned 64-bit number.
inline uint64_t s_reduce(uint32_t h, uint64_t bucket_count) {
    if (bucket_count == 0) return 0;
    return static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(h))) % bucket_count;
}

void s_prepare_reduce(tool_hash_s* table) {
    const uint64_t d = table->bucket_count;
    if (d == 0 || d > UINT32_MAX) return;  // reduce_bucket_count stays 0: plain division
    table->reduce_bucket_count = d;
    table->reduce_multiplier = UINT64_MAX / d + 1;
    table->reduce_wrap = (UINT64_MAX % d + 1) % d;
}

using tool_hash_detail::int_hash;
using tool_hash_detail::table_reduce;

// The text hash. Its multiplications form one serial chain of about five cycles a
// character, which is most of a text lookup. The chain can be split (69069 = 77 mod 128,
// so the low 7 bits run on their own with cheaper steps), but that doubles the instructions
// and measured slower: lookups overlap each other only as far as the processor's window
// reaches. Unrolling measured no different either, so the plain loop stays.
inline uint32_t s_string_hash(const char* text) {
    uint32_t h = 0;
    if (!text) return 0;
    for (; *text; ++text) {
        const auto c = static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*text)));
        h = (c ^ h) * s_multiplier + 1u;
    }
    return h;
}

inline bool s_text_equal(const void* a, const void* b) {
    if (a == b) return true;
    if (!a || !b) return false;
    return std::strcmp(static_cast<const char*>(a), static_cast<const char*>(b)) == 0;
}

// The key's bucket; a missing hash function is reported and sends every key to bucket 0,
// and an index a caller's function gives out of range is brought back into range.
uint64_t s_bucket(const tool_hash_s* table, const void* key) {
    if (!table->hash) {
        s_report("Hash function missing (corrupted hash?)", __LINE__);
        return 0;
    }
    uint64_t bucket = table->hash(table->bucket_count, key);
    if (bucket >= table->bucket_count)
        bucket = table->bucket_count ? bucket % table->bucket_count : 0;
    return bucket;
}

// The link that points at the first entry equal to `key` in its chain (at the chain's
// terminating null when there is none), and the key's bucket. A table without buckets or
// comparison is reported as corrupted and gives null.
tool_hash_entry_s** s_find_link(const tool_hash_s* table, const void* key, uint64_t* bucket_out) {
    const uint64_t bucket = s_bucket(table, key);
    if (!table->buckets || !table->compare || table->bucket_count == 0) {
        s_report("Corrupted hash table.", __LINE__);
        return nullptr;
    }
    if (bucket_out) *bucket_out = bucket;
    tool_hash_entry_s** link = &table->buckets[bucket];
    for (; *link; link = &(*link)->next) {
        if (table->compare((*link)->key, key) == 0) return link;
    }
    return link;  // points at the chain's terminating null
}

void s_release(tool_hash_entry_s* entry, tool_hash_callback key_callback,
               tool_hash_callback value_callback, void* user) {
    if (key_callback) key_callback(entry, user);
    if (value_callback) value_callback(&entry->value, user);
    TOOL_FREE(entry);
}

// From bucket `bucket` on, the first chain head; null when the remaining buckets are empty.
tool_hash_entry_s* s_head_from(const tool_hash_s* table, uint64_t* bucket) {
    for (uint64_t b = *bucket; b < table->bucket_count; ++b) {
        if (table->buckets[b]) {
            *bucket = b;
            return table->buckets[b];
        }
    }
    return nullptr;
}

int s_hand_out(tool_hash_s* table, tool_hash_entry_s* entry, uint64_t bucket, void** key,
               void** value) {
    if (!entry) {
        table->iteration_state = 0;
        table->iteration_entry = nullptr;
        table->iteration_follow = nullptr;
        if (key) *key = nullptr;
        if (value) *value = nullptr;
        return 0;
    }
    table->iteration_state = 1;
    table->iteration_entry = entry;
    table->iteration_follow = nullptr;
    table->iteration_bucket = bucket;
    table->iteration_key = reinterpret_cast<uintptr_t>(entry->key);
    if (key) *key = entry->key;
    if (value) *value = entry->value;
    return 1;
}

void s_empty_buckets(tool_hash_s* table, tool_hash_callback key_callback,
                     tool_hash_callback value_callback, void* user) {
    table->iteration_state = 0;
    table->iteration_entry = nullptr;
    table->iteration_follow = nullptr;
    if (!table->buckets) return;
    for (uint64_t b = 0; b < table->bucket_count; ++b) {
        // Detach the chain first so that a callback looking into the table sees no freed entry.
        tool_hash_entry_s* entry = table->buckets[b];
        table->buckets[b] = nullptr;
        while (entry) {
            tool_hash_entry_s* next = entry->next;
            s_release(entry, key_callback, value_callback, user);
            entry = next;
        }
    }
}

// Text keys: the stored hash of each entry is compared before its text is read.
void* s_find_text(const tool_hash_s* table, const char* text) {
    const uint32_t h = s_string_hash(text);
    const tool_hash_entry_s* e = table->buckets[table_reduce(table, h)];
    if (table->text_hashes) {
        for (; e; e = e->next) {
            if (reinterpret_cast<const s_text_entry*>(e)->text_hash == h &&
                s_text_equal(e->key, text)) {
                return e->value;
            }
        }
    }
    for (; e; e = e->next) {
        if (s_text_equal(e->key, text)) return e->value;
    }
    return nullptr;
}

void* s_find_generic(const tool_hash_s* table, const void* key) {
    tool_hash_entry_s** link = s_find_link(table, key, nullptr);
    return link && *link ? (*link)->value : nullptr;
}

}  // namespace

uint64_t tool_hash_int(uint64_t bucket_count, const void* key) {
    return s_reduce(int_hash(key), bucket_count);
}

int tool_hash_intcmp(const void* a, const void* b) {
    const auto x = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(a));
    const auto y = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(b));
    return static_cast<int>(x - y);  // wraps: 0 exactly when the low halves are equal
}

uint64_t tool_hash_string(uint64_t bucket_count, const void* text) {
    return s_reduce(s_string_hash(static_cast<const char*>(text)), bucket_count);
}

int tool_hash_stringcmp(const void* a, const void* b) {
    return tool_strcmp(static_cast<const char*>(a), static_cast<const char*>(b));
}

void tool_hash_stringfree(void* entry, void* /*user*/) {
    if (!entry) return;
    auto* slot = static_cast<void**>(entry);
    char* text = static_cast<char*>(*slot);
    tool_strfree(&text);
    *slot = nullptr;
}

void tool_hash_freevalue(void* value_address, void* /*user*/) {
    if (!value_address) return;
    auto* slot = static_cast<void**>(value_address);
    TOOL_FREE(*slot);
    *slot = nullptr;
}

tool_hash_s* tool_hash_create(uint64_t bucket_count, tool_hash_function hash,
                              tool_hash_compare compare) {
    if (bucket_count == 0) bucket_count = s_default_buckets;
    auto* table = static_cast<tool_hash_s*>(TOOL_MALLOC(sizeof(tool_hash_s)));
    void* buckets = nullptr;
    if (table && bucket_count <= SIZE_MAX / sizeof(tool_hash_entry_s*)) {
        buckets = TOOL_MALLOC(static_cast<size_t>(bucket_count) * sizeof(tool_hash_entry_s*));
    }
    if (!table || !buckets) {
        TOOL_FREE(table);
        s_report("Memory allocation failed.", __LINE__);
        return nullptr;
    }
    table->bucket_count = bucket_count;
    table->hash = hash ? hash : tool_hash_int;
    table->compare = compare ? compare : tool_hash_intcmp;
    table->buckets = static_cast<tool_hash_entry_s**>(buckets);
    table->text_hashes = table->hash == tool_hash_string;
    s_prepare_reduce(table);
    return table;
}

int tool_hash_insert(tool_hash_s* table, void* key, void* value) {
    if (!table) return 0;
    const uint64_t bucket = s_bucket(table, key);
    if (!table->buckets || table->bucket_count == 0) {
        s_report("Corrupted hash table.", __LINE__);
        return 0;
    }
    const size_t size = table->text_hashes ? sizeof(s_text_entry) : sizeof(tool_hash_entry_s);
    auto* entry = static_cast<tool_hash_entry_s*>(TOOL_MALLOC(size));
    if (!entry) {
        s_report("Memory allocation failed.", __LINE__);
        return 0;
    }
    if (table->text_hashes) {
        reinterpret_cast<s_text_entry*>(entry)->text_hash =
            s_string_hash(static_cast<const char*>(key));
    }
    entry->key = key;
    entry->value = value;
    entry->next = table->buckets[bucket];
    table->buckets[bucket] = entry;
    return 1;
}

void* tool_hash_find_slow(const tool_hash_s* table, const void* key) {
    if (!table) return nullptr;
    if (tool_hash_detail::prepared(table) && table->hash == tool_hash_string &&
        table->compare == tool_hash_stringcmp) {
        return s_find_text(table, static_cast<const char*>(key));
    }
    return s_find_generic(table, key);
}

int tool_hash_remove(tool_hash_s* table, const void* key, tool_hash_callback key_callback,
                     tool_hash_callback value_callback, void* user) {
    if (!table) return 0;
    tool_hash_entry_s** link = s_find_link(table, key, nullptr);
    if (!link || !*link) return 0;
    tool_hash_entry_s* entry = *link;
    *link = entry->next;
    // Keep the iteration position valid: a removed entry is replaced by its successor.
    if (table->iteration_state == 1 && table->iteration_entry == entry) {
        table->iteration_state = 2;
        table->iteration_entry = nullptr;
        table->iteration_follow = entry->next;
    } else if (table->iteration_state == 2 && table->iteration_follow == entry) {
        table->iteration_follow = entry->next;
    }
    s_release(entry, key_callback, value_callback, user);
    return 1;
}

int tool_hash_clear(tool_hash_s** table, tool_hash_callback key_callback,
                    tool_hash_callback value_callback, void* user) {
    if (!table || !*table) return 0;
    s_empty_buckets(*table, key_callback, value_callback, user);
    return 1;
}

int tool_hash_destroy(tool_hash_s** table, tool_hash_callback key_callback,
                      tool_hash_callback value_callback, void* user) {
    if (!table || !*table) return 0;
    tool_hash_s* doomed = *table;
    *table = nullptr;
    s_empty_buckets(doomed, key_callback, value_callback, user);
    TOOL_FREE(doomed->buckets);
    TOOL_FREE(doomed);
    return 1;
}

int tool_hash_first(tool_hash_s* table, void** key, void** value) {
    if (key) *key = nullptr;
    if (value) *value = nullptr;
    if (!table) return 0;
    if (!table->buckets) {
        s_report("Corrupted hash table.", __LINE__);
        return 0;
    }
    uint64_t bucket = 0;
    tool_hash_entry_s* entry = s_head_from(table, &bucket);
    return s_hand_out(table, entry, bucket, key, value);
}

int tool_hash_next(tool_hash_s* table, void** key, void** value) {
    if (!table || !key) {
        if (key) *key = nullptr;
        if (value) *value = nullptr;
        return 0;
    }
    if (!table->buckets) {
        s_report("Corrupted hash table.", __LINE__);
        return 0;
    }
    const auto identity = reinterpret_cast<uintptr_t>(*key);
    uint64_t bucket = 0;
    tool_hash_entry_s* next = nullptr;
    if (table->iteration_state == 1 && identity == table->iteration_key) {
        bucket = table->iteration_bucket;
        next = table->iteration_entry->next;
    } else if (table->iteration_state == 2 && identity == table->iteration_key) {
        bucket = table->iteration_bucket;
        next = table->iteration_follow;
    } else {
        tool_hash_entry_s** link = s_find_link(table, *key, &bucket);
        if (!link) return 0;
        next = *link ? (*link)->next : table->buckets[bucket];
    }
    if (!next) {
        ++bucket;
        next = s_head_from(table, &bucket);
    }
    return s_hand_out(table, next, bucket, key, value);
}

int tool_hash_keys(const tool_hash_s* table, int direction, tool_ptrlist_compare_f compare,
                   tool_ptrlist_s** list) {
    if (!list) return 0;
    *list = nullptr;
    if (table && !table->buckets) {
        s_report("Corrupted hash table.", __LINE__);
        return 0;
    }
    tool_ptrlist_s* keys = tool_ptrlist_new();
    if (!keys) return 0;
    int count = 0;
    for (uint64_t b = 0; table && b < table->bucket_count; ++b) {
        for (const tool_hash_entry_s* e = table->buckets[b]; e; e = e->next) {
            // A partial key list would pass for a complete one: give all keys or none.
            if (!tool_ptrlist_add(keys, e->key)) {
                tool_ptrlist_delete(&keys, nullptr, nullptr);
                return 0;
            }
            ++count;
        }
    }
    if (direction != 0) tool_ptrlist_sort(keys, direction, compare);
    *list = keys;
    return count;
}

uint64_t tool_hash_print(const tool_hash_s* table) {
    if (!table || !table->buckets) return 0;
    uint64_t entries = 0;
    for (uint64_t b = 0; b < table->bucket_count; ++b) {
        const tool_hash_entry_s* e = table->buckets[b];
        if (e) {
            std::printf("%12.12lld -> %p %p", static_cast<long long>(b), e->key, e->value);
            ++entries;
            for (e = e->next; e; e = e->next) {
                std::printf(" -> %p %p", e->key, e->value);
                ++entries;
            }
        }
        std::printf("\n");
    }
    return entries;
}
