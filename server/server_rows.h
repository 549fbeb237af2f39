// Row records of the server's six tables. Four of them travel inside the request record
// too and live with it (protocol/cdb_rows.h); the lock rows and the 1.01 counters stay
// between the server and the table store. Texts are NUL-terminated within their field.
#pragma once

#include <cstddef>
#include <cstdint>

#include "protocol/cdb_rows.h"

// The counters of the 1.01 file format, converted into common_model at start-up.
struct old_common_model_101_row {
    char name[SRV_MODEL_NAME_SIZE];
    char padding[2];
    int32_t db_number;
    int32_t maxid;
};

// Database lock (object_id 0) or object lock of a model, with a nesting count.
struct lock_row {
    char model_name[SRV_MODEL_NAME_SIZE];
    char client_name[SRV_USER_NAME_SIZE];
    int32_t object_id;
    int32_t locked;
};

static_assert(sizeof(old_common_model_101_row) == 92);
static_assert(offsetof(old_common_model_101_row, name) == 0);
static_assert(offsetof(old_common_model_101_row, db_number) == 84);
static_assert(offsetof(old_common_model_101_row, maxid) == 88);

static_assert(sizeof(lock_row) == 172);
static_assert(offsetof(lock_row, model_name) == 0);
static_assert(offsetof(lock_row, client_name) == 82);
static_assert(offsetof(lock_row, object_id) == 164);
static_assert(offsetof(lock_row, locked) == 168);

// Copies the text `src` (at most `src_size` bytes looked at, so an unterminated wire field
// is safe) into `dst`, cut to dst_size - 1 characters and terminated; the rest of `dst` is
// zero-filled so that rows compare and serialise byte for byte.
// REQUIRES: dst_size >= 1; src may be null (copied as empty).
void srv_copy_text(char* dst, size_t dst_size, const char* src, size_t src_size);

// Same for a NUL-terminated source.
template <size_t N>
inline void srv_copy_text(char (&dst)[N], const char* src) {
    srv_copy_text(dst, N, src, static_cast<size_t>(-1));
}
// Same for a fixed-size field of another row.
template <size_t N, size_t M>
inline void srv_copy_field(char (&dst)[N], const char (&src)[M]) {
    srv_copy_text(dst, N, src, M);
}
