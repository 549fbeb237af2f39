// The per-row callback of a table conversion: takes the row's time ids from their fields,
// translates old ids through the range mapper and checks that no row was modified before
// it was created. The offsets come from callers and are checked against the table's
// layout before any row byte is read or written.
#include <cstring>

#include "dbv/convert_table_domain.h"
#include "outside/assert_log.h"

namespace dbv {

namespace {

const char* const kSource = "dbv_convert_table_domain";
const char* const kCannotCompare =
    "!\"Database conversion error: Could not compare modification id and creation id.\"";
const char* const kModifiedBeforeCreated =
    "!\"Database conversion error: Found an object modification id that was smaller than the "
    "creation id.\"";

// Whether `offset` is the start of a 32-bit integer field lying wholly inside the row.
bool IsInt32FieldOffset(int32_t tableNumber, int32_t fieldCount, int32_t rowLength,
                        int32_t offset) {
    if (offset < 0 || offset > rowLength - 4) {
        return false;
    }
    for (int32_t field = 0; field < fieldCount; ++field) {
        dbd_fieldspec_t spec{};
        if (GetVirtualFieldSpec(tableNumber, field, &spec) && spec.offset == offset) {
            return spec.type == DBD_INT32;
        }
    }
    return false;
}

// One offset given by a caller: usable, or reported and left out.
bool CheckOffset(int32_t tableNumber, int32_t fieldCount, int32_t rowLength, int32_t offset) {
    if (IsInt32FieldOffset(tableNumber, fieldCount, rowLength, offset)) {
        return true;
    }
    QM_ASSERT(!"Conversion offset is not a 32-bit integer field of the row", kSource);
    return false;
}

// Brings the context's layout check up to date for this table; true when it is usable.
bool CheckLayout(dbv_tablestruct* table, dbvConversionOffsets_c& context) {
    dbvConversionOffsets_c::LayoutCheck_t& check = context.layoutCheck;
    const int32_t tableNumber = GetVirtualTableByPointer(table);
    const int32_t rowLength = dbv_getrowlength(table);
    if (check.table == table && check.tableNumber == tableNumber && check.rowLength == rowLength &&
        check.creationOffset == context.creationOffset &&
        check.modificationOffset == context.modificationOffset &&
        check.idFieldOffsets == context.idFieldOffsets) {
        return true;
    }
    check = dbvConversionOffsets_c::LayoutCheck_t{};
    try {
        const int32_t fieldCount = tableNumber < 0 ? 0 : GetVirtualFieldCount(tableNumber);
        if (context.creationOffset >= 0) {
            check.creationUsable =
                CheckOffset(tableNumber, fieldCount, rowLength, context.creationOffset);
        }
        if (context.modificationOffset >= 0) {
            check.modificationUsable =
                CheckOffset(tableNumber, fieldCount, rowLength, context.modificationOffset);
        }
        for (const int32_t offset : context.idFieldOffsets) {
            if (CheckOffset(tableNumber, fieldCount, rowLength, offset)) {
                check.usableIdFieldOffsets.push_back(offset);
            }
        }
        check.idFieldOffsets = context.idFieldOffsets;
    } catch (...) {  // std::bad_alloc: nothing is used for this row, and the check is redone
        check = dbvConversionOffsets_c::LayoutCheck_t{};
        return false;
    }
    check.table = table;
    check.tableNumber = tableNumber;
    check.rowLength = rowLength;
    check.creationOffset = context.creationOffset;
    check.modificationOffset = context.modificationOffset;
    return true;
}

// Row offsets need not be aligned for an int32, hence the byte copies.
int32_t ReadInt32(const void* row, int32_t offset) {
    int32_t value = 0;
    std::memcpy(&value, static_cast<const char*>(row) + offset, sizeof value);
    return value;
}

void WriteInt32(void* row, int32_t offset, int32_t value) {
    std::memcpy(static_cast<char*>(row) + offset, &value, sizeof value);
}

// The time id held in a time field: translated when it is an old id and a mapper is there.
int32_t TimeIdOfField(const void* row, int32_t offset, const IdRangeMapper_c* mapper) {
    const int32_t value = ReadInt32(row, offset);
    return value != 0 && mapper != nullptr ? mapper->GetNewId(value) : value;
}

}  // namespace

int32_t ConvertTableToDomainCB(dbv_tablestruct* table, void* context, dbv_domainrow32_s* row) {
    auto* offsets = static_cast<dbvConversionOffsets_c*>(context);
    if (table == nullptr || row == nullptr || row->row == nullptr || offsets == nullptr ||
        offsets->domain == nullptr) {
        return 0;
    }
    if (!CheckLayout(table, *offsets)) {
        return 0;
    }
    const dbvConversionOffsets_c::LayoutCheck_t& check = offsets->layoutCheck;
    const IdRangeMapper_c* mapper = offsets->rangeMapper;
    if (check.creationUsable) {
        row->creation = TimeIdOfField(row->row, offsets->creationOffset, mapper);
    }
    if (check.modificationUsable) {
        row->modification = TimeIdOfField(row->row, offsets->modificationOffset, mapper);
    }
    if (mapper != nullptr) {
        for (const int32_t offset : check.usableIdFieldOffsets) {
            const int32_t value = ReadInt32(row->row, offset);
            if (value >= 1 && value >= offsets->smallIdCount) {
                WriteInt32(row->row, offset, mapper->GetNewId(value));
            }
        }
    }
    if (row->modification == 0) {
        return 0;
    }
    int32_t order = 0;
    if (dbv_comparetimeid(offsets->domain, row->modification, row->creation, &order) != 0) {
        mainCheckAssertion(false, kCannotCompare, kSource, __LINE__);
    } else if (order >= 1) {  // the modification lies before the creation
        mainCheckAssertion(false, kModifiedBeforeCreated, kSource, __LINE__);
    }
    return 0;
}

}  // namespace dbv
