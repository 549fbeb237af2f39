// Choosing, testing, reading and writing the server's database file. The file holds the
// per-model id counters; everything else the server knows lives only in memory.
#include "server/server_database.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "outside/base_tools.h"
#include "outside/table_store.h"
#include "port/clock.h"
#include "port/file_swap.h"
#include "port/files.h"
#include "port/paths.h"
#include "server/file_committer.h"
#include "server/log_text.h"
#include "server/server_rows.h"
#include "server/server_state.h"
#include "server/server_tables.h"

namespace {

constexpr const char* kHeaderWord = "KorvexServer";
constexpr size_t kHeaderWordLength = 12;
constexpr const char* kDirectoryVariable = "QM_SERVER_DATABASE_DIRECTORY";

// The end mark travels little-endian whatever the host.
void encode_end_mark(unsigned char out[4]) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(SRV_FILE_END_MARK >> (8 * i));
}

// Reads one table part and its end mark. A part the store refuses is given up silently:
// the table keeps what it had, and the start-up goes on.
void read_table_part(FILE* stream, int32_t table_number, const char* display_name) {
    dbv_tablestruct* table = dbd_getvirtualtablepointer(table_number);
    if (table == nullptr || dbv_readtable(stream, table) != 0) return;
    unsigned char mark[4] = {0, 0, 0, 0};
    unsigned char expected[4];
    encode_end_mark(expected);
    if (tool_fread(mark, 1, 4, stream) != 4 || std::memcmp(mark, expected, 4) != 0)
        log_printf("Error: corrupted db file: %s\n", display_name);
}

bool write_table_part(FILE* stream, int32_t table_number) {
    dbv_tablestruct* table = dbd_getvirtualtablepointer(table_number);
    if (table == nullptr || dbv_writetable(stream, table) != 0) return false;
    unsigned char mark[4];
    encode_end_mark(mark);
    return tool_fwrite(mark, 1, 4, stream) == 4;
}

std::string database_base_name(const char* address) {
    std::string name(address);
    // The first character stays as it is; the separators of the address syntax after it
    // would be awkward in a file name.
    for (size_t i = 1; i < name.size(); ++i)
        if (name[i] == ',' || name[i] == '.' || name[i] == ':') name[i] = '_';
    return name + ".db";
}

// Forms the candidate path in `directory`, traces it, and adopts it when it passes.
bool try_candidate(const std::string& directory, const std::string& base_name) {
    server_context& state = server_state();
    std::string path = port_join_path(directory, base_name);
    if (state.test_mode) fprintf(stderr, "DB filename   : '%s'\n", path.c_str());
    char absolute[SRV_MAX_FILE_NAME + 1];
    if (port_absolute_path(path.c_str(), absolute, sizeof absolute)) {
        path = absolute;
        if (state.test_mode) fprintf(stderr, "Full filename : '%s'\n", path.c_str());
    }
    // Both names must fit the server's 1023-character limit; the temporary one is longer.
    if (path.size() + 4 > SRV_MAX_FILE_NAME) return false;
    if (!test_database_file(path.c_str())) return false;
    state.database_file = path;
    state.temporary_file = path + ".tmp";
    return true;
}

}  // namespace

bool test_database_file(const char* path) {
    const bool trace = server_state().test_mode;
    if (trace) fprintf(stderr, "---\nTesting database file:\n'%s'\n", path ? path : "NULL");
    bool ok = false;
    if (path != nullptr && path[0] != '\0') {
        if (FILE* existing = tool_fopen(path, "rb")) {
            tool_fclose(existing);
            if (FILE* append = tool_fopen(path, "ab")) {
                tool_fclose(append);
                ok = true;
            }
        } else if (FILE* created = tool_fopen(path, "wb")) {
            tool_fclose(created);
            port_remove_file(path);
            ok = true;
        }
    }
    if (trace) fprintf(stderr, ok ? "-> OK\n" : "-> Could not open for writing.\n");
    if (trace) fprintf(stderr, "---\n");
    return ok;
}

int find_database_file(const char* address, const char* directory) {
    if (address == nullptr || address[0] == '\0') return 1;
    const std::string base_name = database_base_name(address);
    if (try_candidate(directory ? directory : "", base_name)) return 0;
    if (const char* env = std::getenv(kDirectoryVariable)) {
        if (try_candidate(env, base_name)) return 0;
    }
    return try_candidate("", base_name) ? 0 : 1;
}

