// Static definitions of the server's six tables and their creation in "ServerDatabase".
// Column sizes and order must match the row records of server_rows.h (checked in tests).
#include "server/server_tables.h"

#include <cstdio>

#include "server/log_text.h"
#include "server/server_rows.h"

namespace {

const dbd_columndef_t s_common_model_columns[] = {
    {"name", DBD_TEXT, SRV_MODEL_NAME_SIZE},
    {"db_number", DBD_INT32, 0},
    {"maxid", DBD_INT32, 0},
    {"ga_id", DBD_INT32, 0},
    {"multi_drawing_id", DBD_INT32, 0},
};
const dbd_indexdef_t s_common_model_indexes[] = {
    {"model_name_number", {"name", "db_number"}, 1, 1},
};

const dbd_columndef_t s_old_common_model_columns[] = {
    {"name", DBD_TEXT, SRV_MODEL_NAME_SIZE},
    {"db_number", DBD_INT32, 0},
    {"maxid", DBD_INT32, 0},
};
const dbd_indexdef_t s_old_common_model_indexes[] = {
    {"model_name_number", {"name", "db_number"}, 1, 1},
};

const dbd_columndef_t s_lock_columns[] = {
    {"model_name", DBD_TEXT, SRV_MODEL_NAME_SIZE},
    {"client_name", DBD_TEXT, SRV_USER_NAME_SIZE},
    {"object_id", DBD_INT32, 0},
    {"locked", DBD_INT32, 0},
};
const dbd_indexdef_t s_lock_indexes[] = {
    {"lock_model_name", {"model_name", "object_id"}, 1, 1},
};

const dbd_columndef_t s_object_lock_columns[] = {
    {"guid", DBD_TEXT, SRV_GUID_SIZE},
    {"client_name", DBD_TEXT, SRV_USER_NAME_SIZE},
    {"locked", DBD_INT32, 0},
};
const dbd_indexdef_t s_object_lock_indexes[] = {
    {"guid", {"guid"}, 1, 1},
};

const dbd_columndef_t s_multiusers_columns[] = {
    {"ModelName", DBD_TEXT, SRV_MODEL_NAME_SIZE},
    {"UserName", DBD_TEXT, SRV_USER_NAME_SIZE},
    {"LoginTime", DBD_INT32, 0},
    {"LastAccessTime", DBD_INT32, 0},
    {"LastSaveTime", DBD_INT32, 0},
    {"LockedTime", DBD_INT32, 0},
};
const dbd_indexdef_t s_multiusers_indexes[] = {
    {"UserName", {"UserName"}, 1, 1},
};

const dbd_columndef_t s_drawinglocks_columns[] = {
    {"ModelName", DBD_TEXT, SRV_MODEL_NAME_SIZE},
    {"DrawingName", DBD_TEXT, SRV_DRAWING_NAME_SIZE},
    {"UserName", DBD_TEXT, SRV_USER_NAME_SIZE},
    {"TimeStamp", DBD_INT32, 0},
    {"ModId", DBD_INT32, 0},
    {"LockStatus", DBD_INT32, 0},
};
const dbd_indexdef_t s_drawinglocks_indexes[] = {
    {"AllNames", {"ModelName", "DrawingName", "UserName", "LockStatus"}, 1, 1},
    {"ModelDrawingName", {"ModelName", "DrawingName"}, 1, 0},
    {"ModelUserName", {"ModelName", "UserName"}, 1, 0},
    {"UserName", {"UserName"}, 1, 0},
    {"LockStatus", {"LockStatus"}, 1, 0},
};

const dbd_tagreference_t s_common_model_tag_refs[] = {
    {"modelguidid", "maxid"},
};

template <size_t N>
constexpr int32_t count(const dbd_columndef_t (&)[N]) {
    return static_cast<int32_t>(N);
}
template <size_t N>
constexpr int32_t count(const dbd_indexdef_t (&)[N]) {
    return static_cast<int32_t>(N);
}

}  // namespace

const dbd_tabledef_t srv_common_model_def = {
    "common_model",         s_common_model_columns,        count(s_common_model_columns),
    s_common_model_indexes, count(s_common_model_indexes), "model_name_number"};
const dbd_tabledef_t srv_old_common_model_101_def = {"old_common_model_101",
                                                     s_old_common_model_columns,
                                                     count(s_old_common_model_columns),
                                                     s_old_common_model_indexes,
                                                     count(s_old_common_model_indexes),
                                                     "model_name_number"};
const dbd_tabledef_t srv_lock_def = {"lock",         s_lock_columns,        count(s_lock_columns),
                                     s_lock_indexes, count(s_lock_indexes), "lock_model_name"};
const dbd_tabledef_t srv_object_lock_def = {
    "object_lock",         s_object_lock_columns,        count(s_object_lock_columns),
    s_object_lock_indexes, count(s_object_lock_indexes), "guid"};
const dbd_tabledef_t srv_multiusers_def = {
    "multiusers",         s_multiusers_columns,        count(s_multiusers_columns),
    s_multiusers_indexes, count(s_multiusers_indexes), "UserName"};
const dbd_tabledef_t srv_drawinglocks_def = {
    "drawinglocks",         s_drawinglocks_columns,        count(s_drawinglocks_columns),
    s_drawinglocks_indexes, count(s_drawinglocks_indexes), "AllNames"};
const dbd_tagdef_t srv_modelguidid_tag = {
    "modelguidid", "The column holds a table-store guid/id in the model domain."};

void srv_declare_tables() {
    // The dictionary accepts a repeated declaration of the same definition, so the
    // results carry nothing the server could act on.
    (void)dbd_definevirtualtable(&srv_common_model_def);
    (void)dbd_definetabletagreferences(srv_common_model_def.name, s_common_model_tag_refs, 1);
    (void)dbd_definevirtualtable(&srv_old_common_model_101_def);
    (void)dbd_definevirtualtable(&srv_lock_def);
    (void)dbd_definevirtualtable(&srv_object_lock_def);
    (void)dbd_definevirtualtable(&srv_multiusers_def);
    (void)dbd_definevirtualtable(&srv_drawinglocks_def);
    (void)dbd_definetag(&srv_modelguidid_tag);
}

int srv_create_tables() {
    if (dbd_createvirtualdatabase(SRV_DATABASE_NAME) != 0) return 1;
    struct creation {
        const dbd_tabledef_t* def;
        int32_t number;
    };
    // Creation order is fixed; the numbers are what every other part looks the tables up by.
    const creation order[] = {
        {&srv_common_model_def, SRV_TABLE_COMMON_MODEL},
        {&srv_lock_def, SRV_TABLE_LOCK},
        {&srv_old_common_model_101_def, SRV_TABLE_OLD_COMMON_MODEL_101},
        {&srv_multiusers_def, SRV_TABLE_MULTIUSERS},
        {&srv_drawinglocks_def, SRV_TABLE_DRAWINGLOCKS},
        {&srv_object_lock_def, SRV_TABLE_OBJECT_LOCK},
    };
    for (const creation& c : order) {
        if (dbd_createvirtualtable(c.def->name, c.number, 1, 1, 1) != 0) {
            log_printf("Error creating table\n");
            return 2;
        }
    }
    return 0;
}
