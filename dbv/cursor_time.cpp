// The time ids of a cursor's current row, as the store keeps them for domain tables.
#include "dbv/cursor_time.h"

#include "outside/store_domain_tables.h"

namespace dbv {

int32_t GetCreationTime(dbv_cursorstruct* cursor) {
    int32_t creation = 0;
    int32_t modification = 0;
    dbv_getcursortime(cursor, &creation, &modification);
    return creation;
}

int32_t GetModificationTime(dbv_cursorstruct* cursor) {
    int32_t creation = 0;
    int32_t modification = 0;
    dbv_getcursortime(cursor, &creation, &modification);
    return modification;
}

}  // namespace dbv
