// Names of the request codes, as the server's log prints them.
#include "server/cdb_request.h"

namespace {
constexpr const char* kQueryNames[] = {
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
static_assert(sizeof kQueryNames / sizeof kQueryNames[0] == CDB_LAST_QUERY);
}  // namespace

const char* cdb_query_name(uint32_t query) {
    if (query < CDB_FIRST_QUERY || query > CDB_LAST_QUERY) return nullptr;
    return kQueryNames[query - 1];
}
