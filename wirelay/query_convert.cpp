// The conversion tables of query item data: one converter per query type and direction.
// Rows keep their layout and get their numeric columns (32-bit integers, floats, doubles)
// in little-endian order, so on a little-endian host a row travels as it is in memory;
// texts, byte columns and padding travel as they are.
#include "wirelay/query_convert.h"

#include <bit>
#include <cstring>

#include "outside/table_store.h"
#include "wirelay/io_core.h"
#include "wirelay/query.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace wrl {
namespace {

constexpr size_t kIdentifyNameMax = 32;

using Converter = int (*)(ByteOrder host, bool to_wire, uint32_t table, const uint8_t* data,
                          uint32_t length, uint8_t** out, uint32_t* out_length);

const char* Who(bool to_wire) {
    return to_wire ? "wrl_convertdata_hton" : "wrl_convertdata_ntoh";
}

uint8_t* Allocate(uint32_t length) {
    return static_cast<uint8_t*>(wrl_malloc(length));
}

// Reverses `size` bytes at `p` when the host's order is big-endian: the wire is little.
void FixOrder(ByteOrder host, uint8_t* p, size_t size) {
    if (host != ByteOrder::kBig) return;
    for (size_t i = 0; i < size / 2; ++i) {
        const uint8_t t = p[i];
        p[i] = p[size - 1 - i];
        p[size - 1 - i] = t;
    }
}

uint32_t ReadWord(ByteOrder order, const uint8_t* p) {
    return order == ByteOrder::kLittle
               ? uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24
               : uint32_t{p[3]} | uint32_t{p[2]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[0]} << 24;
}

void WriteWord(ByteOrder order, uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        const uint8_t b = static_cast<uint8_t>(v >> (8 * i));
        p[order == ByteOrder::kLittle ? i : 3 - i] = b;
    }
}

int WrongLength(bool to_wire, uint32_t length, uint32_t wanted) {
    io_log("%s: %u bytes where %u are needed\n", Who(to_wire), length, wanted);
    return WRL_EFAIL;
}

// One row of the table: exactly the row length, however long the item is; an item shorter
// than the row is refused rather than read past its end.
int ConvertRow(ByteOrder host, bool to_wire, uint32_t table, const uint8_t* data, uint32_t length,
               uint8_t** out, uint32_t* out_length) {
    dbv_tablestruct* t = dbd_getvirtualtablepointer(static_cast<int32_t>(table));
    const int32_t row_length = dbv_getrowlength(t);
    if (t == nullptr || row_length <= 0) {
        io_log("%s: unknown table %u\n", Who(to_wire), table);
        return WRL_EFAIL;
    }
    const auto row = static_cast<uint32_t>(row_length);
    if (length < row) return WrongLength(to_wire, length, row);
    uint8_t* copy = Allocate(row);
    if (copy == nullptr) return WRL_ENOMEM;
    std::memcpy(copy, data, row);
    if (host == ByteOrder::kBig) {
        const int32_t fields = dbv::GetVirtualFieldCount(static_cast<int32_t>(table));
        for (int32_t i = 0; i < fields; ++i) {
            dbd_fieldspec_t spec;
            if (!dbv::GetVirtualFieldSpec(static_cast<int32_t>(table), i, &spec)) continue;
            const bool numeric =
                spec.type == DBD_INT32 || spec.type == DBD_FLOAT || spec.type == DBD_DOUBLE;
            if (!numeric || spec.offset < 0 || spec.size <= 0 ||
                static_cast<uint32_t>(spec.offset) + static_cast<uint32_t>(spec.size) > row) {
                continue;
            }
            for (int32_t e = 0; e < spec.element_count; ++e) {
                const auto at = static_cast<size_t>(spec.offset + e * spec.element_size);
                if (at + static_cast<size_t>(spec.element_size) > row) break;
                FixOrder(host, copy + at, static_cast<size_t>(spec.element_size));
            }
        }
    }
    *out = copy;
    *out_length = row;
    return WRL_OK;
}

