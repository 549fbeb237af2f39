// The dictionary's description of a table, read field by field and tag record by tag
// record. Names in the dictionary's records are fixed-size arrays: they are always read
// bounded by their array size, never trusted to carry a terminator.
#include "dbv/table_introspection.h"

#include <algorithm>
#include <cstring>

#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "rowhive_tools";

// A fixed-size name array as text, up to its terminator or its end.
template <size_t N>
std::string NameOf(const char (&name)[N]) {
    return std::string(name, strnlen(name, N));
}

// The tag records of the table, or null when the table is unknown or has none.
const dbd_tagreferencespec_t* TagRecordsOf(int32_t table) {
    const char* tableName = GetVirtualTableName(table);
    if (tableName == nullptr) return nullptr;
    const dbd_tagreferencespec_t* records = GetTableTagReferenceSpec(tableName);
    if (records == nullptr || records[0].tag[0] == '\0') return nullptr;
    return records;
}

// The field's description by its number; a missing one is reported.
bool FieldSpecOf(int32_t table, int32_t fieldNumber, dbd_fieldspec_t& spec) {
    return mainCheckAssertion(GetVirtualFieldSpec(table, fieldNumber, &spec), "pSpec", kSource,
                              __LINE__);
}

}  // namespace

std::vector<dbd_fieldspec_t> GetTableFieldSpecs(int32_t table) {
    std::vector<dbd_fieldspec_t> specs;
    const int32_t count = GetVirtualFieldCount(table);
    for (int32_t number = 0; number < count; ++number) {
        dbd_fieldspec_t spec{};
        if (FieldSpecOf(table, number, spec)) specs.push_back(spec);
    }
    return specs;
}

bool GetTableFieldSpecs(int32_t table, const std::string& fieldName, dbd_fieldspec_t& spec) {
    const int32_t count = GetVirtualFieldCount(table);
    for (int32_t number = 0; number < count; ++number) {
        dbd_fieldspec_t candidate{};
        if (!FieldSpecOf(table, number, candidate)) continue;
        if (NameOf(candidate.name) == fieldName) {
            spec = candidate;
            return true;
        }
    }
    return false;
}

std::vector<dbd_fieldspec_t> GetTableFieldsByTags(int32_t table,
                                                  const std::vector<std::string>& tags) {
    std::vector<dbd_fieldspec_t> specs;
    if (table == 0) return specs;
    const dbd_tagreferencespec_t* records = TagRecordsOf(table);
    if (records == nullptr) return specs;
    for (const dbd_tagreferencespec_t* record = records; record->tag[0] != '\0'; ++record) {
        if (std::find(tags.begin(), tags.end(), NameOf(record->tag)) == tags.end()) continue;
        const int32_t number = GetVirtualFieldByName(table, NameOf(record->field).c_str());
        if (number < 0) {
            QM_ASSERT(!"GetVirtualFieldByName", kSource);
            continue;
        }
        dbd_fieldspec_t spec{};
        if (FieldSpecOf(table, number, spec)) specs.push_back(spec);
    }
    return specs;
}

std::vector<std::string> GetFieldTags(int32_t table, const std::string& fieldName) {
    std::vector<std::string> tags;
    const dbd_tagreferencespec_t* records = TagRecordsOf(table);
    if (records == nullptr) return tags;
    for (const dbd_tagreferencespec_t* record = records; record->tag[0] != '\0'; ++record) {
        if (NameOf(record->field) == fieldName) tags.push_back(NameOf(record->tag));
    }
    return tags;
}

bool GetFieldAddressOffset(int32_t table, const std::string& fieldName, int32_t& offset) {
    const int32_t number = GetVirtualFieldByName(table, fieldName.c_str());
    if (number < 0) return false;
    dbd_fieldspec_t spec{};
    if (!GetVirtualFieldSpec(table, number, &spec)) return false;
    offset = spec.offset;
    return true;
}

bool GetFieldAddressOffset(int32_t table, const std::string& fieldName, const std::string& tag,
                           int32_t& offset) {
    const std::vector<std::string> tags = GetFieldTags(table, fieldName);
    if (std::find(tags.begin(), tags.end(), tag) == tags.end()) return false;
    return GetFieldAddressOffset(table, fieldName, offset);
}

}  // namespace dbv
