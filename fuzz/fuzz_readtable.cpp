// Fuzz target: the table store's table reader (dbv_readtable) on any bytes, for three
// tables: the server's counters table, its drawing-lock table (four secondary indexes)
// and a table with every column type. The first input byte picks the table.
// Invariants: a refused block leaves the old rows as they were; an accepted block is
// written back byte for byte as it was read.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"

namespace {

// Two distinct rows, so that a refused read has something to leave alone.
void fill_two_rows(dbv_tablestruct* table) {
    const int32_t length = dbv_getrowlength(table);
    std::string row(static_cast<size_t>(length), '\0');
    for (int i = 0; i < 2; ++i) {
        row.assign(static_cast<size_t>(length), static_cast<char>('a' + i));
        row[5] = '\0';  // ends every leading text column early
        if (dbv_insert(table, row.data()) != 0) qm_fuzz::fail("cannot insert a starting row");
    }
}

std::string write_table(dbv_tablestruct* table) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) qm_fuzz::fail("open_memstream");
    if (dbv_writetable(out, table) != 0) qm_fuzz::fail("an accepted table cannot be written");
    std::fclose(out);
    std::string bytes(buffer, size);
    std::free(buffer);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qm_fuzz::open_reader_tables();
    if (size == 0) return 0;
    const int32_t number = qm_fuzz::kReaderTables[data[0] % 3];
    ++data;
    --size;
    dbv_tablestruct* table = dbd_getvirtualtablepointer(number);
    dbv_cleartable(table);
    fill_two_rows(table);

    FILE* stream = qm_fuzz::open_bytes(data, size);
    if (stream == nullptr) return 0;
    const int result = dbv_readtable(stream, table);
    const long consumed = std::ftell(stream);
    std::fclose(stream);

    if (result != 0) {
        if (dbv_getrowcount(table) != 2) qm_fuzz::fail("a refused read changed the table");
        return 0;
    }
    if (consumed < 0 || static_cast<size_t>(consumed) > size) qm_fuzz::fail("bad stream position");
    const std::string written = write_table(table);
    if (written.size() != static_cast<size_t>(consumed) ||
        std::memcmp(written.data(), data, written.size()) != 0)
        qm_fuzz::fail("an accepted table is written back differently");

    // Whatever was accepted is also accepted again.
    FILE* again = fmemopen(const_cast<char*>(written.data()), written.size(), "rb");
    if (again == nullptr) return 0;
    const int32_t rows = dbv_getrowcount(table);
    if (dbv_readtable(again, table) != 0 || dbv_getrowcount(table) != rows)
        qm_fuzz::fail("a written table cannot be read back");
    std::fclose(again);
    return 0;
}
