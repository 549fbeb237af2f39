// The database dump: its settings, the dump callback registry, the header with the domain
// section, and the table blocks of an in-memory database.
#include "dbv/dump_database.h"

#include <cinttypes>
#include <cmath>
#include <utility>

#include "dbv/domain_registry.h"
#include "dbv/dump_table.h"
#include "dbv/event_texts.h"
#include "outside/assert_log.h"
#include "outside/tool_file.h"
#include "tools/tool_dstring.h"

namespace dbv {
namespace {

constexpr const char* kSource = "dbv_dump_database";

std::vector<std::pair<std::string, DumpDatabase_c::DumpCallback>>& dump_registry() {
    static auto& registry = *new std::vector<std::pair<std::string, DumpDatabase_c::DumpCallback>>;
    return registry;
}

const char* const kDomainStatistics[] = {
    "Bytes",         "CompactedIdBase",       "CompactedIdCount", "CompactedIdItemCount",
    "SessionIdBase", "SessionIdCount",        "IdsInOrder",       "ConnectedTables",
    "ConnectedRows", "ConnectedInvisibleRows"};

const char* const kLevelNames[] = {"EVENT_LEVEL_LOCAL", "EVENT_LEVEL_COMPANY",
                                   "EVENT_LEVEL_PROJECT"};

// A statistic truncated toward zero, or "ERROR" when it is missing or does not fit a 64-bit
// integer (NaN, infinities, huge values).
std::string statistic_text(dbv_statistics_s* statistics, const char* key) {
    double value = 0;
    if (dbv_getstatistics(statistics, key, &value) != 0 || !std::isfinite(value) ||
        value >= 9.2e18 || value <= -9.2e18) {
        return "ERROR";
    }
    return std::to_string(static_cast<long long>(value));
}

}  // namespace

DumpDatabase_c::DumpDatabase_c(const std::string& fileName) {
    if (!fileName.empty()) file_ = tool_fopen(fileName.c_str(), "w");
}

DumpDatabase_c::~DumpDatabase_c() {
    if (file_ != nullptr) tool_fclose(file_);
}

void DumpDatabase_c::SetTryWriteDbvGuids(bool on) {
    tryWriteDbvGuids_ = on;
}
void DumpDatabase_c::SetTableNumbers(std::vector<int32_t> numbers) {
    tableNumbers_ = std::move(numbers);
}
void DumpDatabase_c::SetTableNameFilter(const std::string& filter) {
    tableNameFilter_ = filter;
}
void DumpDatabase_c::SetMaxTableRowCount(int32_t maxRows) {
    maxTableRowCount_ = maxRows;
}
void DumpDatabase_c::SetProgressCallback(ProgressCallback callback) {
    progress_ = std::move(callback);
}

void DumpDatabase_c::RegisterCallback(const std::string& name, DumpCallback callback) {
    for (const auto& entry : dump_registry()) {
        if (entry.first == name) return;
    }
    dump_registry().emplace_back(name, std::move(callback));
}

void DumpDatabase_c::UnregisterCallback(const std::string& name) {
    auto& registry = dump_registry();
    std::erase_if(registry, [&](const auto& entry) { return entry.first == name; });
}

void DumpDatabase_c::CleanUp() {
    dump_registry().clear();
}

bool DumpDatabase_c::PassesFilter(const DatabaseTable_c& table) const {
    if (tableNameFilter_.empty() || table.m_TableName.empty()) return true;
    size_t start = 0;
    for (;;) {
        const size_t end = tableNameFilter_.find(';', start);
        const std::string pattern = tableNameFilter_.substr(start, end - start);
        if (tool_strmatch(pattern.c_str(), table.m_TableName.c_str(), 1) == 1) return true;
        if (end == std::string::npos) return false;
        start = end + 1;
    }
}

void DumpDatabase_c::WriteDomainSection(const DomainAndEvents_c& container) const {
    dbv_domain_s* domain = nullptr;
    if (!container.GetDomain(&domain) || domain == nullptr) {
        std::fprintf(file_, "Domain = false\n");
    } else {
        std::fprintf(file_, "Domain = true\n");
        dbv_statistics_s* statistics = nullptr;
        if (dbv_getdomainstatistics(domain, &statistics) == 0 && statistics != nullptr) {
            for (const char* key : kDomainStatistics) {
                std::fprintf(file_, "%s = %s\n", key, statistic_text(statistics, key).c_str());
            }
            dbv_deletestatistics(statistics);
        } else {
            std::fprintf(file_, "NULL domain statistics\n");
        }
    }
    dbv_domainevents_s* runtime = nullptr;
    if (container.GetRuntimeDomainEvents(&runtime) && runtime != nullptr) {
        std::fprintf(file_, "\n%s: %s\n", "RuntimeDomainEvents",
                     DomainEventsToString(runtime, domain).c_str());
    }
    for (int32_t level = 0; level < container.GetDomainEventsCount(); ++level) {
        if (level >= 3) {
            std::fprintf(file_, "ERROR, unexpected domain events %d\n", level);
            continue;
        }
        dbv_domainevents_s* events = nullptr;
        if (container.GetDomainEvents(static_cast<DomainAndEvents_c::DomainEventLevel_e>(level),
                                      &events) &&
            events != nullptr) {
            std::fprintf(file_, "\n%s: %s\n", kLevelNames[level],
                         DomainEventsToString(events, domain).c_str());
        } else {
            std::fprintf(file_, "\n%s: NULL \n", kLevelNames[level]);
        }
    }
}

bool DumpDatabase_c::DumpTables(const DumpInput& input) const {
    if (!mainCheckAssertion(file_ != nullptr, "m_pFile", kSource, __LINE__)) return false;
    const std::vector<DatabaseTable_c>& tables = *input.tables;
    for (const std::string& line : input.headerLines) std::fprintf(file_, "%s\n", line.c_str());
    std::fprintf(file_, "Table count = %d\n", static_cast<int>(tables.size()));
    std::fprintf(file_, "UsingDbvIds = %s\n", input.usingDbvIds ? "true" : "false");
    WriteDomainSection(*input.container);
    std::fprintf(file_, "\n");

    dbv_domain_s* domain = nullptr;
    input.container->GetDomain(&domain);
    DumpTable_c dumper;
    dumper.SetLogInfoOutput(false);
    dumper.SetMaxTableRowCount(maxTableRowCount_);
    if (progress_) dumper.SetProgressCallback(progress_);
    dbv_event_s* incremental = nullptr;
    int32_t incrementalTimeId = 0;
    if (input.container->GetDomainEvent(DomainAndEvents_c::EVENT_LEVEL_LOCAL, "IncrementalSave",
                                        &incremental) &&
        incremental != nullptr && dbv_geteventtimeid(incremental, &incrementalTimeId) == 0 &&
        incrementalTimeId != 0) {
        dumper.SetGuidMarkByEvent("[+]", incrementalTimeId);
    }

    const auto count = static_cast<int64_t>(tables.size());
    for (int64_t i = 0; i < count; ++i) {
        const DatabaseTable_c& table = tables[static_cast<size_t>(i)];
        if (progress_ && !progress_(static_cast<int32_t>(i * 100 / count), table.m_TableName)) {
            return true;
        }
        if (!tableNumbers_.empty() && std::find(tableNumbers_.begin(), tableNumbers_.end(),
                                                table.m_TableNumber) == tableNumbers_.end()) {
            continue;
        }
        if (!PassesFilter(table)) continue;
        if (input.failedTableIndex >= 0 && i >= input.failedTableIndex) {
            std::fprintf(file_, "ERROR: Could not read ");
        }
        dumper.SetDbvGuidWriting(true, tryWriteDbvGuids_ && input.usingDbvIds, domain,
                                 input.mapping, nullptr);
        if (!dumper.Write(table.m_TableNumber, file_, input.workMode)) {
            std::fprintf(file_, "ERROR: Table data could not be written\n");
            QM_ASSERT(!"WriteTableDump failed", kSource);
            return false;
        }
    }
    return true;
}

bool DumpDatabase_c::Write(const std::string& name) const {
    DumpCallback callback;
    for (const auto& entry : dump_registry()) {
        if (entry.first == name && entry.second) {
            callback = entry.second;
            break;
        }
    }
    std::string databaseName;
    bool usingDbvIds = false;
    const std::string secondLine;
    std::vector<DatabaseTable_c> tables;
    if (!callback || !callback(name, databaseName, usingDbvIds, secondLine, tables)) return false;

    const std::string remembered = GetVirtualDatabase();
    SetVirtualDatabase(databaseName.c_str());
    DomainAndEvents_c container;
    GetCurrentDomainAndEvents(container);
    DumpInput input;
    input.headerLines = {databaseName, secondLine};
    input.tables = &tables;
    input.usingDbvIds = usingDbvIds;
    input.container = &container;
    const bool result = DumpTables(input);
    SetVirtualDatabase(remembered.c_str());
    return result;
}

}  // namespace dbv
