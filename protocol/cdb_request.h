// The 352-byte request and reply record of the multiuser server, its request codes and
// their names, and the typed views of its 256-byte body. Clients and the server exchange
// it as the payload of one transport message, byte for byte in the host's little-endian
// layout. Header-only: the server, the client, the benchmark and the fuzz targets share it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "protocol/cdb_rows.h"

static_assert(std::endian::native == std::endian::little,
              "the request record travels in the host's layout, which must be little-endian");

// Request codes carried in cdb_request::query.
enum cdb_query : uint32_t {
    CDB_GET_MAXID = 1,
    CDB_LOCK_DATABASE = 2,
    CDB_UNLOCK_DATABASE = 3,
    CDB_CONFIRM_DATABASE_LOCK = 4,
    CDB_LOCK_OBJECT = 5,
    CDB_UNLOCK_OBJECT = 6,
    CDB_CONFIRM_OBJECT_LOCK = 7,
    CDB_TEST_CONNECTION = 8,
    CDB_GET_NCLIENTS = 9,
    CDB_GET_SERVER_DATABASE_NAME = 10,
    CDB_GET_GA_ID = 11,
    CDB_GET_NEXT_MULTIUSER = 12,
    CDB_SAVE_COMPLETED = 13,
    CDB_GET_MULTI_DRAWING_ID = 14,
    CDB_GET_NCLIENTS_FOR_MODEL = 15,
    CDB_GET_SERVER_VERSION = 16,
    CDB_GET_USER_AND_TIME_FOR_MODELLOCK = 17,
    CDB_LOCK_DRAWING = 18,
    CDB_UNLOCK_DRAWING = 19,
    CDB_KICK_CLIENT = 20,
    CDB_GET_LOCKED_DRAWING_NAMES = 21,
    CDB_CHECK_DRAWING_LOCK_STATUS = 22,
    CDB_CHECK_OBJECT_LOCK_PROTO = 23,
    CDB_LOCK_OBJECT_PROTO = 24,
    CDB_UNLOCK_OBJECT_PROTO = 25,
};
inline constexpr uint32_t CDB_FIRST_QUERY = CDB_GET_MAXID;
inline constexpr uint32_t CDB_LAST_QUERY = CDB_UNLOCK_OBJECT_PROTO;

enum : int32_t {
    CDB_MODEL_NAME_SIZE = 84,  // the record's field; the tables keep 81 characters of it
    CDB_BODY_SIZE = 256,
    CDB_TEXT_SIZE = 256,  // a text body: at most 255 characters and a NUL
};

// The body is kept as raw bytes and read or written through the row views below with
// memcpy, so no union member is ever read after another one was written.
struct cdb_request {
    uint32_t query;
    int32_t result;
    int32_t error;  // 1 when the request failed, 0 otherwise
    char model_name[CDB_MODEL_NAME_SIZE];
    char body[CDB_BODY_SIZE];
};

static_assert(std::is_trivially_copyable_v<cdb_request>);
static_assert(sizeof(cdb_request) == 352);
static_assert(offsetof(cdb_request, query) == 0);
static_assert(offsetof(cdb_request, result) == 4);
static_assert(offsetof(cdb_request, error) == 8);
static_assert(offsetof(cdb_request, model_name) == 12);
static_assert(offsetof(cdb_request, body) == 96);
inline constexpr std::size_t CDB_REQUEST_SIZE = sizeof(cdb_request);

// The rows that travel in the body, placed at offset 96 of the record.
template <class Row>
inline constexpr bool cdb_is_body_row_v =
    std::is_same_v<Row, common_model_row> || std::is_same_v<Row, multiusers_row> ||
    std::is_same_v<Row, drawinglocks_row> || std::is_same_v<Row, object_lock_row>;

// Reads the body as a row of the given kind.
template <class Row>
inline Row cdb_body_row(const cdb_request& request) {
    static_assert(cdb_is_body_row_v<Row> && sizeof(Row) <= CDB_BODY_SIZE);
    Row row;
    std::memcpy(&row, request.body, sizeof row);
    return row;
}

// Writes a row into the start of the body; the body's remaining bytes are left alone.
template <class Row>
inline void cdb_set_body_row(cdb_request& request, const Row& row) {
    static_assert(cdb_is_body_row_v<Row> && sizeof(Row) <= CDB_BODY_SIZE);
    std::memcpy(request.body, &row, sizeof row);
}

// The object-id body: a signed 32-bit id at offset 96.
inline int32_t cdb_body_object_id(const cdb_request& request) {
    int32_t id;
    std::memcpy(&id, request.body, sizeof id);
    return id;
}
inline void cdb_set_body_object_id(cdb_request& request, int32_t id) {
    std::memcpy(request.body, &id, sizeof id);
}

// Names of the request codes, as the server's log prints them.
inline constexpr const char* kCdbQueryNames[] = {
    "CDB_GET_MAXID",
    "CDB_LOCK_DATABASE",
    "CDB_UNLOCK_DATABASE",
    "CDB_CONFIRM_DATABASE_LOCK",
    "CDB_LOCK_OBJECT",
    "CDB_UNLOCK_OBJECT",
    "CDB_CONFIRM_OBJECT_LOCK",
    "CDB_TEST_CONNECTION",
    "CDB_GET_NCLIENTS",
    "CDB_GET_SERVER_DATABASE_NAME",
    "CDB_GET_GA_ID",
    "CDB_GET_NEXT_MULTIUSER",
    "CDB_SAVE_COMPLETED",
    "CDB_GET_MULTI_DRAWING_ID",
    "CDB_GET_NCLIENTS_FOR_MODEL",
    "CDB_GET_SERVER_VERSION",
    "CDB_GET_USER_AND_TIME_FOR_MODELLOCK",
    "CDB_LOCK_DRAWING",
    "CDB_UNLOCK_DRAWING",
    "CDB_KICK_CLIENT",
    "CDB_GET_LOCKED_DRAWING_NAMES",
    "CDB_CHECK_DRAWING_LOCK_STATUS",
    "CDB_CHECK_OBJECT_LOCK_PROTO",
    "CDB_LOCK_OBJECT_PROTO",
    "CDB_UNLOCK_OBJECT_PROTO",
};
static_assert(sizeof kCdbQueryNames / sizeof kCdbQueryNames[0] == CDB_LAST_QUERY);

// The name of a request code ("CDB_LOCK_OBJECT"), or null outside 1 to 25.
inline const char* cdb_query_name(uint32_t query) {
    if (query < CDB_FIRST_QUERY || query > CDB_LAST_QUERY) return nullptr;
    return kCdbQueryNames[query - 1];
}
