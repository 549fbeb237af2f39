// The loader's frame: the load callback registry, the order of a load's steps, the header
// step (with the domain files a header may name) and the creation and conversion of the
// file's tables. Reading the domain section and the tables' data is in
// load_database_read.cpp.
#include "dbv/load_database.h"

#include <utility>

#include "dbv/convert_table_domain.h"
#include "dbv/load_database_internal.h"
#include "outside/assert_log.h"
#include "outside/domain_stream.h"
#include "outside/tool_file.h"

namespace dbv {

namespace {

struct Registration {
    std::string name;
    LoadDatabase_c::LoadCallback callback;
};

std::vector<Registration>& Registry() {
    static std::vector<Registration> registry;
    return registry;
}

// Closes the file on every way out of a load.
class FileCloser {
  public:
    explicit FileCloser(FILE* file) : file_(file) {}
    ~FileCloser() {
        if (file_ != nullptr) dbv_fclose(file_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

  private:
    FILE* file_;
};

}  // namespace

bool ReadLoadWord(FILE* file, uint32_t* word) {
    return file != nullptr && tool_fread(word, sizeof *word, 1, file) == 1;
}

LoadDatabase_c::LoadDatabase_c(DomainAndEvents_c* container, bool domainOnly)
    : container_(container), domainOnly_(domainOnly) {}

LoadDatabase_c::~LoadDatabase_c() = default;

void LoadDatabase_c::SetProgressCallback(ProgressCallback callback) {
    progress_ = std::move(callback);
}

void LoadDatabase_c::RegisterCallback(const std::string& name, LoadCallback callback) {
    for (const Registration& entry : Registry()) {
        if (entry.name == name) return;
    }
    Registry().push_back({name, std::move(callback)});
}

void LoadDatabase_c::UnregisterCallback(const std::string& name) {
    std::erase_if(Registry(), [&](const Registration& entry) { return entry.name == name; });
}

void LoadDatabase_c::CleanUp() {
    Registry().clear();
}

LoadDatabase_c::LoadResult_e LoadDatabase_c::Load(const std::string& name,
                                                  const std::string& fileName, bool tryDbvIds,
                                                  DatabaseHeader_c& header,
                                                  int32_t& failedTableIndex,
                                                  dbv_timeidmapping_s** /*timeIdMapping*/) {
    failedTableIndex = -1;
    if (container_ == nullptr) return LOAD_FAILED;
    try {
        return LoadFile(name, fileName, tryDbvIds, header, failedTableIndex);
    } catch (...) {
        return LOAD_FAILED;  // out of memory: nothing crosses the library's boundary
    }
}

LoadDatabase_c::LoadResult_e LoadDatabase_c::LoadFile(const std::string& name,
                                                      const std::string& fileName, bool tryDbvIds,
                                                      DatabaseHeader_c& header,
                                                      int32_t& failedTableIndex) {
    Session session;
    session.name = &name;
    session.fileName = &fileName;
    session.header = &header;
    session.failedTableIndex = &failedTableIndex;
    session.file = dbv_fopen(fileName.c_str(), "rb");
    if (session.file == nullptr) return LOAD_FAILED;
    const FileCloser closer(session.file);

    if (!ReadDatabaseInformation(session)) {
        mainCheckAssertion(false, "!\"ReadDatabaseInformation\"", kLoadSource, __LINE__);
        return LOAD_FAILED;
    }
    session.tryIds = tryDbvIds && header.m_UsesDbvIds;
    session.tables = header.m_Tables;
    if (!domainOnly_ && !CreateTables(session)) return LOAD_FAILED;
    const LoadResult_e result = ReadDomainAndTables(session);
    if (!domainOnly_) header.m_Tables = std::move(session.tables);
    return result;
}

bool LoadDatabase_c::ReadDatabaseInformation(Session& session) {
    const LoadCallback* callback = nullptr;
    for (const Registration& entry : Registry()) {
        if (entry.name == *session.name && entry.callback) {
            callback = &entry.callback;
            break;
        }
    }
    if (callback == nullptr) return false;
    DatabaseHeader_c& header = *session.header;
    if (!(*callback)(*session.name, *session.fileName, session.file, header)) return false;
    if (!header.m_HasDomain) return true;

    if (header.m_DomainFiles.empty()) {
        dbv_domain_s* domain = nullptr;
        container_->GetDomain(&domain);
        if (domain != nullptr) return true;
        if (dbv_createdomain(&domain) != 0) return false;
        return container_->SetDomain(domain);
    }
    if (domainOnly_) return true;
    // The domain comes from other files: each is loaded into the same container, domain only;
    // the last one decides.
    LoadResult_e last = LOAD_FAILED;
    for (const std::string& domainFile : header.m_DomainFiles) {
        LoadDatabase_c nested(container_, true);
        DatabaseHeader_c nestedHeader;
        int32_t nestedFailed = -1;
        dbv_timeidmapping_s* mapping = nullptr;
        last = nested.Load(header.m_DomainFileKind, domainFile, header.m_UsesDbvIds, nestedHeader,
                           nestedFailed, &mapping);
        if (mapping != nullptr) dbv_deletetimeidmapping(mapping);
    }
    return last == LOAD_COMPLETE;
}

bool LoadDatabase_c::CreateTables(Session& session) {
    const DatabaseHeader_c& header = *session.header;
    for (const DatabaseTable_c& table : header.m_Tables) {
        if (!CreateVirtualTable(table.m_TableName.c_str(), table.m_TableNumber, 100, 100, 0)) {
            mainCheckAssertion(false, "!\"dbv::CreateVirtualTable\"", kLoadSource, __LINE__);
            return false;
        }
    }
    dbv_domain_s* domain = nullptr;
    container_->GetDomain(&domain);
    if (domain == nullptr) return true;

    bool result = true;
    for (const DatabaseTable_c& table : header.m_Tables) {
        if (GetVirtualTablePointer(table.m_TableNumber) == nullptr) {
            mainCheckAssertion(false, "!\"dbv::GetVirtualTablePointer\"", kLoadSource, __LINE__);
            result = false;
            continue;
        }
        std::vector<dbv_domainfieldspec_s> specs;
        if (session.tryIds) {
            std::vector<int32_t> offsets;
            specs = GetDomainFieldSpecs(table.m_TableNumber, domain, header.m_DomainFieldNames,
                                        header.m_DomainFieldParameter, offsets);
        }
        if (CleanAndConvertTableToDomain(table.m_TableNumber, domain, header.m_UsesDbvIds, specs,
                                         nullptr, ConvertTableToDomainCB) != 0) {
            mainCheckAssertion(false, "!\"dbv::CleanAndConvertTableToDomain\"", kLoadSource,
                               __LINE__);
            result = false;
        }
    }
    return result;
}

}  // namespace dbv
