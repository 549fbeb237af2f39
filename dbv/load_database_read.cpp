// The loader's reading of what follows a file's header: the domain section (version word,
// domain, event containers) and the tables' data, with the catalog that may name further
// tables. The run-time event "DummyDumpReadBaseline" marks the state the last read left.
#include <string>

#include "dbv/domain_registry.h"
#include "dbv/load_database_internal.h"
#include "dbv/table_store_wrappers.h"
#include "outside/assert_log.h"
#include "outside/domain_stream.h"

namespace dbv {

namespace {

constexpr const char* kBaselineName = "DummyDumpReadBaseline";
constexpr const char* kNotInFile = "DUMMY_EVENT_NOT_IN_FILE";

bool Report(const char* text, int line) {
    return mainCheckAssertion(false, text, kLoadSource, line);
}

// Gives every event of the container that has no description the one that says so.
bool MarkEventsNotInFile(dbv_domainevents_s* events) {
    int32_t count = 0;
    if (events == nullptr || dbv_geteventcount(events, &count) != 0) return false;
    for (int32_t i = 0; i < count; ++i) {
        dbv_event_s* event = nullptr;
        const char* description = nullptr;
        if (dbv_geteventnr(events, i, &event) != 0 ||
            dbv_geteventdescription(event, &description) != 0) {
            return false;
        }
        if (description == nullptr && dbv_seteventdescription(event, kNotInFile) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

LoadDatabase_c::LoadResult_e LoadDatabase_c::ReadDomainAndTables(Session& session) {
    dbv_domain_s* domain = nullptr;
    container_->GetDomain(&domain);
    LoadResult_e result = LOAD_COMPLETE;
    if (domain != nullptr &&
        (!SetEmptyDomainEvents(*container_) || !container_->CreateRuntimeDomainEvents() ||
         !ReadDomain(session) || !ReadDomainEvents(session))) {
        result = LOAD_FAILED;
    } else if (!domainOnly_ && !ReadTables(session)) {
        result = LOAD_TABLE_DATA_FAILED;
    }
    if (session.domainHeader != nullptr) {
        dbv_deletedomainheader(session.domainHeader);
        session.domainHeader = nullptr;
    }
    return result;
}

bool LoadDatabase_c::ReadDomain(Session& session) {
    const DatabaseHeader_c& header = *session.header;
    bool Result = false;
    uint32_t version = 0;
    if (ReadLoadWord(session.file, &version) && version == 1) {
        dbv_domain_s* domain = nullptr;
        dbv_domainevents_s* runtime = nullptr;
        dbv_event_s* baseline = nullptr;
        container_->GetDomain(&domain);
        container_->GetRuntimeDomainEvents(&runtime);
        // The baseline is the run-time event of the last read, else the first run-time event
        // (asked for only when there is one: asking an empty container by number is reported).
        int32_t count = 0;
        if (!container_->GetRuntimeDomainEvent(kBaselineName, &baseline) &&
            (dbv_geteventcount(runtime, &count) != 0 || count < 1 ||
             !container_->GetRuntimeDomainEvent(0, &baseline))) {
            baseline = nullptr;
        }
        int32_t flags = 0;
        if (header.m_SecondDomainFlag) flags |= DBV_READDOMAIN_REPLACE_FOREIGN;
        if (header.m_KeepRuntimeEvents) flags |= DBV_READDOMAIN_KEEP_RUNTIME_EVENTS;
        int32_t mode = DBV_READDOMAIN_FULL;
        if (header.m_Incremental) mode |= DBV_READDOMAIN_INCREMENTAL;
        if (session.tryIds) mode |= DBV_READDOMAIN_IDS;
        Result = dbv_read_domain(session.file, static_cast<int32_t>(version), domain, baseline,
                                 runtime, flags, mode, &session.domainHeader) == 0;
        if (Result && !header.m_KeepRuntimeEvents) {
            // The read appended its baseline as the last run-time event.
            container_->DeleteRuntimeDomainEvents(kBaselineName);
            int32_t count = 0;
            dbv_event_s* fresh = nullptr;
            Result = dbv_geteventcount(runtime, &count) == 0 && count > 0 &&
                     dbv_geteventnr(runtime, count - 1, &fresh) == 0 &&
                     dbv_seteventdescription(fresh, kBaselineName) == 0;
        }
    }
    return mainCheckAssertion(Result, "Result && \"LoadDatabase_c::ReadDomain\"", kLoadSource,
                              __LINE__);
}

bool LoadDatabase_c::ReadDomainEvents(Session& session) {
    using Level = DomainAndEvents_c::DomainEventLevel_e;
    if (!session.header->m_HasEventContainers) return container_->DeleteAllDomainEvents();

    // Reads one container and adds it as the next level.
    auto readContainer = [&]() {
        dbv_domainevents_s* events = nullptr;
        if (dbv_read_domainevents(session.file, session.domainHeader, &events) != 0) {
            return Report("!\"Reading domainevents from the database failed.\"", __LINE__);
        }
        if (container_->AddDomainEvents(events)) return true;
        dbv_deletedomainevents(events);  // not kept anywhere: release it
        return false;
    };

    bool Result = false;
    uint32_t count = 0;
    if (ReadLoadWord(session.file, &count)) {
        switch (count) {
            case 0:
                Result = container_->DeleteAllDomainEvents();
                break;
            case 1: {
                dbv_domainevents_s* local = nullptr;
                Result = container_->DeleteDomainEvents(Level::EVENT_LEVEL_COMPANY) &&
                         readContainer() &&
                         container_->GetDomainEvents(Level::EVENT_LEVEL_LOCAL, &local) &&
                         MarkEventsNotInFile(local);
                break;
            }
            case 2:
                Result = container_->DeleteAllDomainEvents() && readContainer() && readContainer();
                break;
            default:
                Report("!\"Incorrect number of event containers\"", __LINE__);
                break;
        }
    }
    return mainCheckAssertion(Result, "Result", kLoadSource, __LINE__);
}

bool LoadDatabase_c::ReadTables(Session& session) {
    const DatabaseHeader_c& header = *session.header;
    *session.failedTableIndex = -1;
    size_t first = 0;
    if (header.m_TablesFromCatalog) {
        if (!header.m_CatalogReader) return Report("!\"Callback interface not defined\"", __LINE__);
        if (session.tables.empty()) return Report("!\"Table count is 0\"", __LINE__);
        const DatabaseTable_c catalog = session.tables.front();
        if (!LoadTableData(session, catalog)) {
            *session.failedTableIndex = 0;
            return false;
        }
        dbv_tablestruct* table = GetVirtualTablePointer(catalog.m_TableNumber);
        std::vector<unsigned char> row(static_cast<size_t>(dbv_getrowlength(table)));
        dbv_cursorstruct* cursor = dbv_opencursor_all(table);
        while (cursor != nullptr && dbv_fetch(cursor, row.data()) == 0) {
            DatabaseTable_c entry;
            header.m_CatalogReader->GetTableFromCatalogRow(row.data(), entry);
            if (entry.m_TableNumber < 1) {
                Report("!\"Invalid table\"", __LINE__);
                continue;
            }
            session.tables.push_back(std::move(entry));
        }
        dbv_closecursor(cursor);
        first = 1;
    }
    for (size_t i = first; i < session.tables.size(); ++i) {
        const DatabaseTable_c& table = session.tables[i];
        if (progress_ && !progress_(-1, "Load table " + std::to_string(table.m_TableNumber))) {
            return false;
        }
        if (!LoadTableData(session, table)) {
            *session.failedTableIndex = static_cast<int32_t>(i);
            return false;
        }
    }
    return true;
}

bool LoadDatabase_c::LoadTableData(Session& session, const DatabaseTable_c& entry) {
    dbv_tablestruct* table = GetVirtualTablePointer(entry.m_TableNumber);
    if (table == nullptr || session.file == nullptr) {
        return Report("!\"LoadDatabase_c::LoadTableData\"", __LINE__);
    }
    uint32_t frame = 0;
    if (entry.m_Framed && !ReadLoadWord(session.file, &frame)) {
        return Report("!\"Read table\"", __LINE__);
    }
    const bool incremental = session.header->m_Incremental;
    if (incremental) dbv_settabledomainchangecontrolmode(table, 2);
    const int32_t code = session.domainHeader != nullptr
                             ? ReadTableDomain(session.file, session.domainHeader, table)
                             : dbv_readtableinmode(session.file, table, 1);
    if (incremental) dbv_settabledomainchangecontrolmode(table, 0);
    if (code != 0 || (entry.m_Framed && !ReadLoadWord(session.file, &frame))) {
        return Report("!\"Read table\"", __LINE__);
    }
    return true;
}

}  // namespace dbv
