// The dictionary's description of a virtual table as the dump, load and conversion code
// reads it: field descriptions, the fields that carry given tags, the tags of a field
// and the row offset of a field. Table numbers are those of the current database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbv/common_export.h"
#include "outside/table_store.h"

namespace dbv {

// Every field's description, in field order; a field without one is reported "pSpec".
COMMON_EXPORT std::vector<dbd_fieldspec_t> GetTableFieldSpecs(int32_t table);

// The description of the first field named fieldName; false when there is none.
COMMON_EXPORT bool GetTableFieldSpecs(int32_t table, const std::string& fieldName,
                                      dbd_fieldspec_t& spec);

// The fields that carry any of the tags, in tag-record order; empty for table 0 or a table
// without tag records.
COMMON_EXPORT std::vector<dbd_fieldspec_t> GetTableFieldsByTags(
    int32_t table, const std::vector<std::string>& tags);

// The tags of the field, in tag-record order.
COMMON_EXPORT std::vector<std::string> GetFieldTags(int32_t table, const std::string& fieldName);

// The field's row offset; false (offset unchanged) when the field does not exist.
COMMON_EXPORT bool GetFieldAddressOffset(int32_t table, const std::string& fieldName,
                                         int32_t& offset);

// The row offset of a field that carries `tag`; false (offset unchanged) otherwise.
COMMON_EXPORT bool GetFieldAddressOffset(int32_t table, const std::string& fieldName,
                                         const std::string& tag, int32_t& offset);

}  // namespace dbv
