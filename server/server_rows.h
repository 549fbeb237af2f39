// Row records of the server's six tables. They pass between the server and the table
// store, and four of them (common_model, multiusers, drawinglocks, object_lock) also
// travel inside the request record, so every size and offset here is wire format.
// Texts are NUL-terminated within their field; integers are 32-bit little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

// Field sizes, counting the terminating NUL.
enum : int32_t {
    SRV_MODEL_NAME_SIZE = 82,    // model names: at most 81 characters kept
    SRV_USER_NAME_SIZE = 82,     // user / client names
    SRV_GUID_SIZE = 39,          // object guids: at most 38 characters
    SRV_DRAWING_NAME_SIZE = 33,  // drawing names: at most 32 characters
};

// One row per model with its three id counters; the only table saved to the file.
struct common_model_row {
    char name[SRV_MODEL_NAME_SIZE];
    char padding[2];
    int32_t db_number;
    int32_t maxid;
    int32_t ga_id;
    int32_t multi_drawing_id;
};

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

// Lock of one object guid; `locked` 1 = held, anything else = free.
struct object_lock_row {
    char guid[SRV_GUID_SIZE];
    char client_name[SRV_USER_NAME_SIZE];
    char padding[3];
    int32_t locked;
};

// One row per user: the model the user last worked on and the user's times.
struct multiusers_row {
    char ModelName[SRV_MODEL_NAME_SIZE];
    char UserName[SRV_USER_NAME_SIZE];
    int32_t LoginTime;
    int32_t LastAccessTime;
    int32_t LastSaveTime;
    int32_t LockedTime;
};

// One row per model, drawing, user and lock status (1, 2 or 3).
struct drawinglocks_row {
    char ModelName[SRV_MODEL_NAME_SIZE];
    char DrawingName[SRV_DRAWING_NAME_SIZE];
    char UserName[SRV_USER_NAME_SIZE];
    char padding[3];
    int32_t TimeStamp;
    int32_t ModId;
    int32_t LockStatus;
};

static_assert(sizeof(common_model_row) == 100);
static_assert(offsetof(common_model_row, name) == 0);
static_assert(offsetof(common_model_row, db_number) == 84);
static_assert(offsetof(common_model_row, maxid) == 88);
static_assert(offsetof(common_model_row, ga_id) == 92);
static_assert(offsetof(common_model_row, multi_drawing_id) == 96);

static_assert(sizeof(old_common_model_101_row) == 92);
static_assert(offsetof(old_common_model_101_row, name) == 0);
static_assert(offsetof(old_common_model_101_row, db_number) == 84);
static_assert(offsetof(old_common_model_101_row, maxid) == 88);

static_assert(sizeof(lock_row) == 172);
static_assert(offsetof(lock_row, model_name) == 0);
static_assert(offsetof(lock_row, client_name) == 82);
static_assert(offsetof(lock_row, object_id) == 164);
static_assert(offsetof(lock_row, locked) == 168);

static_assert(sizeof(object_lock_row) == 128);
static_assert(offsetof(object_lock_row, guid) == 0);
static_assert(offsetof(object_lock_row, client_name) == 39);
static_assert(offsetof(object_lock_row, locked) == 124);

static_assert(sizeof(multiusers_row) == 180);
static_assert(offsetof(multiusers_row, ModelName) == 0);
static_assert(offsetof(multiusers_row, UserName) == 82);
static_assert(offsetof(multiusers_row, LoginTime) == 164);
static_assert(offsetof(multiusers_row, LastAccessTime) == 168);
static_assert(offsetof(multiusers_row, LastSaveTime) == 172);
static_assert(offsetof(multiusers_row, LockedTime) == 176);

static_assert(sizeof(drawinglocks_row) == 212);
static_assert(offsetof(drawinglocks_row, ModelName) == 0);
static_assert(offsetof(drawinglocks_row, DrawingName) == 82);
static_assert(offsetof(drawinglocks_row, UserName) == 115);
static_assert(offsetof(drawinglocks_row, TimeStamp) == 200);
static_assert(offsetof(drawinglocks_row, ModId) == 204);
static_assert(offsetof(drawinglocks_row, LockStatus) == 208);

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
