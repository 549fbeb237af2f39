// Virtual databases: named sets of numbered tables, one of them current. Dropping a
// database destroys its tables; cursors still open on them are detached, not left dangling.
#include <map>
#include <string>

#include "outside/domain_table_state.h"

namespace table_store {
namespace {

struct Databases {
    std::map<std::string, std::unique_ptr<Database>, std::less<>> by_name;
    Database* current = nullptr;
};

Databases& databases() {
    static Databases instance;
    return instance;
}

Database* find_database(const char* name) {
    if (name == nullptr) return nullptr;
    auto& all = databases().by_name;
    const auto it = all.find(std::string_view(name));
    return it == all.end() ? nullptr : it->second.get();
}

}  // namespace

Database* current_database() {
    return databases().current;
}

dbv_tablestruct* find_table(int32_t table_number) {
    const Database* db = current_database();
    if (db == nullptr) return nullptr;
    const auto it = db->tables.find(table_number);
    return it == db->tables.end() ? nullptr : it->second.get();
}

std::vector<dbv_tablestruct*> all_tables() {
    std::vector<dbv_tablestruct*> tables;
    for (const auto& [name, db] : databases().by_name) {
        for (const auto& [number, table] : db->tables) tables.push_back(table.get());
    }
    return tables;
}

}  // namespace table_store

using table_store::databases;

dbv_tablestruct::dbv_tablestruct(std::shared_ptr<const table_store::TableLayout> table_layout)
    : layout(std::move(table_layout)), rows(layout) {
    index_handles.reserve(layout->indexes.size());
    for (size_t i = 0; i < layout->indexes.size(); ++i) {
        index_handles.push_back(dbv_indexstruct{this, static_cast<int32_t>(i)});
    }
}

dbv_tablestruct::~dbv_tablestruct() {
    for (dbv_cursorstruct* c = cursors; c != nullptr;) {
        dbv_cursorstruct* next = c->next;
        c->table = nullptr;
        c->prev = c->next = nullptr;
        c->exhausted = true;
        c->has_current = false;
        c->has_current_history = false;
        c = next;
    }
}

void dbv_tablestruct::exhaust_cursors() {
    for (dbv_cursorstruct* c = cursors; c != nullptr; c = c->next) {
        if (c->pinned != table_store::kNoSlot) rows.unpin(c->pinned);
        c->pinned = table_store::kNoSlot;
        c->exhausted = true;
        c->has_current = false;
        c->has_current_history = false;
        c->snapshot.clear();
    }
}

int dbd_createvirtualdatabase(const char* name) {
    if (name == nullptr || name[0] == '\0') return 1;
    auto& dbs = databases();
    if (table_store::Database* existing = table_store::find_database(name)) {
        dbs.current = existing;
        return 1;
    }
    try {
        auto db = std::make_unique<table_store::Database>();
        db->name = name;
        table_store::Database* raw = db.get();
        dbs.by_name.emplace(db->name, std::move(db));
        dbs.current = raw;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbd_dropvirtualdatabase(const char* name) {
    table_store::Database* db = table_store::find_database(name);
    if (db == nullptr) return 1;
    auto& dbs = databases();
    if (dbs.current == db) dbs.current = nullptr;
    const std::string key = db->name;  // the map entry owns db->name
    dbs.by_name.erase(key);
    return 0;
}

int dbd_setcurrentvirtualdatabase(const char* name) {
    table_store::Database* db = table_store::find_database(name);
    if (db == nullptr) return 1;
    databases().current = db;
    return 0;
}

int dbd_createvirtualtable(const char* table_name, int32_t table_number, int32_t /*flag1*/,
                           int32_t /*flag2*/, int32_t /*flag3*/) {
    table_store::Database* db = table_store::current_database();
    if (db == nullptr) return 1;
    auto layout = table_store::find_definition(table_name);
    if (layout == nullptr || db->tables.count(table_number) != 0) return 1;
    try {
        db->tables.emplace(table_number, std::make_unique<dbv_tablestruct>(std::move(layout)));
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

dbv_tablestruct* dbd_getvirtualtablepointer(int32_t table_number) {
    return table_store::find_table(table_number);
}

dbv_indexstruct* dbd_getvirtualprimarypointer(int32_t table_number) {
    dbv_tablestruct* table = table_store::find_table(table_number);
    if (table == nullptr) return nullptr;
    return &table->index_handles[static_cast<size_t>(table->layout->primary)];
}

dbv_indexstruct* dbd_getvirtualindexpointer(int32_t table_number, const char* index_name) {
    dbv_tablestruct* table = table_store::find_table(table_number);
    if (table == nullptr) return nullptr;
    const int32_t index = table->layout->find_index(index_name);
    return index < 0 ? nullptr : &table->index_handles[static_cast<size_t>(index)];
}

int32_t dbv_getdatabasetables(dbv_tablestruct** tables, int32_t max_count) {
    const table_store::Database* db = table_store::current_database();
    if (db == nullptr) return -1;
    if (max_count <= 0) return 0;
    if (tables == nullptr) return -1;
    int32_t written = 0;
    for (const auto& [number, table] : db->tables) {
        if (written == max_count) break;
        tables[written++] = table.get();
    }
    return written;
}

namespace dbv {

bool CreateVirtualTable(const char* name, int32_t number, int32_t size1, int32_t size2,
                        int32_t size3) {
    return dbd_createvirtualtable(name, number, size1, size2, size3) == 0;
}

bool DropVirtualTable(const char* name) {
    table_store::Database* db = table_store::current_database();
    if (db == nullptr || name == nullptr) return false;
    for (auto it = db->tables.begin(); it != db->tables.end(); ++it) {
        if (it->second->layout->name == name) {
            db->tables.erase(it);
            return true;
        }
    }
    return false;
}

}  // namespace dbv
