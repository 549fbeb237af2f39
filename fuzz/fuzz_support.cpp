// Server tables and context for the fuzz targets; see fuzz_support.h.
#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "outside/table_store.h"
#include "server/server_state.h"
#include "server/server_tables.h"

namespace qm_fuzz {
namespace {

constexpr int32_t kTables[] = {SRV_TABLE_COMMON_MODEL,         SRV_TABLE_LOCK,
                               SRV_TABLE_OLD_COMMON_MODEL_101, SRV_TABLE_MULTIUSERS,
                               SRV_TABLE_DRAWINGLOCKS,         SRV_TABLE_OBJECT_LOCK};

std::string s_dir;

const dbd_columndef_t kMixedColumns[] = {
    {"name", DBD_TEXT, 20},   {"id", DBD_INT32, 0},   {"weight", DBD_FLOAT, 0},
    {"value", DBD_DOUBLE, 0}, {"blob", DBD_BYTES, 7},
};
const dbd_indexdef_t kMixedIndexes[] = {
    {"name_id", {"name", "id"}, 1, 1},
    {"blob", {"blob"}, 1, 0},
    {"weight_value", {"weight", "value"}, 1, 0},
};

void remove_dir() {
    std::error_code ignored;
    if (!s_dir.empty()) std::filesystem::remove_all(s_dir, ignored);
}

}  // namespace

const dbd_tabledef_t kMixedTableDef = {"fuzz_mixed", kMixedColumns, 5, kMixedIndexes, 3, "name_id"};

const int32_t kReaderTables[3] = {SRV_TABLE_COMMON_MODEL, SRV_TABLE_DRAWINGLOCKS, kMixedTable};

void open_reader_tables() {
    static bool opened = false;
    if (opened) return;
    opened = true;
    if (dbd_definevirtualtable(&srv_common_model_def) != 0 ||
        dbd_definevirtualtable(&srv_drawinglocks_def) != 0 ||
        dbd_definevirtualtable(&kMixedTableDef) != 0)
        fail("cannot declare the tables");
    if (dbd_createvirtualdatabase("FuzzTables") != 0) fail("cannot create the database");
    if (dbd_createvirtualtable(srv_common_model_def.name, SRV_TABLE_COMMON_MODEL, 1, 1, 1) != 0 ||
        dbd_createvirtualtable(srv_drawinglocks_def.name, SRV_TABLE_DRAWINGLOCKS, 1, 1, 1) != 0 ||
        dbd_createvirtualtable(kMixedTableDef.name, kMixedTable, 1, 1, 1) != 0)
        fail("cannot create the tables");
}

void open_server_tables() {
    static bool opened = false;
    if (opened) return;
    opened = true;
    if (std::freopen("/dev/null", "w", stdout) == nullptr) fail("cannot silence stdout");
    // Every id allocation saves the file with fsync; on tmpfs that costs next to nothing.
    char pattern[] = "/dev/shm/qm_fuzz_XXXXXX";
    char fallback[] = "/tmp/qm_fuzz_XXXXXX";
    if (::mkdtemp(pattern) != nullptr) {
        s_dir = pattern;
    } else if (::mkdtemp(fallback) != nullptr) {
        s_dir = fallback;
    } else {
        fail("cannot create a temporary folder");
    }
    std::atexit(remove_dir);

    server_state_reset();
    server_context& state = server_state();
    state.database_file = s_dir + "/fuzz.db";
    state.temporary_file = state.database_file + ".tmp";
    state.fatal_pause_ms = 0;
    state.clock = [] { return int32_t{100000}; };
    srv_declare_tables();
    if (srv_create_tables() != 0) fail("cannot create the server tables");
}

void clear_server_tables_keep_file() {
    for (int32_t table : kTables) dbv_cleartable(dbd_getvirtualtablepointer(table));
    server_state().connected_clients = 0;
}

void clear_server_tables() {
    clear_server_tables_keep_file();
    std::remove(server_state().database_file.c_str());
}

int32_t row_count(int32_t table_number) {
    return dbv_getrowcount(dbd_getvirtualtablepointer(table_number));
}

FILE* open_bytes(const uint8_t* data, size_t size) {
    static const uint8_t kNothing = 0;
    if (size == 0) {
        FILE* stream = fmemopen(const_cast<uint8_t*>(&kNothing), 1, "rb");
        if (stream != nullptr) std::fgetc(stream);
        return stream;
    }
    return fmemopen(const_cast<uint8_t*>(data), size, "rb");
}

uint16_t take_u16(const uint8_t*& data, size_t& size) {
    uint16_t v = 0;
    if (size >= 1) v = data[0];
    if (size >= 2) v = static_cast<uint16_t>(v | data[1] << 8);
    const size_t used = size < 2 ? size : 2;
    data += used;
    size -= used;
    return v;
}

void fail(const char* what) {
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace qm_fuzz
