// Copying every row of one table into another table of a different layout: fields are
// matched by name and type, texts are cut to the target's size, and a caller's callable may
// adjust each converted row before it is inserted.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "dbv/common_export.h"
#include "outside/table_store.h"

namespace dbv {

// Called once per row with the source row and the converted target row (writable).
using AdjustRow = std::function<void(const void* from, void* to)>;

// Copies each field of `fromSpecs` into the first field of `toSpecs` with the same name and
// type code; a field without one is skipped, and target fields nobody copies into keep what
// `toRow` held. Integers and floats take 4 bytes, doubles 8; a text takes at most the
// target's element count - 1 characters (bounded by the source field's size as well) and is
// always terminated, and a target of element count 0 receives nothing; a byte field takes
// the smaller of the two element counts. A field of an unknown type is reported
// ("!\"ConvertRow, unsupported field type\"", source rowhive_tools) and makes the result
// false; the other fields are still copied.
// REQUIRES: the rows hold rows of the tables that the field descriptions describe.
COMMON_EXPORT bool ConvertRow(const std::vector<dbd_fieldspec_t>& fromSpecs, const void* fromRow,
                              const std::vector<dbd_fieldspec_t>& toSpecs, void* toRow);

// In virtual database `database`, inserts every row of table `fromTable`, converted to the
// layout of `toTable` (ConvertRow over a zero-filled target row) and passed through `adjust`
// (when it is set), into `toTable`. True when every row was copied; false when the database
// cannot be made current, either table is missing ("pFromTable && pToTable", source
// rowhive_tools), no cursor can be opened, a conversion fails or an insert is refused (rows
// inserted before that stay). The virtual database that was current before the call is
// made current again on every path. An exception thrown by `adjust` ends the copy with
// false.
COMMON_EXPORT bool CopyTableData(const char* database, int32_t fromTable, int32_t toTable,
                                 const AdjustRow& adjust);

}  // namespace dbv
