// Rebuilding a deprecated table: drop it, create it again empty, and convert it into the
// current database's domain with the settings the application gives for it.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "dbv/convert_table_domain.h"
#include "dbv/domain_registry.h"
#include "dbv/model_sharing.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

const char* const kSource = "dbv_convert_table_domain";

bool Holds(const std::vector<int32_t>& list, int32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool Ask(const std::function<bool(int32_t)>& predicate, int32_t table) {
    return predicate ? predicate(table) : false;
}

// Gives the record of the field named `name` the small-id count.
void SetSmallIdCountOfField(int32_t table, std::vector<dbv_domainfieldspec_s>& specs,
                            const char* name, int32_t count) {
    for (dbv_domainfieldspec_s& spec : specs) {
        dbd_fieldspec_t field{};
        if (spec.field >= 0 && GetVirtualFieldSpec(table, spec.field, &field) &&
            std::string(field.name, strnlen(field.name, sizeof field.name)) == name) {
            spec.small_id_count = count;
            return;
        }
    }
}

// The per-row callback reads a conversion-offsets record, not the settings: this builds
// the one it reads. Id fields the table does not have are left out here; the callback
// checks the rest against the row layout. Throws std::bad_alloc.
void FillOffsets(int32_t table, dbv_domain_s* domain, IdRangeMapper_c* mapper,
                 const ConversionCallbackData_t& settings, dbvConversionOffsets_c& offsets) {
    offsets.domain = domain;
    offsets.rangeMapper = mapper;
    offsets.creationOffset = settings.creationOffset;
    offsets.modificationOffset = settings.modificationOffset;
    offsets.smallIdCount = settings.smallIdCount;
    offsets.idFieldOffsets.clear();
    std::vector<int32_t> seen;
    for (const int32_t field : settings.idFields) {
        dbd_fieldspec_t spec{};
        if (Holds(seen, field)) {
            continue;  // translating a field twice would map its new id again
        }
        seen.push_back(field);
        if (!GetVirtualFieldSpec(table, field, &spec)) {
            QM_ASSERT(!"GetVirtualFieldSpec", kSource);
            continue;
        }
        offsets.idFieldOffsets.push_back(spec.offset);
    }
}

}  // namespace

void GetDomainConversionSettingsForRuntimeIds(int32_t table, const std::vector<int32_t>& fields,
                                              std::vector<dbv_domainfieldspec_s>& specs,
                                              const std::vector<int32_t>& idFields,
                                              ConversionCallbackData_t& data,
                                              const std::function<bool(int32_t)>& usesFatherId,
                                              const std::function<bool(int32_t)>& usesId) {
    data.plainIdFields.clear();
    data.domainIdFields.clear();
    try {
        for (const int32_t field : idFields) {
            (Holds(fields, field) ? data.domainIdFields : data.plainIdFields).push_back(field);
        }
    } catch (const std::bad_alloc&) {
        QM_ASSERT(!"Out of memory for the id field lists", kSource);
    }
    if (Ask(usesFatherId, table)) {
        data.smallIdCount = kDefaultSmallIdCount;
        SetSmallIdCountOfField(table, specs, "father_id", kDefaultSmallIdCount);
    } else if (Ask(usesId, table)) {
        data.smallIdCount = kDefaultSmallIdCount;
        SetSmallIdCountOfField(table, specs, "id", kDefaultSmallIdCount);
    } else {
        data.smallIdCount = 0;
    }
}

void ReCreateTable(const ReCreateTableParameters_t& parameters) {
    try {
        const int32_t table = GetVirtualTableByPointer(parameters.table);
        const char* name = table < 0 ? nullptr : GetVirtualTableName(table);
        if (name == nullptr) {
            return;
        }
        const std::string tableName = name;  // the drop invalidates `name`
        DropVirtualTable(tableName.c_str());
        CreateVirtualTable(tableName.c_str(), table, 1, 1, 1);

        DomainAndEvents_c container;
        dbv_domain_s* domain = nullptr;
        if (!GetCurrentDomainAndEvents(container) || !container.GetDomain(&domain) ||
            domain == nullptr) {
            return;
        }
        IdRangeMapper_c* mapper = nullptr;
        if (!container.GetRangeMapper(&mapper)) {
            mapper = nullptr;
        }
        ConversionCallbackData_t settings;
        bool notConverted = !GetCurrentDatabaseTablesConvertedToDomain();
        if (parameters.settingsCallback) {
            parameters.settingsCallback(table, notConverted, settings);
        }
        const bool runtimeIds = ModelSharingInterface_c::IsRuntimeIdsEnabled();
        std::vector<dbv_domainfieldspec_s> specs;
        if (runtimeIds) {
            std::vector<int32_t> offsets;
            specs =
                GetDomainFieldSpecs(table, domain, {"modelguidtime", "modelguidid"}, 0, offsets);
            std::vector<int32_t> fields;
            for (const dbv_domainfieldspec_s& spec : specs) {
                if (spec.field >= 0) {
                    fields.push_back(spec.field);
                }
            }
            GetDomainConversionSettingsForRuntimeIds(table, fields, specs, settings.idFields,
                                                     settings, parameters.usesFatherId,
                                                     parameters.usesId);
        }
        dbvConversionOffsets_c offsets;
        FillOffsets(table, domain, mapper, settings, offsets);
        if (CleanAndConvertTableToDomain(table, domain, runtimeIds, specs, &offsets,
                                         ConvertTableToDomainCB) != 0) {
            QM_ASSERT(!"Re-converting a deprecated table to domain failed.", kSource);
        }
    } catch (...) {  // std::bad_alloc, or an exception of the application's callables
        QM_ASSERT(!"Re-converting a deprecated table to domain failed.", kSource);
    }
}

}  // namespace dbv
