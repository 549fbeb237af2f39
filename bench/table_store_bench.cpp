// Throughput of the table store on a 100,000-row table laid out like the server's lock
// table, beside SQLite in memory doing the same work with prepared statements inside one
// transaction per pass. Every case reports items per second; compare store/X with sqlite/X.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "bench/lock_table_workload.h"
#include "outside/table_store.h"

#ifdef TABLE_STORE_BENCH_SQLITE
#include <sqlite3.h>
#endif

namespace {

// The table size of the comparison; a second, cache-resident size shows the server's
// everyday case of small tables.
constexpr int kRows = 100000;
constexpr int kSmallRows = 1000;

using bench_tables::kLockTable;
using bench_tables::LockRow;
using bench_tables::Workload;

const Workload& workload(int count) {
    static const Workload large(kRows);
    static const Workload small(kSmallRows);
    return count == kSmallRows ? small : large;
}

// ----- the table store

// An empty lock table in a database of its own; the previous one is dropped.
dbv_tablestruct* fresh_store_table() {
    static int generation = 0;
    char name[32];
    std::snprintf(name, sizeof name, "bench%d", generation);
    if (generation > 0) {
        char old[32];
        std::snprintf(old, sizeof old, "bench%d", generation - 1);
        dbd_dropvirtualdatabase(old);
    }
    ++generation;
    dbd_definevirtualtable(&kLockTable);
    dbd_createvirtualdatabase(name);
    dbd_createvirtualtable("lock", 10123, 1, 1, 1);
    return dbd_getvirtualtablepointer(10123);
}

void fill_store(dbv_tablestruct* table, const Workload& w) {
    for (const LockRow& r : w.rows) {
        if (dbv_insert(table, &r) != 0) std::abort();
    }
}

void store_Insert(benchmark::State& state) {
    dbv_tablestruct* table = fresh_store_table();
    for (auto _ : state) {
        state.PauseTiming();
        dbv_cleartable(table);
        state.ResumeTiming();
        fill_store(table, workload(static_cast<int>(state.range(0))));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void store_Select(benchmark::State& state) {
    dbv_tablestruct* table = fresh_store_table();
    fill_store(table, workload(static_cast<int>(state.range(0))));
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(10123);
    const Workload& w = workload(static_cast<int>(state.range(0)));
    LockRow row;
    for (auto _ : state) {
        for (const LockRow& key : w.shuffled) {
            std::memcpy(row.model_name, key.model_name, sizeof row.model_name);
            row.object_id = key.object_id;
            if (dbv_select(primary, &row) != 0) std::abort();
            benchmark::DoNotOptimize(row.locked);
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void store_Update(benchmark::State& state) {
    dbv_tablestruct* table = fresh_store_table();
    fill_store(table, workload(static_cast<int>(state.range(0))));
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(10123);
    const Workload& w = workload(static_cast<int>(state.range(0)));
    int32_t pass = 0;
    for (auto _ : state) {
        ++pass;
        for (const LockRow& key : w.shuffled) {
            LockRow row = key;
            row.locked = pass;
            if (dbv_update(primary, &row) != 0) std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void store_Delete(benchmark::State& state) {
    dbv_tablestruct* table = fresh_store_table();
    dbv_indexstruct* primary = dbd_getvirtualprimarypointer(10123);
    const Workload& w = workload(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        fill_store(table, workload(static_cast<int>(state.range(0))));
        state.ResumeTiming();
        for (const LockRow& key : w.shuffled) {
            if (dbv_delete(primary, &key) != 0) std::abort();
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void store_Scan(benchmark::State& state) {
    dbv_tablestruct* table = fresh_store_table();
    fill_store(table, workload(static_cast<int>(state.range(0))));
    LockRow row;
    for (auto _ : state) {
        dbv_cursorstruct* cursor = dbv_opencursor_all(table);
        int64_t sum = 0;
        while (dbv_fetch(cursor, &row) == 0) sum += row.object_id;
        dbv_closecursor(cursor);
        if (sum != state.range(0) * (state.range(0) - 1) / 2) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(store_Insert)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(store_Select)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(store_Update)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(store_Delete)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(store_Scan)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);

#ifdef TABLE_STORE_BENCH_SQLITE
// ----- SQLite in memory, the same table as a WITHOUT ROWID table on the same key

class Sqlite {
  public:
    Sqlite() {
        if (sqlite3_open(":memory:", &db_) != SQLITE_OK) std::abort();
        exec(
            "CREATE TABLE lock(model_name TEXT NOT NULL, client_name TEXT NOT NULL, "
            "object_id INTEGER NOT NULL, locked INTEGER NOT NULL, "
            "PRIMARY KEY(model_name, object_id)) WITHOUT ROWID");
        insert_ = prepare("INSERT INTO lock VALUES(?1, ?2, ?3, ?4)");
        select_ = prepare(
            "SELECT model_name, client_name, object_id, locked FROM lock "
            "WHERE model_name = ?1 AND object_id = ?2");
        update_ = prepare(
            "UPDATE lock SET client_name = ?2, locked = ?4 "
            "WHERE model_name = ?1 AND object_id = ?3");
        delete_ = prepare("DELETE FROM lock WHERE model_name = ?1 AND object_id = ?2");
        scan_ = prepare("SELECT model_name, client_name, object_id, locked FROM lock");
    }
    ~Sqlite() {
        for (sqlite3_stmt* s : {insert_, select_, update_, delete_, scan_}) sqlite3_finalize(s);
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
        done(insert_);
    }
    // Reads the whole row back into `r`, as the store's select does.
    void select(LockRow* r) {
        sqlite3_bind_text(select_, 1, r->model_name, -1, SQLITE_STATIC);
        sqlite3_bind_int(select_, 2, r->object_id);
        if (sqlite3_step(select_) != SQLITE_ROW) std::abort();
        copy_row(select_, r);
        sqlite3_reset(select_);
    }
    void update(const LockRow& r) {
        sqlite3_bind_text(update_, 1, r.model_name, -1, SQLITE_STATIC);
        sqlite3_bind_text(update_, 2, r.client_name, -1, SQLITE_STATIC);
        sqlite3_bind_int(update_, 3, r.object_id);
        sqlite3_bind_int(update_, 4, r.locked);
        done(update_);
        if (sqlite3_changes(db_) != 1) std::abort();
    }
    void erase(const LockRow& r) {
        sqlite3_bind_text(delete_, 1, r.model_name, -1, SQLITE_STATIC);
        sqlite3_bind_int(delete_, 2, r.object_id);
        done(delete_);
        if (sqlite3_changes(db_) != 1) std::abort();
    }
    int64_t scan() {
        LockRow r;
        int64_t sum = 0;
        while (sqlite3_step(scan_) == SQLITE_ROW) {
            copy_row(scan_, &r);
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
    static void copy_row(sqlite3_stmt* s, LockRow* r) {
        copy_text(s, 0, r->model_name, sizeof r->model_name);
        copy_text(s, 1, r->client_name, sizeof r->client_name);
        r->object_id = sqlite3_column_int(s, 2);
        r->locked = sqlite3_column_int(s, 3);
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* select_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* delete_ = nullptr;
    sqlite3_stmt* scan_ = nullptr;
};

void fill_sqlite(Sqlite& db, const Workload& w) {
    db.exec("BEGIN");
    for (const LockRow& r : w.rows) db.insert(r);
    db.exec("COMMIT");
}

void sqlite_Insert(benchmark::State& state) {
    Sqlite db;
    for (auto _ : state) {
        state.PauseTiming();
        db.exec("DELETE FROM lock");
        state.ResumeTiming();
        fill_sqlite(db, workload(static_cast<int>(state.range(0))));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sqlite_Select(benchmark::State& state) {
    Sqlite db;
    fill_sqlite(db, workload(static_cast<int>(state.range(0))));
    const Workload& w = workload(static_cast<int>(state.range(0)));
    LockRow row;
    for (auto _ : state) {
        db.exec("BEGIN");
        for (const LockRow& key : w.shuffled) {
            std::memcpy(row.model_name, key.model_name, sizeof row.model_name);
            row.object_id = key.object_id;
            db.select(&row);
            benchmark::DoNotOptimize(row.locked);
        }
        db.exec("COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sqlite_Update(benchmark::State& state) {
    Sqlite db;
    fill_sqlite(db, workload(static_cast<int>(state.range(0))));
    const Workload& w = workload(static_cast<int>(state.range(0)));
    int32_t pass = 0;
    for (auto _ : state) {
        ++pass;
        db.exec("BEGIN");
        for (const LockRow& key : w.shuffled) {
            LockRow row = key;
            row.locked = pass;
            db.update(row);
        }
        db.exec("COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sqlite_Delete(benchmark::State& state) {
    Sqlite db;
    const Workload& w = workload(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        fill_sqlite(db, workload(static_cast<int>(state.range(0))));
        state.ResumeTiming();
        db.exec("BEGIN");
        for (const LockRow& key : w.shuffled) db.erase(key);
        db.exec("COMMIT");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void sqlite_Scan(benchmark::State& state) {
    Sqlite db;
    fill_sqlite(db, workload(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        if (db.scan() != state.range(0) * (state.range(0) - 1) / 2) std::abort();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(sqlite_Insert)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(sqlite_Select)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(sqlite_Update)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(sqlite_Delete)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
BENCHMARK(sqlite_Scan)->Arg(kRows)->Arg(kSmallRows)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

BENCHMARK_MAIN();
