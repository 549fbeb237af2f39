// Row conversion between two table layouts and the copy of a whole table through it.
// Fields are moved with memcpy at their offsets, so row buffers need no alignment of their
// own, and texts are bounded by both fields' sizes.
#include "dbv/table_copy.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "dbv/domain_registry.h"
#include "dbv/table_introspection.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

constexpr const char* kSource = "rowhive_tools";

bool SameName(const dbd_fieldspec_t& a, const dbd_fieldspec_t& b) {
    return strncmp(a.name, b.name, sizeof a.name) == 0;
}

size_t Count(int32_t elementCount) {
    return elementCount > 0 ? static_cast<size_t>(elementCount) : 0;
}

// Copies one field whose target `to` has the same name and type. False for an unknown type.
bool CopyField(const dbd_fieldspec_t& from, const unsigned char* fromRow, const dbd_fieldspec_t& to,
               unsigned char* toRow) {
    const unsigned char* source = fromRow + from.offset;
    unsigned char* target = toRow + to.offset;
    switch (from.type) {
        case DBD_INT32:
        case DBD_FLOAT:
            std::memcpy(target, source, 4);
            return true;
        case DBD_DOUBLE:
            std::memcpy(target, source, 8);
            return true;
        case DBD_TEXT: {
            const size_t room = Count(to.element_count);
            if (room == 0) return true;  // not even a terminator fits
            const size_t length =
                std::min(strnlen(reinterpret_cast<const char*>(source), Count(from.element_count)),
                         room - 1);
            std::memcpy(target, source, length);
            target[length] = '\0';
            return true;
        }
        case DBD_BYTES:
            std::memcpy(target, source,
                        std::min(Count(from.element_count), Count(to.element_count)));
            return true;
        default:
            QM_ASSERT(!"ConvertRow, unsupported field type", kSource);
            return false;
    }
}

// Makes the remembered virtual database current again when the copy ends, however it ends.
class DatabaseRestorer {
  public:
    DatabaseRestorer() : remembered_(GetVirtualDatabase()) {}
    ~DatabaseRestorer() { SetVirtualDatabase(remembered_.c_str()); }
    DatabaseRestorer(const DatabaseRestorer&) = delete;
    DatabaseRestorer& operator=(const DatabaseRestorer&) = delete;

  private:
    std::string remembered_;
};

struct CursorCloser {
    void operator()(dbv_cursorstruct* cursor) const { dbv_closecursor(cursor); }
};
using CursorHandle = std::unique_ptr<dbv_cursorstruct, CursorCloser>;

bool CopyRows(int32_t fromTable, int32_t toTable, const AdjustRow& adjust) {
    dbv_tablestruct* pFromTable = GetVirtualTablePointer(fromTable);
    dbv_tablestruct* pToTable = GetVirtualTablePointer(toTable);
    if (!QM_ASSERT(pFromTable && pToTable, kSource)) return false;

    const std::vector<dbd_fieldspec_t> fromSpecs = GetTableFieldSpecs(fromTable);
    const std::vector<dbd_fieldspec_t> toSpecs = GetTableFieldSpecs(toTable);
    const int32_t fromLength = dbv_getrowlength(pFromTable);
    const int32_t toLength = dbv_getrowlength(pToTable);
    if (fromLength <= 0 || toLength <= 0) return false;
    CursorHandle cursor(dbv_opencursor_all(pFromTable));
    if (!cursor) return false;
    // operator new aligns these for any field type, so `adjust` may view them as records.
    std::vector<unsigned char> fromRow(static_cast<size_t>(fromLength));
    std::vector<unsigned char> toRow(static_cast<size_t>(toLength));

    while (dbv_fetch(cursor.get(), fromRow.data()) == 0) {
        std::fill(toRow.begin(), toRow.end(), 0);
        if (!ConvertRow(fromSpecs, fromRow.data(), toSpecs, toRow.data())) return false;
        if (adjust) adjust(fromRow.data(), toRow.data());
        if (dbv_insert(pToTable, toRow.data()) != 0) return false;
    }
    return true;
}

}  // namespace

bool ConvertRow(const std::vector<dbd_fieldspec_t>& fromSpecs, const void* fromRow,
                const std::vector<dbd_fieldspec_t>& toSpecs, void* toRow) {
    if (fromRow == nullptr || toRow == nullptr) return false;
    const auto* source = static_cast<const unsigned char*>(fromRow);
    auto* target = static_cast<unsigned char*>(toRow);
    bool converted = true;
    for (const dbd_fieldspec_t& from : fromSpecs) {
        const auto match = std::find_if(toSpecs.begin(), toSpecs.end(), [&](const auto& to) {
            return to.type == from.type && SameName(to, from);
        });
        if (match == toSpecs.end()) continue;
        if (!CopyField(from, source, *match, target)) converted = false;
    }
    return converted;
}

bool CopyTableData(const char* database, int32_t fromTable, int32_t toTable,
                   const AdjustRow& adjust) {
    DatabaseRestorer restorer;
    if (!SetVirtualDatabase(database)) return false;
    try {
        return CopyRows(fromTable, toTable, adjust);
    } catch (...) {
        // From the caller's callable or a failed allocation: nothing crosses the library's
        // boundary, and the restorer still switches back.
        return false;
    }
}

}  // namespace dbv
