// Thin passes to the table store, plus what each adds: the choice between the domain and
// the plain store function, the not-a-number reporter around reading, and the overflow-safe
// arithmetic of the size inquiry.
#include "dbv/table_store_wrappers.h"

#include <memory>
#include <string>

#include "dbv/domain_registry.h"
#include "dbv/table_size_arithmetic.h"
#include "outside/assert_log.h"
#include "outside/log_printf.h"

namespace dbv {

namespace {

constexpr const char* kSource = "dbv_interface";

// Installed on a table while it is read: names the database, the table and the column of
// every value that is not a number. The value itself is kept by the store.
int32_t ReportNotANumber(dbv_tablestruct* table, intptr_t /*context*/, int32_t column) {
    const std::string database = GetVirtualDatabase();
    const char* tableName = GetVirtualTableName(GetVirtualTableByPointer(table));
    logPrintf(2, "NaN value, db %s, table %s, column %d\n", database.c_str(),
              tableName != nullptr ? tableName : "", column);
    return 0;
}

struct StatisticsDeleter {
    void operator()(dbv_statistics_s* statistics) const { dbv_deletestatistics(statistics); }
};
using Statistics = std::unique_ptr<dbv_statistics_s, StatisticsDeleter>;

bool Read(const Statistics& statistics, const char* name, double& value) {
    return dbv_getstatistics(statistics.get(), name, &value) == 0;
}

}  // namespace

bool ClearUndoLog() {
    dbv_savepoint_s* savepoint = dbv_savepoint();
    if (savepoint == nullptr) return false;
    const int cleared = dbv_clearlogtosavepoint(savepoint);
    dbv_deletesavepoint(savepoint);
    return cleared == 0;
}

int32_t InsertDomain(dbv_tablestruct* table, void* row, int32_t creation, int32_t modification) {
    if (table == nullptr || row == nullptr) return 0;
    dbv_domain_s* domain = nullptr;
    int32_t fieldCount = 0;
    if (dbv_gettabledomaininfo(table, &domain, nullptr, 0, &fieldCount) == 0 && domain != nullptr) {
        const dbv_domainrow32_s record{row, creation, modification};
        return dbv_insert_domain(table, &record);
    }
    return dbv_insert(table, row);
}

int32_t ReadTableDomain(FILE* file, dbv_domainheader_s* header, dbv_tablestruct* table) {
    FILE* pFile = file;
    if (!QM_ASSERT(pFile, kSource)) return 0;
    dbv_settablecolumnnotanumbercallback_ctx(table, ReportNotANumber, 1);
    const int32_t result = header != nullptr ? dbv_readtable_domain(file, header, table)
                                             : dbv_readtableinmode(file, table, 1);
    dbv_settablecolumnnotanumbercallback_ctx(table, nullptr, 0);
    return result;
}

int32_t WriteTableDomain(FILE* file, dbv_domainheader_s* header, dbv_tablestruct* table) {
    FILE* pFile = file;
    if (!QM_ASSERT(pFile, kSource)) return 0;
    return header != nullptr ? dbv_writetable_domain(file, header, table)
                             : dbv_writetable(file, table);
}

int32_t SkipTableDomain(FILE* file, dbv_domainheader_s* header) {
    return header != nullptr ? dbv_skiptable_domain(file, header) : dbv_skiptable(file);
}

int32_t SetDoCallback(dbv_tablestruct* table, dbv_tablecallback_t callback) {
    return dbv_setdocallback(table, callback);
}

int32_t SetNotifyCallback(dbv_tablestruct* table, dbv_tablecallback_t callback) {
    return dbv_setnotifycallback(table, callback);
}

int32_t SetTableLogMode(dbv_tablestruct* table, bool on) {
    return dbv_settablelogmode(table, on);
}

int32_t dbv_inquiretables(dbv_tablestruct** tables, int32_t* count) {
    if (tables == nullptr || count == nullptr) return 1;
    const int32_t found = ::dbv_getdatabasetables(tables, kMaxInquiredTables);
    if (found < 0) return 1;
    *count = found;
    return 0;
}

int32_t dbv_inquiretablesize(dbv_tablestruct* table, int32_t* rowsInUse, int32_t* rowBytesInUse,
                             int32_t* bytesInUse, int32_t* bytes, int32_t* extraBytesInUse,
                             int32_t* extraBytes) {
    if (rowsInUse == nullptr || rowBytesInUse == nullptr || bytesInUse == nullptr ||
        bytes == nullptr || extraBytesInUse == nullptr || extraBytes == nullptr) {
        return 1;
    }
    int64_t storageInUse = 0;
    int64_t storage = 0;
    {
        const Statistics rowStorage(dbv_gettablestatistics(table, 0));
        if (!rowStorage) return 1;
        double rows = 0, rowsRatio = 0, size = 0, sizeRatio = 0;
        if (!Read(rowStorage, "RowsInUseRatio", rowsRatio) || !Read(rowStorage, "Rows", rows))
            return 1;
        *rowsInUse = ClampedToInt32(TruncatedStatistic(rowsRatio * rows));
        const int32_t rowLength = dbv_getrowlength(table);
        if (rowLength < 0) return 1;
        *rowBytesInUse = ClampedToInt32(static_cast<int64_t>(*rowsInUse) * rowLength);
        if (!Read(rowStorage, "Bytes", size) || !Read(rowStorage, "BytesInUseRatio", sizeRatio))
            return 1;
        storageInUse = TruncatedStatistic(size * sizeRatio);
        storage = TruncatedStatistic(size);
        *bytesInUse = ClampedToInt32(storageInUse);
        *bytes = ClampedToInt32(storage);
    }
    const Statistics everything(dbv_gettablestatistics(table, 1));
    if (!everything) return 1;
    double size = 0, sizeRatio = 0;
    if (!Read(everything, "Bytes", size) || !Read(everything, "BytesInUseRatio", sizeRatio))
        return 1;
    *extraBytesInUse = ClampedToInt32(TruncatedStatistic(size * sizeRatio) - storageInUse);
    *extraBytes = ClampedToInt32(TruncatedStatistic(size) - storage);
    return 0;
}

}  // namespace dbv
