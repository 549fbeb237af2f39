// Query records in memory: creating and freeing them, adding items (with the typed
// shorthands), walking them, type names, and the conversion of whole queries.
#include "wirelay/query.h"

#include <cstring>

#include "outside/table_store.h"
#include "wirelay/query_convert.h"
#include "wirelay/wrl_alloc.h"
#include "wirelay/wrl_errors.h"

namespace {

constexpr const char* kTypeNames[] = {"select", "insert",     "update",
                                      "delete", "user query", "identify"};

// Appends an item owning a copy of `length` bytes.
int Append(wrl_query* q, uint32_t type, uint32_t table, const void* data, uint32_t length) {
    auto* item = static_cast<wrl_query_item*>(wrl_calloc(sizeof(wrl_query_item)));
    if (item == nullptr) return WRL_ENOMEM;
    item->data = static_cast<uint8_t*>(wrl_malloc(length));
    if (item->data == nullptr) {
        wrl_free(item);
        return WRL_ENOMEM;
    }
    if (length > 0) std::memcpy(item->data, data, length);
    item->type = type;
    item->table = table;
    item->length = length;
    if (q->last != nullptr) {
        q->last->next = item;
    } else {
        q->first = item;
    }
    q->last = item;
    ++q->count;
    return WRL_OK;
}

}  // namespace

namespace wrl {

int ConvertQuery(wrl_query* query, ByteOrder host, bool to_wire) {
    if (query == nullptr) return WRL_EFAIL;
    for (wrl_query_item* item = query->first; item != nullptr; item = item->next) {
        if (item->data == nullptr) continue;
        uint8_t* out = nullptr;
        uint32_t out_length = 0;
        const int rc = ConvertItemData(host, to_wire, item->type, item->table, item->data,
                                       item->length, &out, &out_length);
        if (rc != WRL_OK) return rc;
        wrl_free(item->data);
        item->data = out;
        item->length = out_length;
    }
    return WRL_OK;
}

}  // namespace wrl

extern "C" {

int wrl_query_create(wrl_query** out) {
    if (out == nullptr) return WRL_EFAIL;
    *out = static_cast<wrl_query*>(wrl_calloc(sizeof(wrl_query)));
    if (*out == nullptr) return WRL_ENOMEM;
    (*out)->magic = WRL_QUERY_MAGIC;
    (*out)->version = WRL_QUERY_VERSION;
    return WRL_OK;
}

void wrl_query_clear(wrl_query* query) {
    if (query == nullptr) return;
    for (wrl_query_item* item = query->first; item != nullptr;) {
        wrl_query_item* next = item->next;
        wrl_free(item->data);
        wrl_free(item);
        item = next;
    }
    query->first = query->last = query->cursor = nullptr;
    query->count = 0;
    query->at_end = false;
}

void wrl_query_free(wrl_query* query) {
    if (query == nullptr) return;
    wrl_query_clear(query);
    wrl_free(query);
}

int wrl_query_additem(wrl_query* query, uint32_t type, uint32_t table, const void* data) {
    if (query == nullptr || data == nullptr) return WRL_EFAIL;
    if (type == WRL_QUERY_IDENTIFY) {
        return Append(query, type, table, data, sizeof(wrl_identify));
    }
    if (type == WRL_QUERY_WORDS) return Append(query, type, table, data, WRL_WORDS_SIZE);
    if (type > WRL_QUERY_USER) return WRL_EFAIL;
    const int32_t row = dbv_getrowlength(dbd_getvirtualtablepointer(static_cast<int32_t>(table)));
    if (row <= 0) return WRL_EFAIL;
    return Append(query, type, table, data, static_cast<uint32_t>(row));
}

int wrl_query_addselect(wrl_query* query, uint32_t table, const void* row) {
    return wrl_query_additem(query, WRL_QUERY_SELECT, table, row);
}
int wrl_query_addinsert(wrl_query* query, uint32_t table, const void* row) {
    return wrl_query_additem(query, WRL_QUERY_INSERT, table, row);
}
int wrl_query_addupdate(wrl_query* query, uint32_t table, const void* row) {
    return wrl_query_additem(query, WRL_QUERY_UPDATE, table, row);
}
int wrl_query_adddelete(wrl_query* query, uint32_t table, const void* row) {
    return wrl_query_additem(query, WRL_QUERY_DELETE, table, row);
}
int wrl_query_adduserquery(wrl_query* query, uint32_t table, const void* row) {
    return wrl_query_additem(query, WRL_QUERY_USER, table, row);
}

int wrl_query_adddata(wrl_query* query, uint32_t type, uint32_t table, const void* data,
                      uint32_t length) {
    if (query == nullptr || type >= WRL_QUERY_TYPES || (data == nullptr && length > 0)) {
        return WRL_EFAIL;
    }
    return Append(query, type, table, data, length);
}

int wrl_query_nextitem(wrl_query* query, uint32_t* type, uint32_t* table, const void** data,
                       uint32_t* length) {
    if (query == nullptr || query->at_end) return WRL_EFAIL;
    wrl_query_item* item = query->cursor != nullptr ? query->cursor->next : query->first;
    if (item == nullptr) {
        query->at_end = true;
        return WRL_EFAIL;
    }
    query->cursor = item;
    if (type != nullptr) *type = item->type;
    if (table != nullptr) *table = item->table;
    if (data != nullptr) *data = item->data;
    if (length != nullptr) *length = item->length;
    return WRL_OK;
}

void wrl_query_rewind(wrl_query* query) {
    if (query == nullptr) return;
    query->cursor = nullptr;
    query->at_end = false;
}

const char* wrl_query_typename(uint32_t type) {
    return type < sizeof kTypeNames / sizeof kTypeNames[0] ? kTypeNames[type] : "unknown";
}

int wrl_query_hton(wrl_query* query) {
    return wrl::ConvertQuery(query, wrl::HostByteOrder(), true);
}

int wrl_query_ntoh(wrl_query* query) {
    return wrl::ConvertQuery(query, wrl::HostByteOrder(), false);
}

}  // extern "C"