int read_database_stream(FILE* stream, const char* display_name) {
    if (stream == nullptr) return 1;
    if (display_name == nullptr) display_name = "";
    // One spare byte keeps the header a terminated text for the scan below, whatever
    // the file holds; a short read leaves zeros.
    char header[SRV_FILE_HEADER_SIZE + 1] = {};
    (void)tool_fread(header, 1, SRV_FILE_HEADER_SIZE, stream);
    if (std::strncmp(header, kHeaderWord, kHeaderWordLength) != 0) return 1;

    char word[SRV_FILE_HEADER_SIZE + 1];
    float version = 0.0f;
    if (std::sscanf(header, "%18s %f", word, &version) != 2) return 1;
    // The version is read in single precision and compared with the double 1.02 on
    // purpose: 1.02f is slightly below 1.02, so a file this server wrote passes.
    if (static_cast<double>(version) > SRV_FILE_VERSION) return 1;

    if (version >= 1.01f) read_table_part(stream, SRV_TABLE_OLD_COMMON_MODEL_101, display_name);
    if (version >= 1.02f) read_table_part(stream, SRV_TABLE_COMMON_MODEL, display_name);
    convert_common_model_101();
    return 0;
}

int read_database_file() {
    const server_context& state = server_state();
    if (state.database_file.empty()) return 0;
    FILE* stream = tool_fopen(state.database_file.c_str(), "rb");
    if (stream == nullptr) return 0;  // no file yet: start with empty tables
    int result = read_database_stream(stream, state.database_file.c_str());
    tool_fclose(stream);
    return result;
}

void convert_common_model_101() {
    dbv_tablestruct* old_table = dbd_getvirtualtablepointer(SRV_TABLE_OLD_COMMON_MODEL_101);
    dbv_tablestruct* new_table = dbd_getvirtualtablepointer(SRV_TABLE_COMMON_MODEL);
    if (old_table == nullptr) return;
    dbv_cursorstruct* cursor = dbv_opencursor_all(old_table);
    old_common_model_101_row old_row{};
    bool first = true;
    while (cursor != nullptr && dbv_fetch(cursor, &old_row) == 0) {
        if (first) {
            log_printf("Converting common model table from 1.01 to 1.02 ...\n");
            first = false;
        }
        common_model_row row{};
        srv_copy_field(row.name, old_row.name);
        row.db_number = old_row.db_number;
        row.maxid = old_row.maxid;
        row.ga_id = 0;
        row.multi_drawing_id = 0;
        if (new_table == nullptr || dbv_insert(new_table, &row) != 0)
            log_printf("Conversion of common model table from 1.01 to 1.02 failed!\n");
    }
    dbv_closecursor(cursor);
    dbv_cleartable(old_table);
}

namespace {

bool save_pending = false;
// How long the last save took: waiting for more allocations to share the next one pays while
// the wait is well below that.
int64_t last_save_us = 0;
// Beyond this a save is slow anyway (a disk that queues), and the wait would only add to it.
constexpr int64_t kMaxGatherUs = 2000;

// Kept across saves: the second and later saves of a run overwrite the previous file in place.
file_committer& committer() {
    static file_committer instance;
    return instance;
}

bool write_file_content(FILE* stream, void* /*context*/) {
    char header[32];
    std::snprintf(header, sizeof header, "%s %5.2f", kHeaderWord, SRV_FILE_VERSION);
    return tool_fwrite(header, 1, SRV_FILE_HEADER_SIZE, stream) == SRV_FILE_HEADER_SIZE &&
           write_table_part(stream, SRV_TABLE_OLD_COMMON_MODEL_101) &&
           write_table_part(stream, SRV_TABLE_COMMON_MODEL);
}

// The save itself, without a log line: 0 done, 1 failed (the previous file stays).
int save_database_file() {
    const server_context& state = server_state();
    // Without a chosen file name there is nothing to save to (and ".tmp" would land in
    // the current directory).
    if (state.database_file.empty()) return 1;
    // The content is made in memory first: the file is then written with one call, and a
    // table the store refuses to write leaves the disk untouched.
    std::string content;
    if (!port_write_to_memory(write_file_content, nullptr, content)) return 1;
    return committer().commit(state.database_file, state.temporary_file, content);
}

}  // namespace

int write_database_file() {
    if (save_database_file() != 0) {
        log_printf("Write failed: %s\n", server_state().database_file.c_str());
        return 1;
    }
    return 0;
}

void request_database_save(const std::string& saved_line) {
    save_pending = true;
    log_hold_save_line(saved_line);
}

bool database_save_pending() {
    return save_pending;
}

int commit_pending_save() {
    if (!save_pending) return 0;
    save_pending = false;
    const uint64_t started = port_monotonic_ns();
    const int failed = save_database_file();
    last_save_us = static_cast<int64_t>((port_monotonic_ns() - started) / 1000);
    log_release(failed == 0, server_state().database_file);
    return failed;
}

int64_t save_gather_allowance_us() {
    if (!save_pending) return 0;
    return std::min(last_save_us / 2, kMaxGatherUs);
}

int open_server_database(const char* address, const char* directory) {
    if (find_database_file(address, directory) != 0) {
        fprintf(stderr, "Fatal error: Unable to open database file!\n");
        port_sleep_ms(server_state().fatal_pause_ms);
        return 1;
    }
    srv_declare_tables();
    if (int created = srv_create_tables(); created != 0) return created;
    return read_database_file();
}
