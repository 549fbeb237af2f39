// Stand-in for the closed in-memory table store and its dictionary: virtual databases
// holding tables of fixed-size rows laid out from static definitions, a unique primary
// index and non-unique secondary indexes, cursors, and self-checking table serialisation.
//
// This header is the contract the server (and later the shared library) relies on.
// Result convention: an int result of 0 means success, anything else failure; a null
// handle means failure; out-parameters and row buffers are written only on success.
// Not thread-safe: every caller uses the store from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Column type codes of the dictionary.
enum dbd_fieldtype_e : int32_t {
    DBD_INT32 = 0,   // 32-bit signed integer, 4-byte aligned
    DBD_FLOAT = 1,   // 32-bit float, 4-byte aligned
    DBD_DOUBLE = 2,  // 64-bit double, 8-byte aligned
    DBD_TEXT = 3,    // fixed-size character array; size counts the terminating NUL; 1-byte aligned
    DBD_BYTES = 4,   // fixed-size byte array; 1-byte aligned
};

// ---------------------------------------------------------------------------------------
// Static definitions handed to the dictionary. They must outlive every database created
// from them (the server declares them as static constants). Names are at most 31 characters.

struct dbd_columndef_t {
    const char* name;  // at most 31 characters
    int32_t type;      // dbd_fieldtype_e
    int32_t size;  // characters (incl. NUL) for DBD_TEXT, bytes for DBD_BYTES, ignored otherwise
};

enum { DBD_MAX_INDEX_COLUMNS = 8 };

struct dbd_indexdef_t {
    const char* name;                            // at most 31 characters
    const char* columns[DBD_MAX_INDEX_COLUMNS];  // column names in key order; unused entries null
    int32_t flag_indexed;                        // declared 1 for every index
    int32_t flag_primary;                        // 1 for the primary index, 0 for a secondary one
};
// The two flags are recorded as declared and not checked: the primary index is the one that
// dbd_tabledef_t::primary_index names, every other index is a non-unique secondary index.

struct dbd_tabledef_t {
    const char* name;                // table name, at most 31 characters
    const dbd_columndef_t* columns;  // columns in row order
    int32_t column_count;
    const dbd_indexdef_t* indexes;  // the primary index and any secondary indexes
    int32_t index_count;
    const char* primary_index;  // name of the primary index (one of `indexes`)
};

struct dbd_tagdef_t {
    const char* name;         // at most 31 characters
    const char* description;  // one line
};

struct dbd_tagreference_t {
    const char* tag;    // a tag name
    const char* field;  // a column of the table
};

// Field description as the metadata functions copy it out: 176 bytes, with the name at
// offset 0, the type at 32, the element count at 36 and the row offset at 172.
struct dbd_fieldspec_t {
    char name[32];
    int32_t type;
    int32_t element_count;  // characters of a text field, bytes of a byte field, 1 otherwise
    int32_t element_size;   // bytes of one element
    int32_t size;           // bytes the field takes in the row
    char reserved[124];
    int32_t offset;
};
static_assert(sizeof(dbd_fieldspec_t) == 176);
static_assert(offsetof(dbd_fieldspec_t, type) == 32);
static_assert(offsetof(dbd_fieldspec_t, element_count) == 36);
static_assert(offsetof(dbd_fieldspec_t, offset) == 172);

// One tag reference as GetTableTagReferenceSpec hands it out: 192 bytes, the tag name in
// the first 32, then the field name. A list ends with an entry whose tag name is empty.
struct dbd_tagreferencespec_t {
    char tag[32];
    char field[32];
    char reserved[128];
};
static_assert(sizeof(dbd_tagreferencespec_t) == 192);

// Opaque handles.
struct dbv_tablestruct;
struct dbv_indexstruct;
struct dbv_cursorstruct;

// ---------------------------------------------------------------------------------------
// Dictionary.

