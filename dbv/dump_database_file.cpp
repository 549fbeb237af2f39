// The dump of a database file: loaded into the temporary database "TemporaryDumpDatabase"
// with the load callback of the given name, dumped, and dropped again.
#include "dbv/domain_registry.h"
#include "dbv/dump_database.h"
#include "outside/store_domain.h"
#include "outside/store_domain_tables.h"

namespace dbv {

bool DumpDatabase_c::Write(const std::string& name, const std::string& fileName) const {
    static const char* const kTemporary = "TemporaryDumpDatabase";
    const std::string remembered = GetVirtualDatabase();
    if (!CreateVirtualDatabase(kTemporary)) {
        SetVirtualDatabase(remembered.c_str());
        return false;
    }
    DomainAndEvents_c container;
    LoadDatabase_c loader(&container);
    if (progress_) loader.SetProgressCallback(progress_);
    DatabaseHeader_c header;
    int32_t failedTable = -1;
    dbv_timeidmapping_s* mapping = nullptr;
    const auto loaded =
        loader.Load(name, fileName, tryWriteDbvGuids_, header, failedTable, &mapping);

    bool result = false;
    if (loaded != LoadDatabase_c::LOAD_FAILED) {
        DumpInput input;
        input.headerLines.push_back(fileName);
        if (!header.m_DomainFiles.empty()) {
            input.headerLines.emplace_back("Domain loaded from:");
            for (const std::string& domainFile : header.m_DomainFiles) {
                input.headerLines.push_back(domainFile);
            }
        }
        input.headerLines.push_back(header.m_Description);
        input.tables = &header.m_Tables;
        input.failedTableIndex = failedTable;
        input.usingDbvIds = header.m_UsesDbvIds;
        input.container = &container;
        input.mapping = mapping;
        input.workMode = header.m_Incremental ? DBV_WORKMODE_HISTORY : DBV_WORKMODE_LIVE;
        result = DumpTables(input);
    }
    container.Clear(true);
    if (mapping != nullptr) dbv_deletetimeidmapping(mapping);
    DropVirtualDatabase(kTemporary);
    SetVirtualDatabase(remembered.c_str());
    return result;
}

}  // namespace dbv
