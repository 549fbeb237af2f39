// The fast cache table registry: registration, clearing, walking and renumbering the ids of
// every registered cache table.
//
// Renumbering takes each renumbered row out during the scan and puts it back after the scan,
// so that the cursor never meets a row it has already renumbered. A row once taken out is
// always put back, also when the table fails half-way: only the table can refuse it.
#include "dbv/cache_tables.h"

#include <cstring>
#include <utility>
#include <vector>

#include "outside/assert_log.h"
#include "outside/log_printf.h"

namespace dbv {

namespace {

const char* const kSource = "quickrow_tools";
constexpr int32_t kIdSize = static_cast<int32_t>(sizeof(int32_t));

std::vector<CacheTableList_c> s_aQuickrowTables;

// Closes the cursor on every way out of a scan.
class Cursor {
  public:
    explicit Cursor(dbf_table_g* table) : cursor_(dbf_opencursor_all(table)) {}
    ~Cursor() { Close(); }
    Cursor(const Cursor&) = delete;
    Cursor& operator=(const Cursor&) = delete;

    dbf_cursor_g* get() const { return cursor_; }
    void Close() {
        dbf_closecursor(cursor_);
        cursor_ = nullptr;
    }

  private:
    dbf_cursor_g* cursor_;
};

int32_t ReadId(const unsigned char* row, int32_t offset) {
    int32_t id;
    std::memcpy(&id, row + offset, sizeof id);
    return id;
}

bool IsCacheTableRegistered(dbf_table_g* pTable, int32_t IdFieldOffset, int32_t RowSize) {
    for (const CacheTableList_c& entry : s_aQuickrowTables) {
        if (entry.m_pTable == pTable && entry.m_IdFieldOffset == IdFieldOffset &&
            entry.m_RowSize == RowSize) {
            return true;
        }
    }
    return false;
}

// Renumbers one table; false when it failed (see UpdateQuickrowCachesCB).
bool UpdateTable(const CacheTableList_c& entry, const UpdateQuickrowCacheFunc_t& update,
                 void* pContext) {
    const std::string label = "UpdateQuickrowCache/" + entry.m_Name;
    const int32_t offset = entry.m_IdFieldOffset;
    std::vector<unsigned char> buffer(static_cast<size_t>(entry.m_RowSize));
    Cursor cursor(entry.m_pTable);
    if (cursor.get() == nullptr) return false;

    std::vector<StoredRow_c> kept;
    bool ok = true;
    try {
        kept.reserve(static_cast<size_t>(dbf_getrowcount(entry.m_pTable)));
        while (dbf_fetch(cursor.get(), buffer.data()) == 0) {
            const int32_t oldId = ReadId(buffer.data(), offset);
            if (oldId <= 0) continue;
            int32_t newId = oldId;
            bool accepted = false;
            try {
                accepted = update(pContext, oldId, &newId, label.c_str());
            } catch (...) {  // the application's exception stays on this side
            }
            if (!accepted) {
                ok = false;
                break;
            }
            std::memcpy(buffer.data() + offset, &newId, sizeof newId);
            kept.emplace_back(buffer.data(), entry.m_RowSize);
            if (dbf_deletecurrent(cursor.get()) != 0) {
                kept.pop_back();  // still in the table, with its old id
                ok = false;
                break;
            }
        }
    } catch (...) {  // std::bad_alloc while keeping a row: that row was not taken out
        ok = false;
    }
    cursor.Close();

    for (const StoredRow_c& row : kept) {
        if (dbf_insert(entry.m_pTable, row.Data()) != 0) ok = false;
    }
    return ok;
}

}  // namespace

CacheTableList_c::CacheTableList_c(dbf_table_g* table, int32_t idFieldOffset, int32_t rowSize,
                                   std::string name)
    : m_pTable(table),
      m_IdFieldOffset(idFieldOffset),
      m_RowSize(rowSize),
      m_Name(std::move(name)) {}
CacheTableList_c::~CacheTableList_c() = default;
CacheTableList_c::CacheTableList_c(const CacheTableList_c&) = default;
CacheTableList_c::CacheTableList_c(CacheTableList_c&&) noexcept = default;
CacheTableList_c& CacheTableList_c::operator=(const CacheTableList_c&) = default;
CacheTableList_c& CacheTableList_c::operator=(CacheTableList_c&&) noexcept = default;

StoredRow_c::StoredRow_c(const void* row, int32_t rowSize) {
    const auto size = static_cast<size_t>(rowSize);
    if (rowSize > kInlineSize) m_pHeap.reset(new unsigned char[size]);
    std::memcpy(m_pHeap ? m_pHeap.get() : m_Inline, row, size);
}
StoredRow_c::~StoredRow_c() = default;
StoredRow_c::StoredRow_c(StoredRow_c&& other) noexcept : m_pHeap(std::move(other.m_pHeap)) {
    if (!m_pHeap) std::memcpy(m_Inline, other.m_Inline, sizeof m_Inline);
}
StoredRow_c& StoredRow_c::operator=(StoredRow_c&& other) noexcept {
    if (this == &other) return *this;
    m_pHeap = std::move(other.m_pHeap);
    if (!m_pHeap) std::memcpy(m_Inline, other.m_Inline, sizeof m_Inline);
    return *this;
}

bool RegisterCacheTable(dbf_table_g* pTable, int32_t IdFieldOffset, int32_t RowSize,
                        const char* pName) {
    if (!QM_ASSERT(pTable, kSource)) return false;
    // Every row read or written goes through a buffer of RowSize bytes: a size that is not
    // the table's, or an id outside it, would read or write past that buffer.
    if (!QM_ASSERT(RowSize >= kIdSize && IdFieldOffset >= 0 && IdFieldOffset <= RowSize - kIdSize,
                   kSource) ||
        !QM_ASSERT(RowSize == dbf_getrowlength(pTable), kSource)) {
        return false;
    }
    QM_ASSERT(!IsCacheTableRegistered(pTable, IdFieldOffset, RowSize), kSource);
    try {
        s_aQuickrowTables.emplace_back(pTable, IdFieldOffset, RowSize,
                                       pName == nullptr ? "" : pName);
    } catch (...) {  // std::bad_alloc: not registered
        return false;
    }
    return true;
}

bool UnregisterCacheTable(dbf_table_g* pTable, int32_t IdFieldOffset, int32_t RowSize) {
    auto it = s_aQuickrowTables.begin();
    while (it != s_aQuickrowTables.end() &&
           !(it->m_pTable == pTable && it->m_IdFieldOffset == IdFieldOffset &&
             it->m_RowSize == RowSize)) {
        ++it;
    }
    if (QM_ASSERT(it != s_aQuickrowTables.end(), kSource)) s_aQuickrowTables.erase(it);
    return true;
}

bool ClearCacheTables() {
    bool ok = true;
    for (const CacheTableList_c& entry : s_aQuickrowTables) {
        if (dbf_cleartable(entry.m_pTable) != 0) {
            QM_ASSERT(!"Clearing a cache table failed", kSource);
            ok = false;
        }
    }
    return ok;
}

void CheckQuickrowCaches(std::function<void(int32_t, const std::string&)> check) {
    if (!check) return;
    // By position, on a copy of the entry: a callable that breaks the rule and registers a
    // table leaves no dangling reference behind.
    for (size_t i = 0; i < s_aQuickrowTables.size(); ++i) {
        try {
            const CacheTableList_c entry = s_aQuickrowTables[i];
            const std::string label = "CheckQuickrowCache/" + entry.m_Name;
            std::vector<unsigned char> buffer(static_cast<size_t>(entry.m_RowSize));
            Cursor cursor(entry.m_pTable);
            if (cursor.get() == nullptr) continue;
            while (dbf_fetch(cursor.get(), buffer.data()) == 0) {
                check(ReadId(buffer.data(), entry.m_IdFieldOffset), label);
            }
        } catch (...) {  // a throwing callable (or no memory) ends this table's walk
        }
    }
}

bool UpdateQuickrowCachesCB(int32_t /*unused*/, const UpdateQuickrowCacheFunc_t& update,
                            void* pContext) {
    if (!update || pContext == nullptr) return false;
    bool ok = true;
    for (size_t i = 0; i < s_aQuickrowTables.size(); ++i) {
        const CacheTableList_c& entry = s_aQuickrowTables[i];
        bool tableOk = false;
        try {
            tableOk = UpdateTable(entry, update, pContext);
        } catch (...) {  // std::bad_alloc before the scan: nothing was taken out
        }
        if (!tableOk) {
            logPrintf(2, "Updating fast cache table failed (%s).", entry.m_Name.c_str());
            ok = false;
        }
    }
    return ok;
}

void ClearCacheTableRegistryForTests() {
    s_aQuickrowTables.clear();
}

}  // namespace dbv