// Declares a table definition by its name. Non-zero when the definition is malformed
// (no columns, unknown index column, no or unknown primary index) or the name is taken
// by a different definition; declaring the same definition again is accepted.
// Also malformed: a null, empty or too long name; a column name used twice; an unknown
// column type; a text or byte column of fewer than 1 or more than 2^20 bytes; a row
// longer than 16 MiB; more than 1024 columns or 64 indexes; an index without columns, with
// a column twice, or with the name of another index.
// Row layout: columns in order at their natural C alignment (int32 and float 4, double 8,
// text and bytes 1), the row length rounded up to the largest alignment, so a row equals
// the plain C struct of the same members.
// Keys compare byte for byte on their columns, texts only up to their terminator (a text
// field without one compares in full): bytes after the NUL never make two keys differ.
int dbd_definevirtualtable(const dbd_tabledef_t* definition);

// Attaches tags to columns of the table `table_name`. REQUIRES: the table is declared; the
// tag may be declared before or after. References are added behind earlier ones (one
// already attached is not added again), all or none: non-zero, and nothing added, for an
// undeclared table, a negative count, null
// `refs` with a positive count, a null, empty or too long tag name, or a field that is not
// a column of the table.
int dbd_definetabletagreferences(const char* table_name, const dbd_tagreference_t* refs,
                                 int32_t count);

// Declares a tag (declaring it again replaces its description). Non-zero for a null,
// empty or too long name.
int dbd_definetag(const dbd_tagdef_t* tag);

// Creates a virtual database and makes it current. Non-zero when the name is empty or a
// database of that name already exists (the existing one is then made current).
int dbd_createvirtualdatabase(const char* name);

// Drops a virtual database with all its tables; table and index handles into it become
// invalid. Cursors still open on its tables fetch nothing more and must still be closed.
// When it was current, no database is current afterwards. Non-zero when there is none of
// that name.
int dbd_dropvirtualdatabase(const char* name);

// Makes an existing database current. Non-zero when there is none of that name.
int dbd_setcurrentvirtualdatabase(const char* name);

// Creates an empty table of the declared definition `table_name` under `table_number` in
// the current database. The three sizing flags are accepted and ignored. Non-zero when no
// database is current, the definition is unknown or the number is already used.
int dbd_createvirtualtable(const char* table_name, int32_t table_number, int32_t flag1,
                           int32_t flag2, int32_t flag3);

// Handles of the current database's table `table_number`; null when there is none.
dbv_tablestruct* dbd_getvirtualtablepointer(int32_t table_number);
dbv_indexstruct* dbd_getvirtualprimarypointer(int32_t table_number);
dbv_indexstruct* dbd_getvirtualindexpointer(int32_t table_number, const char* index_name);

// ---------------------------------------------------------------------------------------
// Rows. A row buffer is exactly dbv_getrowlength() bytes; key columns are read from it.

// Copies the first row whose key in `index` equals the key columns of `row` into `row`.
// For a secondary index "first" means first inserted. Non-zero: no such row.
int dbv_select(dbv_indexstruct* index, void* row);

// Inserts a copy of `row`. Non-zero when its primary key is already present (or the table
// holds 2^31 - 1 rows, or memory runs out).
int dbv_insert(dbv_tablestruct* table, const void* row);

// Replaces the row with the same primary key as `row`. Non-zero when there is none, or
// when `primary` is not the table's primary index.
int dbv_update(dbv_indexstruct* primary, const void* row);

// Deletes the row with the primary key held in `row`. Non-zero when there is none, or
// when `primary` is not the table's primary index.
int dbv_delete(dbv_indexstruct* primary, const void* row);

// Deletes every row of the table. Open cursors on it then fetch nothing more. Non-zero
// for a null table.
int dbv_cleartable(dbv_tablestruct* table);

// Row length in bytes; 0 for a null table (-1 only while a test seam makes it fail).
int32_t dbv_getrowlength(dbv_tablestruct* table);

