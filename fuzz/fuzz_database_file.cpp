// Fuzz target: the server database file reader on any bytes. Beyond not crashing, a file
// that was accepted must survive a save and a second read unchanged, and the old-format
// table must always be empty afterwards (its rows are converted at every read).
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "outside/table_store.h"
#include "server/server_database.h"
#include "server/server_rows.h"
#include "server/server_tables.h"

namespace {

std::vector<common_model_row> common_models() {
    std::vector<common_model_row> rows;
    dbv_cursorstruct* cursor =
        dbv_opencursor_all(dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL));
    common_model_row row{};
    while (cursor != nullptr && dbv_fetch(cursor, &row) == 0) rows.push_back(row);
    dbv_closecursor(cursor);
    return rows;
}

bool same_rows(const std::vector<common_model_row>& a, const std::vector<common_model_row>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::strncmp(a[i].name, b[i].name, sizeof a[i].name) != 0 ||
            a[i].db_number != b[i].db_number || a[i].maxid != b[i].maxid ||
            a[i].ga_id != b[i].ga_id || a[i].multi_drawing_id != b[i].multi_drawing_id)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::open_server_tables();
    qm_fuzz::clear_server_tables();

    FILE* stream = qm_fuzz::open_bytes(data, size);
    if (stream == nullptr) return 0;
    const int result = read_database_stream(stream, "fuzz.db");
    std::fclose(stream);

    if (qm_fuzz::row_count(SRV_TABLE_OLD_COMMON_MODEL_101) != 0)
        qm_fuzz::fail("old_common_model_101 not empty after a read");
    if (result != 0 && qm_fuzz::row_count(SRV_TABLE_COMMON_MODEL) != 0)
        qm_fuzz::fail("a refused file left rows behind");
    if (result != 0) return 0;

    const std::vector<common_model_row> before = common_models();
    if (write_database_file() != 0) qm_fuzz::fail("an accepted database cannot be saved");
    qm_fuzz::clear_server_tables_keep_file();
    if (read_database_file() != 0) qm_fuzz::fail("a saved database file is refused");
    if (!same_rows(before, common_models())) qm_fuzz::fail("a saved database reads back different");
    return 0;
}
