// Fuzz target: the table dump text reader (dbv::DumpTable_c::Read) on any bytes, into a
// table with every column type. Invariants: no crash or unbounded allocation; the table
// never holds more rows than the input has "row" header lines; the row buffer keeps its
// length.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dbv/dump_table.h"
#include "outside/assert_log.h"
#include "outside/log_printf.h"
#include "outside/table_store.h"

namespace {

const dbd_columndef_t kColumns[] = {{"id", DBD_INT32, 0},
                                    {"ratio", DBD_FLOAT, 0},
                                    {"weight", DBD_DOUBLE, 0},
                                    {"name", DBD_TEXT, 12},
                                    {"bytes", DBD_BYTES, 6}};
const dbd_indexdef_t kIndexes[] = {{"pk", {"id"}, 1, 1}};
const dbd_tabledef_t kTable = {"FuzzDump", kColumns, 5, kIndexes, 1, "pk"};
constexpr int32_t kNumber = 3;

void open_table() {
    static bool opened = false;
    if (opened) return;
    opened = true;
    setLogSink([](int, const char*) {});
    mainSetMaxAssertCount(0);
    if (dbd_definevirtualtable(&kTable) != 0 || dbd_createvirtualdatabase("FuzzDump") != 0 ||
        dbd_createvirtualtable("FuzzDump", kNumber, 1, 1, 1) != 0) {
        std::abort();
    }
}

size_t row_headers(const uint8_t* data, size_t size) {
    size_t count = 0;
    for (size_t i = 0; i + 3 <= size; ++i) {
        if (data[i] == 'r' && data[i + 1] == 'o' && data[i + 2] == 'w') ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    open_table();
    dbv_tablestruct* table = dbd_getvirtualtablepointer(kNumber);
    dbv_cleartable(table);
    mainResetAssertions();
    std::string bytes(reinterpret_cast<const char*>(data), size);
    bytes.push_back('\0');  // fmemopen needs one byte at least
    FILE* stream = fmemopen(bytes.data(), size == 0 ? 1 : size, "r");
    if (stream == nullptr) return 0;
    std::vector<uint8_t> row;
    dbv::DumpTable_c dump;
    dump.Read(kNumber, stream, -1, row);
    std::fclose(stream);
    if (row.size() != static_cast<size_t>(dbv_getrowlength(table))) std::abort();
    if (static_cast<size_t>(dbv_getrowcount(table)) > row_headers(data, size)) std::abort();
    return 0;
}
