// Statistics of one table's storage, handed out as statistics handles of the domain half.
// Kind 0 covers the row records alone; kind 1 adds the indexes, the per-row time ids and
// the history of a domain table. "Rows" counts the row places the storage holds and
// "RowsInUseRatio" the share of them in use, so that their product is the rows in use, as
// "Bytes" times "BytesInUseRatio" is the bytes in use.
#include "outside/domain_store_internal.h"
#include "outside/domain_table_state.h"

namespace {

double ratio(double part, double whole) {
    return whole > 0 ? part / whole : 0;
}

}  // namespace

dbv_statistics_s* dbv_gettablestatistics(dbv_tablestruct* table, int32_t kind) {
    if (table == nullptr || (kind != 0 && kind != 1)) return nullptr;
    const table_store::RowTable& rows = table->rows;
    auto live = static_cast<double>(rows.row_count());
    const auto row_length = static_cast<double>(rows.row_length());
    double slots = rows.capacity();
    double bytes = static_cast<double>(rows.record_bytes());
    double used_bytes = live * row_length;
    if (kind == 1) {
        bytes += static_cast<double>(rows.index_bytes());
        if (const table_store::TableExtras* x = table->extras.get()) {
            const auto history = static_cast<double>(x->history.size());
            slots += static_cast<double>(x->history.capacity());
            bytes += static_cast<double>(x->times.capacity() * sizeof(table_store::RowTimes) +
                                         x->history.capacity() * sizeof(table_store::HistoryRow) +
                                         x->history_bytes.capacity());
            used_bytes += history * row_length;
            live += history;
        }
    }
    try {
        domain_store::Statistics stats;
        stats.values = {{"Rows", slots},
                        {"RowsInUseRatio", ratio(live, slots)},
                        {"Bytes", bytes},
                        {"BytesInUseRatio", ratio(used_bytes, bytes)}};
        const uint64_t handle = domain_store::store().statistics.add(std::move(stats));
        return handle == 0 ? nullptr : domain_store::to_handle<dbv_statistics_s>(handle);
    } catch (const std::exception&) {
        return nullptr;
    }
}
