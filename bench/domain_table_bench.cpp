// Cost of the domain bookkeeping: inserting, updating and deleting 100,000 rows of a domain
// table (each change stamped with a fresh time id, deleted rows kept as history) and one
// scan in work mode 5 (live rows, then history), beside the same work on a plain table of
// the store and on SQLite in memory, where a trigger copies deleted rows into a history
// table and the rows carry their two time ids as columns. SQLite runs prepared statements
// inside one transaction per pass. Compare domain/X with plain/X and sqlite/X.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "bench/lock_table_workload.h"
#include "outside/store_domain_tables.h"

#ifdef DOMAIN_TABLE_BENCH_SQLITE
#include <sqlite3.h>
#endif

namespace {

constexpr int kRows = 100000;
constexpr int32_t kTableNumber = 10123;

using bench_tables::kLockTable;
using bench_tables::LockRow;
using bench_tables::Workload;

const Workload& workload() {
    static const Workload w(kRows);
    return w;
}

dbv_domain_s* bench_domain() {
    static dbv_domain_s* domain = [] {
        dbv_domain_s* made = nullptr;
        if (dbv_createdomain(&made) != 0) std::abort();
        return made;
    }();
    return domain;
}

// An empty lock table in a database of its own (the previous one is dropped), converted
// into a table of the bench domain when `domain` is set.
dbv_tablestruct* fresh_table(bool domain) {
    workload();  // made here, outside the timed loops
    static int generation = 0;
    char name[32];
    if (generation > 0) {
        std::snprintf(name, sizeof name, "domainbench%d", generation - 1);
        dbd_dropvirtualdatabase(name);
    }
    std::snprintf(name, sizeof name, "domainbench%d", generation++);
    dbd_definevirtualtable(&kLockTable);
    dbd_createvirtualdatabase(name);
    dbd_createvirtualtable("lock", kTableNumber, 1, 1, 1);
    dbv_tablestruct* table = dbd_getvirtualtablepointer(kTableNumber);
    if (domain) {
        const dbv_domainfieldspec_s specs[] = {{2, 0, bench_domain()}, {-1, 0, nullptr}};
        if (dbv_converttable_domain(table, bench_domain(), specs, nullptr, nullptr) != 0) {
            std::abort();
        }
    }
    return table;
}

void fill(dbv_tablestruct* table) {
    for (const LockRow& r : workload().rows) {
        if (dbv_insert(table, &r) != 0) std::abort();
    }
}

void Insert(benchmark::State& state, bool domain) {
    for (auto _ : state) {
        state.PauseTiming();
        dbv_tablestruct* table = fresh_table(domain);
        state.ResumeTiming();
        fill(table);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void Update(benchmark::State& state, bool domain) {
    fill(fresh_table(domain));
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(kTableNumber);
    int32_t pass = 0;
    for (auto _ : state) {
        ++pass;
        for (const LockRow& key : workload().shuffled) {
            LockRow row = key;
            row.locked = pass;
            if (dbv_update(primary, &row) != 0) std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void Delete(benchmark::State& state, bool domain) {
    for (auto _ : state) {
        state.PauseTiming();
        dbv_tablestruct* table = fresh_table(domain);
        fill(table);
        dbv_indexstruct* primary = dbd_getvirtualprimarypointer(kTableNumber);
        state.ResumeTiming();
        for (const LockRow& key : workload().shuffled) {
            if (dbv_delete(primary, &key) != 0) std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// A scan over kRows rows in work mode 5: for the domain table half of them live and half
// in the history, for the plain table all live.
void Scan(benchmark::State& state, bool domain) {
    dbv_tablestruct* table = fresh_table(domain);
    fill(table);
    if (domain) {
        dbv_indexstruct* primary = dbd_getvirtualprimarypointer(kTableNumber);
        for (int i = 0; i < kRows; i += 2) {
            if (dbv_delete(primary, &workload().rows[static_cast<size_t>(i)]) != 0) std::abort();
        }
    }
    dbv_setworkmode(DBV_WORKMODE_HISTORY);
    LockRow row;
    for (auto _ : state) {
        dbv_cursorstruct* cursor = dbv_opencursor_all(table);
        int64_t sum = 0;
        while (dbv_fetch(cursor, &row) == 0) sum += row.object_id;
        dbv_closecursor(cursor);
        if (sum != int64_t{kRows} * (kRows - 1) / 2) std::abort();
    }
    dbv_setworkmode(DBV_WORKMODE_LIVE);
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK_CAPTURE(Insert, domain, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Insert, plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Update, domain, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Update, plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delete, domain, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Delete, plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scan, domain, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Scan, plain, false)->Unit(benchmark::kMillisecond);

#ifdef DOMAIN_TABLE_BENCH_SQLITE
// ----- SQLite in memory: the live table with its time ids and a history table filled by a
// trigger on delete

class Sqlite {
  public:
    Sqlite() {
        if (sqlite3_open(":memory:", &db_) != SQLITE_OK) std::abort();
        exec(
            "CREATE TABLE lock(model_name TEXT NOT NULL, client_name TEXT NOT NULL, "
            "object_id INTEGER NOT NULL, locked INTEGER NOT NULL, creation INTEGER NOT NULL, "
            "modification INTEGER NOT NULL, PRIMARY KEY(model_name, object_id)) WITHOUT ROWID");
        exec(
            "CREATE TABLE lock_history(model_name TEXT, client_name TEXT, object_id INTEGER, "
            "locked INTEGER, creation INTEGER, modification INTEGER, deletion INTEGER)");
        exec("CREATE TABLE clock(now INTEGER NOT NULL)");
        exec("INSERT INTO clock VALUES(0)");
        exec(
            "CREATE TRIGGER keep_history AFTER DELETE ON lock BEGIN "
            "INSERT INTO lock_history VALUES(old.model_name, old.client_name, old.object_id, "
            "old.locked, old.creation, old.modification, (SELECT now FROM clock)); END");
        insert_ = prepare("INSERT INTO lock VALUES(?1, ?2, ?3, ?4, ?5, ?5)");
        update_ = prepare(
            "UPDATE lock SET client_name = ?2, locked = ?4, modification = ?5 "
            "WHERE model_name = ?1 AND object_id = ?3");
        clock_ = prepare("UPDATE clock SET now = ?1");
        delete_ = prepare("DELETE FROM lock WHERE model_name = ?1 AND object_id = ?2");
        scan_ = prepare(
            "SELECT model_name, client_name, object_id, locked FROM lock UNION ALL "
            "SELECT model_name, client_name, object_id, locked FROM lock_history");
    }
    ~Sqlite() {
        for (sqlite3_stmt* s : {insert_, update_, clock_, delete_, scan_}) sqlite3_finalize(s);
        sqlite3_close(db_);
    }
    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) std::abort();
    }
    void insert(const LockRow& r) {
        sqlite3_bind_text(insert_, 1, r.model_name, -1, SQLITE_STATIC);
        sqlite3_bind_text(insert_, 2, r.client_name, -1, SQLITE_STATIC);
        sqlite3_bind_int(insert_, 3, r.object_id);
        sqlite3_bind_int(insert_, 4, r.locked);
        sqlite3_bind_int(insert_, 5, ++time_id_);
        done(insert_);
    }
    void update(const LockRow& r) {
        sqlite3_bind_text(update_, 1, r.model_name, -1, SQLITE_STATIC);
        sqlite3_bind_text(update_, 2, r.client_name, -1, SQLITE_STATIC);
        sqlite3_bind_int(update_, 3, r.object_id);
        sqlite3_bind_int(update_, 4, r.locked);
        sqlite3_bind_int(update_, 5, ++time_id_);
        done(update_);
        if (sqlite3_changes(db_) != 1) std::abort();
    }
    // Each delete gets its own deletion time id, as in the store.
    void erase(const LockRow& r) {
        sqlite3_bind_int(clock_, 1, ++time_id_);
        done(clock_);
        sqlite3_bind_text(delete_, 1, r.model_name, -1, SQLITE_STATIC);
        sqlite3_bind_int(delete_, 2, r.object_id);
        done(delete_);
        if (sqlite3_changes(db_) != 1) std::abort();
    }
    int64_t scan() {
        LockRow r;
        int64_t sum = 0;
        while (sqlite3_step(scan_) == SQLITE_ROW) {
            copy_text(scan_, 0, r.model_name, sizeof r.model_name);
            copy_text(scan_, 1, r.client_name, sizeof r.client_name);
            r.object_id = sqlite3_column_int(scan_, 2);
            r.locked = sqlite3_column_int(scan_, 3);
            sum += r.object_id;
        }
        sqlite3_reset(scan_);
        return sum;
    }

  private:
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) std::abort();
        return s;
    }
    static void done(sqlite3_stmt* s) {
        if (sqlite3_step(s) != SQLITE_DONE) std::abort();
        sqlite3_reset(s);
    }
    static void copy_text(sqlite3_stmt* s, int column, char* field, size_t size) {
        const auto* text = sqlite3_column_text(s, column);
        const size_t length =
            std::min(static_cast<size_t>(sqlite3_column_bytes(s, column)), size - 1);
        std::memcpy(field, text, length);
        field[length] = '\0';
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* clock_ = nullptr;
    sqlite3_stmt* delete_ = nullptr;
    sqlite3_stmt* scan_ = nullptr;
    int32_t time_id_ = 0;
};

void fill_sqlite(Sqlite& db) {
    db.exec("BEGIN");
    for (const LockRow& r : workload().rows) db.insert(r);
    db.exec("COMMIT");
}

void sqlite_Insert(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<Sqlite>();
        state.ResumeTiming();
        fill_sqlite(*db);
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void sqlite_Update(benchmark::State& state) {
    Sqlite db;
    fill_sqlite(db);
    int32_t pass = 0;
    for (auto _ : state) {
        ++pass;
        db.exec("BEGIN");
        for (const LockRow& key : workload().shuffled) {
            LockRow row = key;
            row.locked = pass;
            db.update(row);
        }
        db.exec("COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

void sqlite_Delete(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<Sqlite>();
        fill_sqlite(*db);
        state.ResumeTiming();
        db->exec("BEGIN");
        for (const LockRow& key : workload().shuffled) db->erase(key);
        db->exec("COMMIT");
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// Half the rows live and half in the history table, like the domain table's scan.
void sqlite_Scan(benchmark::State& state) {
    Sqlite db;
    fill_sqlite(db);
    db.exec("BEGIN");
    for (int i = 0; i < kRows; i += 2) db.erase(workload().rows[static_cast<size_t>(i)]);
    db.exec("COMMIT");
    for (auto _ : state) {
        if (db.scan() != int64_t{kRows} * (kRows - 1) / 2) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(sqlite_Insert)->Unit(benchmark::kMillisecond);
BENCHMARK(sqlite_Update)->Unit(benchmark::kMillisecond);
BENCHMARK(sqlite_Delete)->Unit(benchmark::kMillisecond);
BENCHMARK(sqlite_Scan)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
