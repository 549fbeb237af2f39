// Query records: a header and a list of items, each item one row of a table of the table
// store or a small fixed record, tagged with a query type. A query is built in host form,
// converted to wire form (wrl_query_hton) before wrl_query_send, and converted back
// (wrl_query_ntoh) after wrl_query_receive; the conversion makes every number little-endian
// on the wire, so hosts of either byte order exchange queries.
//
// Query frame on the wire, integers little-endian: 'd', 't', version 18, kind, status,
// item count, three application words (24 bytes); then per item its table id (4), query
// type (1), data length (4) and data.
//
// Codes are the transport's (wrl_errors.h). Items and buffers come from wrl_malloc.
#pragma once

#include <cstddef>
#include <cstdint>

struct wrl_net;

enum : uint32_t {
    WRL_QUERY_SELECT = 0,
    WRL_QUERY_INSERT = 1,
    WRL_QUERY_UPDATE = 2,
    WRL_QUERY_DELETE = 3,
    WRL_QUERY_USER = 4,      // "user query"
    WRL_QUERY_IDENTIFY = 5,  // data: a wrl_identify record
    WRL_QUERY_WORDS = 6,     // data: three 32-bit words
    WRL_QUERY_BYTES = 7,     // data: bytes carried as they are
    WRL_QUERY_TYPES = 8,
};

constexpr uint32_t WRL_QUERY_MAGIC = 0x7464;  // bytes 'd', 't' read as little-endian 16 bits
constexpr uint32_t WRL_QUERY_VERSION = 18;
constexpr size_t WRL_QUERY_HEADER_SIZE = 24;
constexpr size_t WRL_QUERY_ITEM_HEADER_SIZE = 9;
constexpr size_t WRL_IDENTIFY_WIRE_SIZE = 48;
constexpr size_t WRL_WORDS_SIZE = 12;

// Host form of an identify item. Values 2 and 3 travel as their low byte only.
struct wrl_identify {
    uint32_t value1;
    uint32_t value2;
    uint32_t value3;
    uint32_t value4;
    uint32_t value5;
    char name[33];  // up to 32 characters and a terminating zero
};
static_assert(sizeof(wrl_identify) == 56);

struct wrl_query_item {
    wrl_query_item* next;
    uint32_t type;   // WRL_QUERY_*
    uint32_t table;  // table number of the table store (row types)
    uint8_t* data;   // owned
    uint32_t length;
};

struct wrl_query {
    uint32_t magic;    // as received (WRL_QUERY_MAGIC when created)
    uint32_t version;  // as received (WRL_QUERY_VERSION when created)
    uint32_t kind;     // message kind: 0 normal, 1 acknowledge, 2 identify
    uint32_t status;   // a transport code
    uint32_t count;    // items
    wrl_query_item* first;
    wrl_query_item* last;
    wrl_query_item* cursor;  // the item wrl_query_nextitem gave last
    uint32_t word1;          // application words, carried verbatim
    uint32_t word2;
    uint32_t word3;
    bool at_end;  // wrl_query_nextitem has passed the last item
};

