// Loading a binary database file into the current virtual database. The file's own header
// (its description and table list) is read by a load callback that the application
// registers under a name; the loader fixes what follows it:
//   1. the header, read by the load callback, which leaves the stream just behind it;
//   2. when the container has a domain after the header step, the domain section: a 4-byte
//      version word (1), the domain (dbv_read_domain), and, when the header says so, a
//      4-byte count of event containers (0, 1 or 2) followed by that many containers;
//   3. the tables' data in the order of the table list; a framed table's data sits between
//      two 4-byte words that are read and ignored. With a domain header from step 2 the data
//      is read as domain blocks, otherwise as plain blocks.
// 4-byte words are in the machine's byte order. Everything read is untrusted: counts and
// lengths are checked against what the file holds before anything is allocated for them.
//
// Reports go through the assertion convention with the source name dbv_load_database. Not
// thread-safe: the registries are process-wide lists without a lock.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dbv/common_export.h"
#include "dbv/domain_and_events.h"
#include "outside/time_id_mapping.h"

namespace dbv {

// One entry of a database's table list.
class COMMON_EXPORT DatabaseTable_c {
  public:
    DatabaseTable_c() = default;
    DatabaseTable_c(int32_t number, std::string name, bool framed = false)
        : m_TableNumber(number), m_TableName(std::move(name)), m_Framed(framed) {}

    int32_t m_TableNumber = 0;
    std::string m_TableName;
    // In a database file the table's data is enclosed by two 4-byte words.
    bool m_Framed = false;
};

// Fills a table entry from a row of a catalog table (a table whose rows name the further
// tables of a file). An entry left with a number below 1 is skipped.
class COMMON_EXPORT DatabaseCatalogReader_i {
  public:
    virtual ~DatabaseCatalogReader_i() = default;
    // `row` holds one row of the catalog table (its row length in bytes).
    virtual void GetTableFromCatalogRow(const void* row, DatabaseTable_c& table) = 0;
};

// A database file's header as the load callback and the loader fill it.
class COMMON_EXPORT DatabaseHeader_c {
  public:
    // The file's description text.
    std::string m_Description;
    // The file carries a domain section.
    bool m_HasDomain = false;
    // The domain section holds a count of event containers before them.
    bool m_HasEventContainers = false;
    // An incremental save: tables are read in domain change-control mode 2, the domain in
    // incremental mode, and dumps use the history work mode.
    bool m_Incremental = false;
    // The tables' identifiers are domain identifiers.
    bool m_UsesDbvIds = false;
    // Passed to GetDomainFieldSpecs as the small-id count.
    uint32_t m_DomainFieldParameter = 0;
    // Passed to GetDomainFieldSpecs as the tags of the domain fields.
    std::vector<std::string> m_DomainFieldNames;
    // The tables in file order; after a load, the tables actually used.
    std::vector<DatabaseTable_c> m_Tables;
    // The first table is a catalog whose rows name the further tables.
    bool m_TablesFromCatalog = false;
    // Other database files from which the domain is loaded, in order.
    std::vector<std::string> m_DomainFiles;
    // The domain is read with flag 0x400: the run-time events and the baseline event are
    // left as the read leaves them.
    bool m_KeepRuntimeEvents = false;
    // The domain is read with flag 0x4000.
    bool m_SecondDomainFlag = false;
    // The load callback name under which the domain files are loaded.
    std::string m_DomainFileKind;
    // Used when m_TablesFromCatalog is set.
    std::shared_ptr<DatabaseCatalogReader_i> m_CatalogReader;
};

class COMMON_EXPORT LoadDatabase_c {
  public:
    enum LoadResult_e {
        // The file could not be opened, its header could not be read, the tables could not
        // be created or converted, or the domain or its events could not be read.
        LOAD_FAILED = 0,
        // Header, domain and events were read, but a table's data was not.
        LOAD_TABLE_DATA_FAILED = 1,
        // Everything was loaded.
        LOAD_COMPLETE = 2
    };

    using ProgressCallback = std::function<bool(int32_t percent, const std::string& text)>;
    // Reads the file's header from `file` (leaving the stream just behind it) and fills
    // `header`; false when it cannot. `name` is the name it was registered under.
    using LoadCallback = std::function<bool(const std::string& name, const std::string& fileName,
                                            FILE* file, DatabaseHeader_c& header)>;

    // `container` (not owned, must outlive the loader) receives the domain, its events and
    // the run-time events. A domain-only loader reads header, domain and events and never
    // creates or fills tables.
    explicit LoadDatabase_c(DomainAndEvents_c* container, bool domainOnly = false);
    virtual ~LoadDatabase_c();

    // Asked with (-1, "Load table <number>") before each table's data; false stops the load
    // there (result 1).
    void SetProgressCallback(ProgressCallback callback);

    // The first registration of a name stays; unregistering removes every entry of a name.
    static void RegisterCallback(const std::string& name, LoadCallback callback);
    static void UnregisterCallback(const std::string& name);
    static void CleanUp();

    // Loads `fileName` into the current virtual database with the load callback `name`.
    // Identifier fields are given to the domain when tryDbvIds and the header's uses-dbv-ids
    // flag are both set. `failedTableIndex` is set to -1, and to the index of the table
    // whose data failed when the result is 1 because of a table (it stays -1 when the
    // progress callback stopped the load). `timeIdMapping` is never written. The file is
    // closed before the call returns; tables created before a failure stay.
    LoadResult_e Load(const std::string& name, const std::string& fileName, bool tryDbvIds,
                      DatabaseHeader_c& header, int32_t& failedTableIndex,
                      dbv_timeidmapping_s** timeIdMapping);

    // The guid text of the event `eventName` at `level` in the file's domain, loaded
    // (domain only) into the temporary database "__BakDb"; empty when the file does not
    // exist, does not load, has no such event, or the temporary database cannot be made
    // (also when a database of that name exists already: it is someone else's). The current
    // virtual database is the same before and after.
    static std::string GetEventGuidFromDatabaseFile(const std::string& name,
                                                    const std::string& fileName,
                                                    DomainAndEvents_c::DomainEventLevel_e level,
                                                    const std::string& eventName);

  private:
    struct Session;
    LoadResult_e LoadFile(const std::string& name, const std::string& fileName, bool tryDbvIds,
                          DatabaseHeader_c& header, int32_t& failedTableIndex);
    bool ReadDatabaseInformation(Session& session);
    bool CreateTables(Session& session);
    LoadResult_e ReadDomainAndTables(Session& session);
    bool ReadDomain(Session& session);
    bool ReadDomainEvents(Session& session);
    bool ReadTables(Session& session);
    bool LoadTableData(Session& session, const DatabaseTable_c& table);

    DomainAndEvents_c* container_;
    bool domainOnly_;
    ProgressCallback progress_;
};

}  // namespace dbv