// Host record (56 bytes): five 32-bit values, a 33-byte name, padding. Wire (48 bytes):
// value 1 at 0, the low bytes of values 2 and 3 at 4 and 5, two zero bytes, values 4 and 5
// at 8 and 12, the name zero-padded in 32 bytes at 16.
int ConvertIdentify(ByteOrder host, bool to_wire, uint32_t, const uint8_t* data, uint32_t length,
                    uint8_t** out, uint32_t* out_length) {
    const uint32_t wanted = to_wire ? sizeof(wrl_identify) : WRL_IDENTIFY_WIRE_SIZE;
    if (length != wanted) return WrongLength(to_wire, length, wanted);
    const uint32_t made = to_wire ? WRL_IDENTIFY_WIRE_SIZE : sizeof(wrl_identify);
    uint8_t* o = Allocate(made);
    if (o == nullptr) return WRL_ENOMEM;
    std::memset(o, 0, made);
    constexpr size_t kName = offsetof(wrl_identify, name);
    constexpr size_t kWireName = 16;
    if (to_wire) {
        WriteWord(ByteOrder::kLittle, o, ReadWord(host, data));
        o[4] = static_cast<uint8_t>(ReadWord(host, data + 4));
        o[5] = static_cast<uint8_t>(ReadWord(host, data + 8));
        WriteWord(ByteOrder::kLittle, o + 8, ReadWord(host, data + 12));
        WriteWord(ByteOrder::kLittle, o + 12, ReadWord(host, data + 16));
        std::memcpy(o + kWireName, data + kName,
                    strnlen(reinterpret_cast<const char*>(data + kName), kIdentifyNameMax));
    } else {
        WriteWord(host, o, ReadWord(ByteOrder::kLittle, data));
        WriteWord(host, o + 4, data[4]);
        WriteWord(host, o + 8, data[5]);
        WriteWord(host, o + 12, ReadWord(ByteOrder::kLittle, data + 8));
        WriteWord(host, o + 16, ReadWord(ByteOrder::kLittle, data + 12));
        std::memcpy(o + kName, data + kWireName,
                    strnlen(reinterpret_cast<const char*>(data + kWireName), kIdentifyNameMax));
    }
    *out = o;
    *out_length = made;
    return WRL_OK;
}

// Three 32-bit words, little-endian on the wire.
int ConvertWords(ByteOrder host, bool to_wire, uint32_t, const uint8_t* data, uint32_t length,
                 uint8_t** out, uint32_t* out_length) {
    if (length != WRL_WORDS_SIZE) return WrongLength(to_wire, length, WRL_WORDS_SIZE);
    uint8_t* o = Allocate(WRL_WORDS_SIZE);
    if (o == nullptr) return WRL_ENOMEM;
    for (int i = 0; i < 3; ++i) {
        const ByteOrder from = to_wire ? host : ByteOrder::kLittle;
        const ByteOrder to = to_wire ? ByteOrder::kLittle : host;
        WriteWord(to, o + 4 * i, ReadWord(from, data + 4 * i));
    }
    *out = o;
    *out_length = WRL_WORDS_SIZE;
    return WRL_OK;
}

int CopyBytes(ByteOrder, bool, uint32_t, const uint8_t* data, uint32_t length, uint8_t** out,
              uint32_t* out_length) {
    uint8_t* o = Allocate(length);
    if (o == nullptr) return WRL_ENOMEM;
    if (length > 0) std::memcpy(o, data, length);
    *out = o;
    *out_length = length;
    return WRL_OK;
}

// Indexed by query type; the same converters serve both directions.
constexpr Converter kToWire[WRL_QUERY_TYPES] = {ConvertRow,   ConvertRow, ConvertRow,
                                                ConvertRow,   ConvertRow, ConvertIdentify,
                                                ConvertWords, CopyBytes};
constexpr Converter kFromWire[WRL_QUERY_TYPES] = {ConvertRow,   ConvertRow, ConvertRow,
                                                  ConvertRow,   ConvertRow, ConvertIdentify,
                                                  ConvertWords, CopyBytes};

}  // namespace

ByteOrder HostByteOrder() {
    return std::endian::native == std::endian::big ? ByteOrder::kBig : ByteOrder::kLittle;
}

int ConvertItemData(ByteOrder host, bool to_wire, uint32_t type, uint32_t table,
                    const uint8_t* data, uint32_t length, uint8_t** out, uint32_t* out_length) {
    if (type >= WRL_QUERY_TYPES) {
        io_log("%s: unknown query type %d\n", Who(to_wire), static_cast<int>(type));
        return WRL_EFAIL;
    }
    if (data == nullptr && length > 0) return WRL_EFAIL;
    static const uint8_t kNothing = 0;
    const uint8_t* from = data != nullptr ? data : &kNothing;
    return (to_wire ? kToWire : kFromWire)[type](host, to_wire, table, from, length, out,
                                                 out_length);
}

}  // namespace wrl

extern "C" {

int wrl_convertdata_hton(const wrl_query_item* item, const void* data, uint32_t length, void** out,
                         uint32_t* out_length) {
    if (item == nullptr || out == nullptr || out_length == nullptr) return WRL_EFAIL;
    uint8_t* o = nullptr;
    const int rc = wrl::ConvertItemData(wrl::HostByteOrder(), true, item->type, item->table,
                                        static_cast<const uint8_t*>(data), length, &o, out_length);
    if (rc == WRL_OK) *out = o;
    return rc;
}

int wrl_convertdata_ntoh(const wrl_query_item* item, const void* data, uint32_t length, void** out,
                         uint32_t* out_length) {
    if (item == nullptr || out == nullptr || out_length == nullptr) return WRL_EFAIL;
    uint8_t* o = nullptr;
    const int rc = wrl::ConvertItemData(wrl::HostByteOrder(), false, item->type, item->table,
                                        static_cast<const uint8_t*>(data), length, &o, out_length);
    if (rc == WRL_OK) *out = o;
    return rc;
}

}  // extern "C"
