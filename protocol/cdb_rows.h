// The four row records that travel inside the request record (common_model, multiusers,
// drawinglocks, object_lock), with their field sizes. The server keeps them in its tables as
// they are, so every size and offset here is wire format and table layout at once.
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
