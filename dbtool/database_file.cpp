// Building a described database in memory and writing a database file from memory.
#include "dbtool/database_file.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "dbtool/table_definitions.h"
#include "dbv/convert_table_domain.h"
#include "dbv/domain_registry.h"
#include "dbv/table_store_wrappers.h"
#include "outside/domain_stream.h"
#include "outside/store_domain_tables.h"
#include "outside/table_store.h"

namespace dbtool {
namespace {

bool fail(std::string& error, const std::string& what) {
    error = what;
    return false;
}

bool write_word(FILE* file, uint32_t word) {
    return std::fwrite(&word, sizeof word, 1, file) == 1;
}

bool fill_table(const TableDescription& t, std::string& error) {
    dbv_tablestruct* table = dbv::GetVirtualTablePointer(t.number);
    std::vector<unsigned char> row(static_cast<size_t>(dbv_getrowlength(table)));
    std::vector<dbd_fieldspec_t> specs(t.columns.size());
    for (size_t c = 0; c < t.columns.size(); ++c) {
        if (!dbv::GetVirtualFieldSpec(t.number, static_cast<int32_t>(c), &specs[c])) {
            return fail(error, "table " + t.name + ": no field " + t.columns[c].name);
        }
    }
    for (size_t r = 0; r < t.rows.size(); ++r) {
        std::fill(row.begin(), row.end(), 0);
        for (size_t c = 0; c < t.columns.size(); ++c) {
            if (!EncodeValue(t.columns[c], t.rows[r][c], row.data() + specs[c].offset, error)) {
                return false;
            }
        }
        if (dbv_insert(table, row.data()) != 0) {
            return fail(error, "table " + t.name + ": row " + std::to_string(r + 1) +
                                   " repeats a key or is refused");
        }
    }
    return true;
}

}  // namespace

ScratchDatabase::ScratchDatabase() : previous_(dbv::GetVirtualDatabase()) {
    for (int n = 0; n < 100 && !ok_; ++n) {
        name_ = "qm_dbtool_" + std::to_string(getpid()) + "_" + std::to_string(n);
        ok_ = dbd_createvirtualdatabase(name_.c_str()) == 0;
    }
    if (ok_) dbv::SetVirtualDatabase(name_.c_str());
}

ScratchDatabase::~ScratchDatabase() {
    if (ok_) dbd_dropvirtualdatabase(name_.c_str());
    if (!previous_.empty()) dbv::SetVirtualDatabase(previous_.c_str());
}

FileHeader HeaderOf(const DatabaseDescription& description) {
    FileHeader header;
    header.description = description.description;
    if (description.hasDomain) header.flags |= kFlagDomain | kFlagEventContainers;
    if (description.usesDbvIds) header.flags |= kFlagDbvIds;
    header.tables = description.tables;
    for (TableDescription& t : header.tables) t.rows.clear();
    return header;
}

bool BuildDatabase(const DatabaseDescription& description, dbv::DomainAndEvents_c& container,
                   std::string& error) {
    if (!DeclareTables(description.tables, error)) return false;
    for (const TableDescription& t : description.tables) {
        if (!dbv::CreateVirtualTable(t.name.c_str(), t.number, 1, 1, 1)) {
            return fail(error, "table " + t.name + " cannot be created");
        }
    }
    dbv_domain_s* domain = nullptr;
    if (description.hasDomain) {
        if (dbv_createdomain(&domain) != 0 || !container.SetDomain(domain) ||
            !dbv::SetEmptyDomainEvents(container)) {
            return fail(error, "the domain cannot be made");
        }
        for (const EventDescription& e : description.events) {
            dbv_domainevents_s* events = nullptr;
            dbv_event_s* event = nullptr;
            if (!container.GetDomainEvents(
                    static_cast<dbv::DomainAndEvents_c::DomainEventLevel_e>(e.level), &events) ||
                dbv_createevent(events, e.text.c_str(), &event) != 0) {
                return fail(error, "event " + e.text + " cannot be made");
            }
        }
        for (const TableDescription& t : description.tables) {
            std::vector<int32_t> offsets;
            std::vector<dbv_domainfieldspec_s> specs;
            if (description.usesDbvIds) {
                specs = dbv::GetDomainFieldSpecs(t.number, domain, {"modelguidid", "modelguidtime"},
                                                 10, offsets);
            }
            if (dbv::CleanAndConvertTableToDomain(t.number, domain, false, specs, nullptr,
                                                  dbv::ConvertTableToDomainCB) != 0) {
                return fail(error, "table " + t.name + " cannot be given the domain");
            }
        }
    }
    for (const TableDescription& t : description.tables) {
        if (!fill_table(t, error)) return false;
    }
    return true;
}

bool WriteDatabaseFile(const std::string& fileName, const FileHeader& header,
                       const dbv::DomainAndEvents_c& container, std::string& error) {
    const std::string temporary = fileName + ".tmp";
    FILE* file = dbv_fopen(temporary.c_str(), "wb");
    if (file == nullptr) return fail(error, "cannot write " + temporary);
    bool ok = WriteFileHeader(file, header);
    dbv_domainheader_s* domainHeader = nullptr;
    if (ok && (header.flags & kFlagDomain) != 0) {
        dbv_domain_s* domain = nullptr;
        dbv_domainevents_s* local = nullptr;
        dbv_domainevents_s* company = nullptr;
        ok = container.GetDomain(&domain) && domain != nullptr &&
             container.GetDomainEvents(dbv::DomainAndEvents_c::EVENT_LEVEL_LOCAL, &local) &&
             container.GetDomainEvents(dbv::DomainAndEvents_c::EVENT_LEVEL_COMPANY, &company) &&
             write_word(file, 1) && dbv_write_domain(file, domain) == 0 && write_word(file, 2) &&
             dbv_write_domainevents(file, local) == 0 &&
             dbv_write_domainevents(file, company) == 0 &&
             dbv_createdomainheader(domain, &domainHeader) == 0;
        if (!ok) error = "the domain cannot be written";
    }
    for (size_t i = 0; ok && i < header.tables.size(); ++i) {
        const TableDescription& t = header.tables[i];
        dbv_tablestruct* table = dbv::GetVirtualTablePointer(t.number);
        const auto rows = static_cast<uint32_t>(dbv_getrowcount(table));
        ok = table != nullptr && (!t.framed || write_word(file, rows)) &&
             dbv::WriteTableDomain(file, domainHeader, table) == 0 &&
             (!t.framed || write_word(file, rows));
        if (!ok) error = "table " + t.name + " cannot be written";
    }
    if (domainHeader != nullptr) dbv_deletedomainheader(domainHeader);
    if (dbv_fclose(file) != 0 && ok) {
        ok = false;
        error = "cannot finish writing " + temporary;
    }
    if (ok && std::rename(temporary.c_str(), fileName.c_str()) != 0) {
        ok = false;
        error = "cannot replace " + fileName;
    }
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

}  // namespace dbtool
