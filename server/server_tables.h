// Numbers, names and index names of the server's six tables in the virtual database
// "ServerDatabase", and the declaration of their definitions to the table dictionary.
// Every other server file reaches the tables through these constants.
#pragma once

#include <cstdint>

#include "outside/table_store.h"

inline constexpr const char* SRV_DATABASE_NAME = "ServerDatabase";

// Table numbers under which the server creates and finds its tables.
enum : int32_t {
    SRV_TABLE_COMMON_MODEL = 42,
    SRV_TABLE_LOCK = 10123,
    SRV_TABLE_OLD_COMMON_MODEL_101 = 10124,
    SRV_TABLE_MULTIUSERS = 10125,
    SRV_TABLE_DRAWINGLOCKS = 10126,
    SRV_TABLE_OBJECT_LOCK = 10127,
};

// Secondary index names of drawinglocks (the primary one is "AllNames").
inline constexpr const char* SRV_DRAWINGLOCKS_BY_MODEL_DRAWING = "ModelDrawingName";
inline constexpr const char* SRV_DRAWINGLOCKS_BY_MODEL_USER = "ModelUserName";
inline constexpr const char* SRV_DRAWINGLOCKS_BY_USER = "UserName";
inline constexpr const char* SRV_DRAWINGLOCKS_BY_STATUS = "LockStatus";

// The static definitions (they live for the whole process).
extern const dbd_tabledef_t srv_common_model_def;
extern const dbd_tabledef_t srv_old_common_model_101_def;
extern const dbd_tabledef_t srv_lock_def;
extern const dbd_tabledef_t srv_object_lock_def;
extern const dbd_tabledef_t srv_multiusers_def;
extern const dbd_tabledef_t srv_drawinglocks_def;
extern const dbd_tagdef_t srv_modelguidid_tag;

// Declares the tables, the tag reference of common_model (modelguidid on maxid) and the
// tag modelguidid to the dictionary, in the server's fixed order. Results are not checked:
// declaring the same definitions again is harmless.
void srv_declare_tables();

// Creates the virtual database "ServerDatabase" (current afterwards) and the six tables in
// it. Returns 0; 1 when the store refuses the database (no message); 2 when it refuses a
// table ("Error creating table\n" on standard output).
// REQUIRES: srv_declare_tables() was called; no database of that name exists yet.
int srv_create_tables();
