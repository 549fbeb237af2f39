// Looking up one event's guid in a database file without loading it into the current
// database: the file's domain is loaded, domain only, into the temporary database "__BakDb",
// which is dropped again. A database of that name that exists already belongs to somebody
// else and is never used or dropped.
#include "dbv/domain_registry.h"
#include "dbv/event_texts.h"
#include "dbv/load_database.h"
#include "outside/domain_stream.h"
#include "outside/store_domain.h"

namespace dbv {

namespace {

constexpr const char* kTemporary = "__BakDb";

bool FileExists(const std::string& fileName) {
    FILE* file = dbv_fopen(fileName.c_str(), "rb");
    if (file == nullptr) return false;
    dbv_fclose(file);
    return true;
}

// Makes `name` current again in the store and the registry. SetVirtualDatabase alone would
// skip the store when the registry still holds the name.
void RestoreCurrent(const std::string& name) {
    if (!name.empty()) SetCurrentDatabase(name.c_str());
    SetVirtualDatabase(name.c_str());
}

}  // namespace

std::string LoadDatabase_c::GetEventGuidFromDatabaseFile(
    const std::string& name, const std::string& fileName,
    DomainAndEvents_c::DomainEventLevel_e level, const std::string& eventName) {
    if (!FileExists(fileName)) return {};
    const std::string remembered = GetVirtualDatabase();
    // Refuses an existing "__BakDb" (and makes it current in the store, hence the restore).
    if (!CreateVirtualDatabase(kTemporary)) {
        RestoreCurrent(remembered);
        return {};
    }
    std::string guid;
    try {
        DomainAndEvents_c container;
        LoadDatabase_c loader(&container, true);
        DatabaseHeader_c header;
        int32_t failedTable = -1;
        dbv_timeidmapping_s* mapping = nullptr;
        if (loader.Load(name, fileName, false, header, failedTable, &mapping) == LOAD_COMPLETE) {
            dbv_event_s* event = nullptr;
            dbv_domain_s* domain = nullptr;
            if (container.GetDomainEvent(level, eventName.c_str(), &event) &&
                container.GetDomain(&domain)) {
                guid = DomainEventToGuidString(event, domain);
            }
        }
        if (mapping != nullptr) dbv_deletetimeidmapping(mapping);
        // The domain and its containers were made for this lookup alone.
        container.Clear(true);
        container.ResetChangeStatus();
    } catch (...) {
        guid.clear();  // out of memory: the temporary database still goes
    }
    DropVirtualDatabase(kTemporary);
    SetVirtualDatabase(remembered.c_str());
    return guid;
}

}  // namespace dbv
