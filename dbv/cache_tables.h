// The registry of the application's fast cache tables: one process-wide list, in
// registration order, of cache tables whose rows carry a 32-bit object id at a fixed offset,
// so that every cache can be emptied, walked or renumbered in one call (after the database's
// ids have been compacted, for example).
//
// The registry does not own the tables: a table must be unregistered before it is deleted.
// Not thread-safe: registration and the bulk operations run on one thread. Internal failures
// are reported through the assertion convention with the source name quickrow_tools.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "dbv/common_export.h"
#include "outside/cache_tables.h"

namespace dbv {

// One registry entry. An entry is identified by (table, id field offset, row size).
class COMMON_EXPORT CacheTableList_c {
  public:
    CacheTableList_c(dbf_table_g* table, int32_t idFieldOffset, int32_t rowSize, std::string name);
    virtual ~CacheTableList_c();
    CacheTableList_c(const CacheTableList_c&);
    CacheTableList_c(CacheTableList_c&&) noexcept;
    CacheTableList_c& operator=(const CacheTableList_c&);
    CacheTableList_c& operator=(CacheTableList_c&&) noexcept;

    dbf_table_g* m_pTable;
    int32_t m_IdFieldOffset;  // bytes from the row start to the signed 32-bit id
    int32_t m_RowSize;        // bytes of one row
    std::string m_Name;
};

// A row kept aside while its table is renumbered: an owned copy of the row's bytes. Rows of
// up to kInlineSize bytes are kept in the object itself: a renumbering keeps every row of a
// table, and one allocation per small row would cost more than the rest of the work.
class COMMON_EXPORT StoredRow_c {
  public:
    static constexpr int32_t kInlineSize = 24;

    // Copies `rowSize` (> 0) bytes from `row`. May throw std::bad_alloc.
    StoredRow_c(const void* row, int32_t rowSize);
    virtual ~StoredRow_c();
    StoredRow_c(StoredRow_c&& other) noexcept;
    StoredRow_c& operator=(StoredRow_c&& other) noexcept;

    const void* Data() const { return m_pHeap ? m_pHeap.get() : m_Inline; }

  private:
    std::unique_ptr<unsigned char[]> m_pHeap;  // rows longer than kInlineSize
    unsigned char m_Inline[kInlineSize];
};

// Appends an entry for the table. REQUIRES: `RowSize` is the table's row size and the id
// lies inside the row. Refused, with an assertion report and false, for a null table
// ("pTable"), or an id field that does not lie inside the row or a row size that is not the
// table's. A triple already registered is reported ("!IsCacheTableRegistered(...)") and
// appended again all the same (true). A null name is taken as empty.
COMMON_EXPORT bool RegisterCacheTable(dbf_table_g* pTable, int32_t IdFieldOffset, int32_t RowSize,
                                      const char* pName);

// Removes the first entry with this triple, keeping the order of the others. An unknown
// triple is reported ("it != s_aQuickrowTables.end()") and changes nothing. Always true.
COMMON_EXPORT bool UnregisterCacheTable(dbf_table_g* pTable, int32_t IdFieldOffset,
                                        int32_t RowSize);

// Empties every registered table in order. A table that cannot be cleared is reported and
// makes the result false; the others are cleared all the same. True for an empty registry.
COMMON_EXPORT bool ClearCacheTables();

// Calls `check` with every id of every registered table (whatever its value), table by table
// in registration order and row by row in table order, with the label
// "CheckQuickrowCache/<name>". An empty callable does nothing.
COMMON_EXPORT void CheckQuickrowCaches(std::function<void(int32_t, const std::string&)> check);

// The renumbering callable: (context, old id, out new id, label) -> false to refuse the id.
using UpdateQuickrowCacheFunc_t = std::function<bool(void*, int32_t, int32_t*, const char*)>;

// Renumbers every registered table: each row whose id is above 0 is passed to `update` (label
// "UpdateQuickrowCache/<name>") and, when it gives true, gets the new id and moves behind the
// table's other rows. Rows with ids of 0 or below stay as they are. A table fails when the
// callable refuses a row (or throws), or the table cannot be scanned, or a row cannot be taken out
// or put back; it is then logged ("Updating fast cache table failed (<name>).", level 2), the
// result is false and the next table is processed. The scan of a failed table stops there, but
// every row already taken out is put back (with its new id): no row is lost except one that the
// table refuses to take back, which is the failure reported. The caller is expected to rebuild
// a failed cache. False at once for an empty callable or a null context; true for an empty
// registry. The first argument is ignored.
// REQUIRES of both callables: they neither change the registry nor delete a registered table.
COMMON_EXPORT bool UpdateQuickrowCachesCB(int32_t unused, const UpdateQuickrowCacheFunc_t& update,
                                          void* pContext);

// For tests only: forgets every entry without reporting anything.
COMMON_EXPORT void ClearCacheTableRegistryForTests();

}  // namespace dbv
