// The load callback that reads qm_dbtool's header for dbv::LoadDatabase_c.
#include "dbtool/load_callback.h"

#include "dbtool/table_definitions.h"
#include "dbv/load_database.h"

namespace dbtool {
namespace {

FileHeader& last_header() {
    static auto& header = *new FileHeader;
    return header;
}

std::string& last_error() {
    static auto& error = *new std::string;
    return error;
}

bool read_header(const std::string&, const std::string&, FILE* file, dbv::DatabaseHeader_c& out) {
    last_error().clear();
    FileHeader header;
    if (!ReadFileHeader(file, header, last_error())) return false;
    if (!DeclareTables(header.tables, last_error())) return false;
    out.m_Description = header.description;
    out.m_HasDomain = (header.flags & kFlagDomain) != 0;
    out.m_HasEventContainers = (header.flags & kFlagEventContainers) != 0;
    out.m_Incremental = (header.flags & kFlagIncremental) != 0;
    out.m_UsesDbvIds = (header.flags & kFlagDbvIds) != 0;
    if (out.m_UsesDbvIds) {
        out.m_DomainFieldNames = {"modelguidid", "modelguidtime"};
        out.m_DomainFieldParameter = 10;
    }
    out.m_Tables.clear();
    for (const TableDescription& t : header.tables)
        out.m_Tables.emplace_back(t.number, t.name, t.framed);
    last_header() = std::move(header);
    return true;
}

}  // namespace

void RegisterLoadCallback() {
    dbv::LoadDatabase_c::RegisterCallback(kLoadCallbackName, read_header);
}

const FileHeader& LastFileHeader() {
    return last_header();
}

const std::string& LastHeaderError() {
    return last_error();
}

}  // namespace dbtool