extern "C" {

// An empty query of kind 0. WRL_OK, or WRL_ENOMEM.
int wrl_query_create(wrl_query** out);
// Frees the items, their data and the query; null is accepted.
void wrl_query_free(wrl_query* query);
// Frees every item; the count becomes 0 and iteration starts again.
void wrl_query_clear(wrl_query* query);

// Appends an item in host form, copying its data: for types 0 to 4 one row of the current
// virtual database's table `table` (its row length), for identify a wrl_identify, for type 6
// three 32-bit words. WRL_OK; WRL_EFAIL for an unknown table, type 7 (use wrl_query_adddata)
// or a type above 7; WRL_ENOMEM.
int wrl_query_additem(wrl_query* query, uint32_t type, uint32_t table, const void* data);
// Shorthands of wrl_query_additem for the row types.
int wrl_query_addselect(wrl_query* query, uint32_t table, const void* row);
int wrl_query_addinsert(wrl_query* query, uint32_t table, const void* row);
int wrl_query_addupdate(wrl_query* query, uint32_t table, const void* row);
int wrl_query_adddelete(wrl_query* query, uint32_t table, const void* row);
int wrl_query_adduserquery(wrl_query* query, uint32_t table, const void* row);
// Appends an item with a copy of `length` bytes as they are. WRL_OK; WRL_EFAIL for a type
// above 7 or null data with a length; WRL_ENOMEM.
int wrl_query_adddata(wrl_query* query, uint32_t type, uint32_t table, const void* data,
                      uint32_t length);

// The next item (the first call after creation, clear or rewind gives the first). WRL_OK,
// or WRL_EFAIL at the end. `length` may be null. The data stays the query's.
int wrl_query_nextitem(wrl_query* query, uint32_t* type, uint32_t* table, const void** data,
                       uint32_t* length);
// Starts the iteration again.
void wrl_query_rewind(wrl_query* query);

// Name of a query type: "select", "insert", "update", "delete", "user query", "identify";
// "unknown" for any other number.
const char* wrl_query_typename(uint32_t type);

// Converts one item's data between host and wire form by its type (and, for rows, its
// table). The result is a new wrl_malloc buffer the caller frees with wrl_free.
// Rows need at least the table's row length and give exactly that many bytes (bytes past
// the row are not part of it); identify needs 56 bytes and gives 48 (hton), or needs 48 and
// gives 56 (ntoh); type 6 needs 12; type 7 is copied. WRL_OK; WRL_EFAIL for an unknown type
// or table or a wrong length (logged); WRL_ENOMEM.
int wrl_convertdata_hton(const wrl_query_item* item, const void* data, uint32_t length, void** out,
                         uint32_t* out_length);
int wrl_convertdata_ntoh(const wrl_query_item* item, const void* data, uint32_t length, void** out,
                         uint32_t* out_length);

// Converts every item with data in place (old data freed). On a failure the failing item
// keeps its data, later items are not converted, and the code is returned.
int wrl_query_hton(wrl_query* query);
int wrl_query_ntoh(wrl_query* query);

// Sends the query as one continuous stream: a query of up to 64 KiB in one write, a larger
// one staged in pieces of at least 8192 bytes (an item larger than that is staged whole). Item data
// must be in wire form already. WRL_OK; the first failing write's code (WRL_EBROKEN, WRL_EFAIL);
// WRL_ENOMEM.
int wrl_query_send(wrl_net* ep, const wrl_query* query);

// Receives one query on the endpoint's read request, reading exactly the query's bytes and
// nothing after them. Magic and version are kept as received; a status of 12 or 13 means no
// items follow, whatever the count says. Item buffers grow as their bytes arrive, so a
// header announcing more than arrives costs no more memory than what arrived.
// WRL_OK; WRL_ENOMEM; WRL_EBROKEN when the connection broke; WRL_EFAIL otherwise (a read
// already queued on the endpoint included: it is left alone). Nothing stays allocated on
// failure. REQUIRES: the endpoint is not read by anyone else meanwhile.
int wrl_query_receive(wrl_net* ep, wrl_query** out);

// A receiving side that reads ahead: each read takes whatever has arrived (up to 64 KiB)
// and the bytes after a query wait in the reader for the next receive, so a query costs a
// read or two instead of several per item. REQUIRES: from its creation on, every read of
// the endpoint goes through the reader, and no other request of the endpoint's core is
// queued while a receive runs (the reader takes the core's next completion as its own).
struct wrl_query_reader;

// WRL_OK, or WRL_ENOMEM. The endpoint stays the caller's and must outlive the reader.
int wrl_query_reader_create(wrl_net* ep, wrl_query_reader** out);
void wrl_query_reader_free(wrl_query_reader* reader);
// As wrl_query_receive, reading through the reader. After a failure the stream is out of
// step (part of a query was taken): close the endpoint.
int wrl_query_reader_receive(wrl_query_reader* reader, wrl_query** out);
// Bytes read ahead and not yet handed out.
uint32_t wrl_query_reader_buffered(const wrl_query_reader* reader);

// Acknowledges a received query: unless its kind is 2 (identify), sends a header-only
// query of kind 1 with the query's status and application words. WRL_OK or the send's code.
int wrl_query_ack(wrl_net* ep, const wrl_query* query);

}  // extern "C"
