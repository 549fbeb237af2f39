// The store-wide undo log and its save points. Entries are numbered from the first one ever
// logged; a save point remembers the number the next entry will get, so clearing to it
// drops every entry logged before it was made, whatever was cleared in between. Dropped
// entries leave the front of the log; the vector is compacted once they are the majority,
// which keeps clearing linear in total.
#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "outside/domain_table_state.h"
#include "outside/store_seams.h"

struct dbv_savepoint_s {
    uint64_t position = 0;  // number of the first entry logged after the save point
};

namespace table_store {
namespace {

struct UndoLog {
    std::vector<UndoEntry> entries;  // entries[first ...] are in the log
    size_t first = 0;
    uint64_t dropped = 0;  // entries ever dropped from the front
    std::unordered_set<dbv_savepoint_s*> savepoints;
};

UndoLog& undo_log() {
    static UndoLog& instance = *new UndoLog;  // outlives the tables destroyed at exit
    return instance;
}

}  // namespace

UndoEntry undo_entry(int32_t operation, const void* row, int32_t row_length) {
    UndoEntry entry;
    entry.operation = operation;
    const auto* bytes = static_cast<const unsigned char*>(row);
    entry.row.assign(bytes, bytes + row_length);
    return entry;
}

void undo_reserve(size_t entries) {
    std::vector<UndoEntry>& log = undo_log().entries;
    const size_t needed = log.size() + entries;
    if (log.capacity() < needed) log.reserve(std::max(needed, 2 * log.capacity()));
}

void undo_commit(UndoEntry&& entry) noexcept {
    undo_log().entries.push_back(std::move(entry));
}

}  // namespace table_store

using table_store::undo_log;

dbv_savepoint_s* dbv_savepoint() {
    if (store_seams::ShouldFail("dbv_savepoint")) return nullptr;
    try {
        table_store::UndoLog& log = undo_log();
        auto savepoint = std::make_unique<dbv_savepoint_s>();
        savepoint->position = log.dropped + (log.entries.size() - log.first);
        log.savepoints.insert(savepoint.get());
        return savepoint.release();
    } catch (const std::exception&) {
        return nullptr;
    }
}

int dbv_clearlogtosavepoint(dbv_savepoint_s* savepoint) {
    table_store::UndoLog& log = undo_log();
    if (log.savepoints.count(savepoint) == 0) return 1;
    if (savepoint->position <= log.dropped) return 0;
    const uint64_t in_log = log.entries.size() - log.first;
    const uint64_t drop = std::min<uint64_t>(savepoint->position - log.dropped, in_log);
    for (size_t i = 0; i < drop; ++i) log.entries[log.first + i] = table_store::UndoEntry{};
    log.first += static_cast<size_t>(drop);
    log.dropped += drop;
    if (log.first == log.entries.size()) {
        log.entries.clear();
        log.first = 0;
    } else if (log.first > log.entries.size() / 2) {
        log.entries.erase(log.entries.begin(),
                          log.entries.begin() + static_cast<std::ptrdiff_t>(log.first));
        log.first = 0;
    }
    return 0;
}

int dbv_deletesavepoint(dbv_savepoint_s* savepoint) {
    if (undo_log().savepoints.erase(savepoint) == 0) return 1;
    delete savepoint;
    return 0;
}

int dbv_settablelogmode(dbv_tablestruct* table, bool on) {
    if (table == nullptr) return 1;
    if (!on && !table->extras) return 0;
    try {
        table_store::extras_of(table).log = on;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int64_t dbv_getundologlength() {
    const table_store::UndoLog& log = undo_log();
    return static_cast<int64_t>(log.entries.size() - log.first);
}
