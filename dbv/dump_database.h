// A whole virtual database as one readable text file: header lines, the table count, the
// domain's statistics and events, then one table block per table (see dump_table.h). The
// database is either one in memory, described by a registered dump callback, or a database
// file, loaded first into the temporary database "TemporaryDumpDatabase".
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "dbv/common_export.h"
#include "dbv/domain_and_events.h"
#include "dbv/load_database.h"
#include "outside/time_id_mapping.h"

namespace dbv {

class COMMON_EXPORT DumpDatabase_c {
  public:
    using ProgressCallback = std::function<bool(int32_t percent, const std::string& text)>;
    // Given the name it was registered under, fills in the database to dump, whether it
    // uses dbv ids and its tables in dump order. The fourth argument is passed empty.
    using DumpCallback = std::function<bool(const std::string& name, std::string& databaseName,
                                            bool& usingDbvIds, const std::string& secondHeaderLine,
                                            std::vector<DatabaseTable_c>& tables)>;

    // Opens (truncates) the dump file; an empty name opens nothing and every Write fails.
    explicit DumpDatabase_c(const std::string& fileName);
    virtual ~DumpDatabase_c();
    DumpDatabase_c(const DumpDatabase_c&) = delete;
    DumpDatabase_c& operator=(const DumpDatabase_c&) = delete;

    void SetTryWriteDbvGuids(bool on);
    void SetTableNumbers(std::vector<int32_t> numbers);
    // ";"-separated wildcard patterns matched with case ignored; empty passes every table.
    void SetTableNameFilter(const std::string& filter);
    void SetMaxTableRowCount(int32_t maxRows);
    // Asked with (percent done, table name) before each table; false ends the dump there
    // (not a failure).
    void SetProgressCallback(ProgressCallback callback);

    // The first registration of a name stays.
    static void RegisterCallback(const std::string& name, DumpCallback callback);
    static void UnregisterCallback(const std::string& name);
    static void CleanUp();

    // Dumps the in-memory database that the callback registered under `name` describes.
    bool Write(const std::string& name) const;
    // Loads `fileName` with the load callback `name` and dumps it.
    bool Write(const std::string& name, const std::string& fileName) const;

  private:
    struct DumpInput {
        std::vector<std::string> headerLines;
        const std::vector<DatabaseTable_c>* tables = nullptr;
        int32_t failedTableIndex = -1;
        bool usingDbvIds = false;
        const DomainAndEvents_c* container = nullptr;
        dbv_timeidmapping_s* mapping = nullptr;
        int32_t workMode = 2;
    };
    bool DumpTables(const DumpInput& input) const;
    void WriteDomainSection(const DomainAndEvents_c& container) const;
    bool PassesFilter(const DatabaseTable_c& table) const;

    FILE* file_ = nullptr;
    bool tryWriteDbvGuids_ = true;
    std::vector<int32_t> tableNumbers_;
    std::string tableNameFilter_;
    int32_t maxTableRowCount_ = 100000;
    ProgressCallback progress_;
};

}  // namespace dbv
