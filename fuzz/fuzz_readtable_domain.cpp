// Fuzz target: the table store's domain-table reader (dbv_readtable_domain) and skipper
// (dbv_skiptable_domain) on any bytes, against a domain table with a domain field, a float
// and a text column, ids 1 ... 64 handed out by its domain.
// The first input byte steers: bit 0 skip instead of read, bit 1 change-control mode 2 (a
// merging read), bit 2 put the domain's guid prefix into the block and its two CRCs right,
// so that the checks behind them are reached although every run draws a fresh prefix.
// Invariants: a refused read leaves the live and history rows as they were; an accepted
// replacing read is written back byte for byte as it was read.
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "outside/store_domain_tables.h"

namespace {

struct FuzzRow {
    int32_t id;
    int32_t owner;  // the domain field
    float weight;
    char name[12];
};
const dbd_columndef_t kColumns[] = {{"id", DBD_INT32, 0},
                                    {"owner", DBD_INT32, 0},
                                    {"weight", DBD_FLOAT, 0},
                                    {"name", DBD_TEXT, 12}};
const dbd_indexdef_t kIndexes[] = {{"by_id", {"id"}, 1, 1}, {"by_owner", {"owner"}, 1, 0}};
const dbd_tabledef_t kTable = {"fuzz_domain_rows", kColumns, 4, kIndexes, 2, "by_id"};
constexpr int32_t kTableNumber = 3;

struct Setup {
    dbv_domain_s* domain = nullptr;
    dbv_domainheader_s* header = nullptr;
    dbv_tablestruct* table = nullptr;
    dbv_indexstruct* primary = nullptr;
    dbv_guid_s prefix{};
};

int32_t count_nan(dbv_tablestruct*, intptr_t, int32_t) {
    return 0;
}

const Setup& setup() {
    static const Setup s = [] {
        Setup made;
        int32_t first = 0;
        if (dbd_definevirtualtable(&kTable) != 0 || dbd_createvirtualdatabase("FuzzDomain") != 0 ||
            dbd_createvirtualtable("fuzz_domain_rows", kTableNumber, 1, 1, 1) != 0 ||
            dbv_createdomain(&made.domain) != 0 || dbv_newidrange(made.domain, 64, &first) != 0 ||
            dbv_createdomainheader(made.domain, &made.header) != 0 ||
            dbv_timeidtoguid(made.domain, 1, &made.prefix) != 0) {
            qm_fuzz::fail("cannot set up the domain table");
        }
        made.table = dbd_getvirtualtablepointer(kTableNumber);
        made.primary = dbd_getvirtualprimarypointer(kTableNumber);
        const dbv_domainfieldspec_s specs[] = {{1, 4, made.domain}, {-1, 0, nullptr}};
        if (dbv_converttable_domain(made.table, made.domain, specs, nullptr, nullptr) != 0) {
            qm_fuzz::fail("cannot convert the table");
        }
        dbv_settablecolumnnotanumbercallback_ctx(made.table, count_nan, 1);
        return made;
    }();
    return s;
}

std::string write_table(const Setup& s) {
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    if (out == nullptr) qm_fuzz::fail("open_memstream");
    if (dbv_writetable_domain(out, s.header, s.table) != 0) qm_fuzz::fail("cannot write");
    std::fclose(out);
    std::string bytes(buffer, size);
    std::free(buffer);
    return bytes;
}

// Two live rows and one history row, so that a refused read has something to leave alone.
// They are put in by reading a block made once, which also drops what earlier inputs left
// (a clear would only move the rows into the history).
void reset_rows(const Setup& s) {
    static std::string initial = [&] {
        for (int32_t i = 0; i < 3; ++i) {
            FuzzRow row{};
            row.id = i;
            row.owner = 7;
            std::snprintf(row.name, sizeof row.name, "row%d", static_cast<int>(i));
            const dbv_domainrow32_s record{&row, 1 + i, 2 + i};
            if (dbv_insert_domain(s.table, &record) != 0) qm_fuzz::fail("cannot insert a row");
        }
        FuzzRow gone{};
        if (dbv_delete(s.primary, &gone) != 0) qm_fuzz::fail("cannot delete a row");
        return write_table(s);
    }();
    dbv_settabledomainchangecontrolmode(s.table, 0);
    FILE* in =
        qm_fuzz::open_bytes(reinterpret_cast<const uint8_t*>(initial.data()), initial.size());
    if (in == nullptr || dbv_readtable_domain(in, s.header, s.table) != 0) {
        qm_fuzz::fail("cannot reset the table");
    }
    std::fclose(in);
}

// The whole table in work mode 5, live rows then history, as bytes with their time ids.
std::string snapshot(const Setup& s) {
    dbv_setworkmode(5);
    dbv_cursorstruct* cursor = dbv_opencursor_all(s.table);
    std::string all;
    FuzzRow row;
    while (dbv_fetch(cursor, &row) == 0) {
        int32_t ids[2] = {0, 0};
        dbv_getcursortime(cursor, &ids[0], &ids[1]);
        all.append(reinterpret_cast<const char*>(&row), sizeof row);
        all.append(reinterpret_cast<const char*>(ids), sizeof ids);
    }
    dbv_closecursor(cursor);
    dbv_setworkmode(2);
    return all;
}

void put_le32(std::string& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

uint32_t crc_of(const std::string& bytes, size_t length) {
    return static_cast<uint32_t>(crc32(crc32(0, nullptr, 0),
                                       reinterpret_cast<const Bytef*>(bytes.data()),
                                       static_cast<uInt>(length)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Setup& s = setup();
    if (size == 0) return 0;
    const uint8_t steer = data[0];
    std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((steer & 4) != 0 && input.size() >= 40) {
        std::memcpy(input.data() + 20, s.prefix.bytes, 12);
        put_le32(input, 32, crc_of(input, 32));
        put_le32(input, input.size() - 4, crc_of(input, input.size() - 4));
    }
    FILE* stream =
        qm_fuzz::open_bytes(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    if (stream == nullptr) return 0;
    if ((steer & 1) != 0) {
        dbv_skiptable_domain(stream, s.header);
        std::fclose(stream);
        return 0;
    }
    reset_rows(s);
    const bool merge = (steer & 2) != 0;
    dbv_settabledomainchangecontrolmode(s.table, merge ? 2 : 0);
    const std::string before = snapshot(s);
    const int result = dbv_readtable_domain(stream, s.header, s.table);
    const long consumed = std::ftell(stream);
    std::fclose(stream);
    if (result != 0) {
        if (snapshot(s) != before) qm_fuzz::fail("a refused read changed the table");
        return 0;
    }
    if (consumed < 0 || static_cast<size_t>(consumed) > input.size()) {
        qm_fuzz::fail("bad stream position");
    }
    if (!merge) {
        const std::string written = write_table(s);
        if (written.size() != static_cast<size_t>(consumed) ||
            std::memcmp(written.data(), input.data(), written.size()) != 0) {
            qm_fuzz::fail("an accepted table is written back differently");
        }
    }
    return 0;
}
