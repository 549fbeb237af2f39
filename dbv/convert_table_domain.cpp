// Finding a table's domain fields by their tags, and the conversion context built from a
// table's tagged time id and id fields.
#include "dbv/convert_table_domain.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

#include "dbv/table_introspection.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

const char* const kToolsSource = "rowhive_tools";

// A name field of a tag record: zero-terminated within its bytes, or cut at their end.
std::string RecordText(const char* text, size_t size) {
    return std::string(text, strnlen(text, size));
}

}  // namespace

std::vector<dbv_domainfieldspec_s> GetDomainFieldSpecs(int32_t table, dbv_domain_s* domain,
                                                       const std::vector<std::string>& tags,
                                                       uint32_t smallIdCount,
                                                       std::vector<int32_t>& offsets) {
    std::vector<dbv_domainfieldspec_s> specs;
    offsets.clear();
    if (table == 0) {
        return specs;
    }
    const char* tableName = GetVirtualTableName(table);
    if (tableName == nullptr) {
        return specs;
    }
    const dbd_tagreferencespec_t* records = GetTableTagReferenceSpec(tableName);
    if (records == nullptr) {
        return specs;
    }
    const int32_t count = static_cast<int32_t>(std::min<uint32_t>(smallIdCount, INT32_MAX));
    try {
        for (const dbd_tagreferencespec_t* record = records; record->tag[0] != '\0'; ++record) {
            const std::string tag = RecordText(record->tag, sizeof record->tag);
            if (std::find(tags.begin(), tags.end(), tag) == tags.end()) {
                continue;
            }
            const std::string fieldName = RecordText(record->field, sizeof record->field);
            const int32_t field = GetVirtualFieldByName(table, fieldName.c_str());
            if (field < 0) {
                QM_ASSERT(!"GetVirtualFieldByName", kToolsSource);
                continue;
            }
            // A field carrying two of the tags would otherwise be listed twice: the store
            // refuses such a list, and a context would translate the field's ids twice.
            const bool listed = std::any_of(specs.begin(), specs.end(),
                                            [field](const auto& s) { return s.field == field; });
            if (listed) {
                continue;
            }
            dbd_fieldspec_t spec{};
            if (!GetVirtualFieldSpec(table, field, &spec)) {
                QM_ASSERT(!"pSpec", kToolsSource);
                continue;
            }
            specs.push_back({field, count, domain});
            offsets.push_back(spec.offset);
        }
        if (!specs.empty()) {
            specs.push_back({-1, 0, nullptr});
        }
    } catch (...) {  // std::bad_alloc: nothing half-made is handed out
        specs.clear();
        offsets.clear();
    }
    return specs;
}

ConvertTableDomain_c::ConvertTableDomain_c(int32_t table, dbv_domain_s* domain,
                                           IdRangeMapper_c* mapper, int32_t smallIdCount,
                                           const std::string& /*smallIdField*/,
                                           const std::string& creationField,
                                           const std::string& modificationField,
                                           const std::string& firstTag,
                                           const std::string& secondTag) {
    // The small-id field only ever marked an entry of a record list that is thrown away at
    // once; the context's count is what the callback reads, for every id field.
    try {
        context_ = std::make_unique<dbvConversionOffsets_c>();
        context_->rangeMapper = mapper;
        context_->domain = domain;
        if (!creationField.empty()) {
            GetFieldAddressOffset(table, creationField, firstTag, context_->creationOffset);
        }
        if (!modificationField.empty()) {
            GetFieldAddressOffset(table, modificationField, secondTag,
                                  context_->modificationOffset);
        }
        GetDomainFieldSpecs(table, domain, {firstTag, secondTag}, 0, context_->idFieldOffsets);
        if (smallIdCount != 0) {
            context_->smallIdCount = smallIdCount;
        }
    } catch (...) {  // std::bad_alloc: no context, and callers get null
        context_.reset();
    }
}

ConvertTableDomain_c::~ConvertTableDomain_c() = default;

dbvConversionOffsets_c* ConvertTableDomain_c::GetContext() const {
    return context_.get();
}

}  // namespace dbv
