// The time ids of the row a cursor over a domain table fetched last.
#pragma once

#include <cstdint>

#include "dbv/common_export.h"
#include "outside/table_store.h"

namespace dbv {

// The creation time id of the cursor's current row; 0 for a plain table, a null cursor or
// when no row is current.
COMMON_EXPORT int32_t GetCreationTime(dbv_cursorstruct* cursor);

// The modification time id of the cursor's current row; 0 in the same cases.
COMMON_EXPORT int32_t GetModificationTime(dbv_cursorstruct* cursor);

}  // namespace dbv
