// Byte-order conversion of query item data, with the host's byte order as a parameter so
// that tests can play a host of the other order. The public wrl_convertdata_hton/ntoh pass
// the real one.
#pragma once

#include <cstdint>

struct wrl_query;

namespace wrl {

enum class ByteOrder { kLittle, kBig };

// The byte order of the machine running this code.
ByteOrder HostByteOrder();

// Converts item data of query type `type` (and table `table` for the row types) from the
// form of a host of order `host` to wire form (to_wire) or back. *out is a new wrl_malloc
// buffer. WRL_OK; WRL_EFAIL for an unknown type or table or a wrong length (logged);
// WRL_ENOMEM.
int ConvertItemData(ByteOrder host, bool to_wire, uint32_t type, uint32_t table,
                    const uint8_t* data, uint32_t length, uint8_t** out, uint32_t* out_length);

// Converts every item of the query that has data, in place, as a host of order `host`:
// a converted item's old data is freed; the first failure stops with its code and leaves
// that item and the ones after it as they were.
int ConvertQuery(wrl_query* query, ByteOrder host, bool to_wire);

}  // namespace wrl