// Number of rows; 0 for a null table.
int32_t dbv_getrowcount(dbv_tablestruct* table);

// ---------------------------------------------------------------------------------------
// Cursors. A cursor sees the rows that matched when it was opened, in its order, less
// those deleted since; deleting or updating the current row (or any other) never breaks
// it. Rows inserted after the open are not seen. Every cursor must be closed.
// An updated row is returned with its new contents. A cursor over an index key keeps the
// rows that had the key at the open and, at each fetch, skips those deleted since and
// those whose key in that index an update has changed; a row updated into the key after
// the open is not seen (it was not there at the open). An all-rows cursor returns updated
// rows in their place, whatever their new key. After dbv_cleartable, a successful
// dbv_readtable on the table, or the drop of its database, the cursor fetches nothing more.
// Within one key of a secondary index, and in table order, rows keep the order in which
// they were inserted, also when an update moves a row to another key.

// The rows whose key in `index` equals the key columns of `key_row`: for the primary
// index at most one, for a secondary index in insertion order. Null for a null index.
dbv_cursorstruct* dbv_opencursor(dbv_indexstruct* index, const void* key_row);

// All rows of the table in table order (insertion order).
dbv_cursorstruct* dbv_opencursor_all(dbv_tablestruct* table);

// Copies the next row into `row`. Non-zero when there are no more rows; from then on no
// row is current.
int dbv_fetch(dbv_cursorstruct* cursor, void* row);

// Deletes the row last fetched. Non-zero when nothing was fetched or it is already gone.
int dbv_deletecurrent(dbv_cursorstruct* cursor);

// Replaces the row last fetched with `row`. Non-zero when nothing was fetched, it is gone,
// or the new primary key belongs to another row.
int dbv_updatecurrent(dbv_cursorstruct* cursor, const void* row);

// Releases the cursor; a null cursor is accepted.
void dbv_closecursor(dbv_cursorstruct* cursor);

// ---------------------------------------------------------------------------------------
// Serialisation of one table's rows at a stream's current position.
// The block is self-checking (magic, row length, row count, CRC-32 of the rows): a read
// verifies the whole block before it touches the table, so a truncated or altered block is
// refused and the table keeps its rows. On success the table holds exactly the block's rows
// and the stream stands just behind the block.
// Block, little-endian: "QTBL", format version 1, row length, row count, CRC-32 of those 16
// bytes, the rows in table order, CRC-32 of everything before it. A read also refuses a
// block of another row length, another version, more than 2^31 - 1 rows, or two rows with
// the same primary key; it never seeks (pipes and compressed streams work) and allocates
// only as the stream actually delivers rows. Where a read fails, the stream position is
// unspecified. Cursors open on the table fetch nothing more after a successful read.

int dbv_writetable(FILE* stream, dbv_tablestruct* table);
int dbv_readtable(FILE* stream, dbv_tablestruct* table);

// ---------------------------------------------------------------------------------------
// Table metadata of the current database, by table number.
namespace dbv {
dbv_tablestruct* GetVirtualTablePointer(int32_t table_number);
dbv_indexstruct* GetVirtualPrimaryPointer(int32_t table_number);
const char* GetVirtualTableName(int32_t table_number);           // null when unknown
int32_t GetVirtualTableByPointer(const dbv_tablestruct* table);  // -1 when unknown
int32_t GetVirtualTableSizeof(int32_t table_number);             // row length, 0 when unknown
int32_t GetVirtualFieldCount(int32_t table_number);              // 0 when unknown
bool GetVirtualFieldSpec(int32_t table_number, int32_t field_number, dbd_fieldspec_t* spec);
int32_t GetVirtualFieldByName(int32_t table_number, const char* field_name);  // -1 when absent
// The tag references of a declared table, ending with an entry whose tag is empty; null for
// an unknown table. The array stays valid until the table's tag references change.
const dbd_tagreferencespec_t* GetTableTagReferenceSpec(const char* table_name);
}  // namespace dbv
