// Converting a plain table of the current database into a table of a domain. The store
// does the conversion row by row (dbv_converttable_domain); this side prepares it: it
// finds the table's id fields by their tags, clears the table's change control when asked,
// supplies the per-row callback that translates old ids through the domain's id range
// mapper and checks the row's time ids, and afterwards makes sure that no two rows became
// identical in the domain. ReCreateTable rebuilds a deprecated table and converts it again.
//
// Reports go through the assertion convention with the source name dbv_convert_table_domain
// (rowhive_tools for GetDomainFieldSpecs). Table numbers are those of the current database.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dbv/common_export.h"
#include "dbv/id_range_mapper.h"
#include "outside/store_domain.h"
#include "outside/store_domain_tables.h"
#include "outside/table_store.h"

namespace dbv {

// Ids below this value are small ids and are never translated, unless a caller says
// otherwise.
constexpr int32_t kDefaultSmallIdCount = 10;

// The per-row callback's context: where the time ids and the id fields sit in a row, and
// how ids are translated. Offsets are byte offsets into the row; -1 means "none".
class COMMON_EXPORT dbvConversionOffsets_c {
  public:
    int32_t creationOffset = -1;
    int32_t modificationOffset = -1;
    std::vector<int32_t> idFieldOffsets;  // id fields whose values are translated
    int32_t smallIdCount = kDefaultSmallIdCount;
    IdRangeMapper_c* rangeMapper = nullptr;  // not owned; null: nothing is translated
    dbv_domain_s* domain = nullptr;          // not owned; null: the callback does nothing

    // The outcome of checking the offsets above against one table's layout, kept by
    // ConvertTableToDomainCB so that the layout is read once per table and not per row.
    // Callers leave it alone; it is redone whenever the table or an offset changes.
    struct LayoutCheck_t {
        const dbv_tablestruct* table = nullptr;
        int32_t tableNumber = -1;
        int32_t rowLength = -1;
        int32_t creationOffset = -1;
        int32_t modificationOffset = -1;
        std::vector<int32_t> idFieldOffsets;  // as checked
        bool creationUsable = false;
        bool modificationUsable = false;
        std::vector<int32_t> usableIdFieldOffsets;
    };
    LayoutCheck_t layoutCheck;
};

// Builds a context for ConvertTableToDomainCB from a table's tagged fields.
// The time id fields are creationField (when it carries firstTag) and modificationField
// (when it carries secondTag); an empty name, a missing field or a field without its tag
// leaves the offset at -1. Every field carrying either tag becomes an id field. A non-zero
// smallIdCount replaces the default of 10 (smallIdField names the domain field it was
// meant for; the context's count applies to every id field). The context keeps `mapper`
// and `domain` without owning them.
class COMMON_EXPORT ConvertTableDomain_c {
  public:
    ConvertTableDomain_c(int32_t table, dbv_domain_s* domain, IdRangeMapper_c* mapper,
                         int32_t smallIdCount, const std::string& smallIdField,
                         const std::string& creationField, const std::string& modificationField,
                         const std::string& firstTag, const std::string& secondTag);
    virtual ~ConvertTableDomain_c();
    ConvertTableDomain_c(const ConvertTableDomain_c&) = delete;
    ConvertTableDomain_c& operator=(const ConvertTableDomain_c&) = delete;

    // The context owned by this object; valid while the object lives. Null only when it
    // could not be allocated.
    dbvConversionOffsets_c* GetContext() const;

  private:
    std::unique_ptr<dbvConversionOffsets_c> context_;
};

// The domain field records of the fields that carry any of `tags`, in tag-record
// order, each {field, smallIdCount, domain} (the domain is copied as given), followed by
// the terminator {-1, 0, null} when there is any. `offsets` is emptied and receives the row
// offset of each field listed. A field that carries several of the tags is listed once.
// Empty for table 0, a table without a name or without tag records; a tagged field that
// the table does not have is reported ("!\"GetVirtualFieldByName\"") and skipped.
COMMON_EXPORT std::vector<dbv_domainfieldspec_s> GetDomainFieldSpecs(
    int32_t table, dbv_domain_s* domain, const std::vector<std::string>& tags,
    uint32_t smallIdCount, std::vector<int32_t>& offsets);

// Converts the table into `domain` (or, for a null domain, only runs the callback over its
// rows). With a domain and `clean`, the table's change control is cleared first (a failure
// is reported "!\"ClearDomainTableChangeControl\"", the store's work mode is restored and
// the conversion goes on). `specs` may lack the terminator or hold records after one:
// the store always gets a copy up to the first terminator and ended by one (null when no
// record is left). With a domain and a successful conversion, the rows must be unique in
// the domain: a store-made identity index proves it and is dropped at once; two identical
// rows are reported "!\"Multiple identical rows detected while converting tables to
// domain\"" and give the index creation's non-zero result.
// Returns 0 on success, otherwise the store's non-zero code; a table that does not exist
// gives 0 after the report "!\"GetVirtualTablePointer\"" and nothing is converted.
COMMON_EXPORT int32_t CleanAndConvertTableToDomain(int32_t table, dbv_domain_s* domain, bool clean,
                                                   const std::vector<dbv_domainfieldspec_s>& specs,
                                                   void* context,
                                                   dbv_convertrowcallback_t callback);

// The per-row callback of a conversion; `context` is a dbvConversionOffsets_c. Does nothing
// when table, row, row data, context or the context's domain is null. Otherwise sets the
// row's creation and modification time ids from their fields (translated through the
// mapper when non-zero and a mapper is present), replaces every id field value v with
// v >= 1 and v >= smallIdCount by its new id when a mapper is present, and checks that a
// row with a modification id was not modified before its creation:
// "!\"Database conversion error: Could not compare modification id and creation id.\"" or
// "!\"Database conversion error: Found an object modification id that was smaller than the
// creation id.\"". Only offsets of 32-bit integer fields lying wholly inside the row are
// used; any other offset is reported once per table and ignored. Always returns 0: its
// checks never stop the conversion.
COMMON_EXPORT int32_t ConvertTableToDomainCB(dbv_tablestruct* table, void* context,
                                             dbv_domainrow32_s* row);

// The settings of a re-conversion. The settings callback of ReCreateTable sets the offsets,
// the count and idFields; GetDomainConversionSettingsForRuntimeIds fills the two lists.
struct COMMON_EXPORT ConversionCallbackData_t {
    int32_t creationOffset = -1;      // byte offset of the creation time field, -1: none
    int32_t modificationOffset = -1;  // byte offset of the modification time field, -1: none
    int32_t smallIdCount = kDefaultSmallIdCount;
    std::vector<int32_t> plainIdFields;   // id fields that are not domain fields
    std::vector<int32_t> domainIdFields;  // id fields that are domain fields too
    std::vector<int32_t> idFields;        // field numbers whose values are ids to translate
};

// Sorts `idFields` into data's lists: those in `fields` (the domain fields) into
// domainIdFields, the others into plainIdFields (both emptied first). When usesFatherId(table)
// the small-id count becomes 10 for data and for the record of the field "father_id"; else,
// when usesId(table), the same for the field "id"; otherwise data's count becomes 0.
// An empty predicate counts as false.
COMMON_EXPORT void GetDomainConversionSettingsForRuntimeIds(
    int32_t table, const std::vector<int32_t>& fields, std::vector<dbv_domainfieldspec_s>& specs,
    const std::vector<int32_t>& idFields, ConversionCallbackData_t& data,
    const std::function<bool(int32_t)>& usesFatherId, const std::function<bool(int32_t)>& usesId);

// Called with the table number, whether the current database's tables are not yet
// converted to its domain, and a fresh settings record to fill. The table is empty then;
// the callback may fill it with the rows to convert.
using ConversionSettingsCallback =
    std::function<void(int32_t table, bool& notConverted, ConversionCallbackData_t& data)>;

struct COMMON_EXPORT ReCreateTableParameters_t {
    ConversionSettingsCallback settingsCallback;  // empty: the defaults are used
    std::function<bool(int32_t)> usesFatherId;
    std::function<bool(int32_t)> usesId;
    dbv_tablestruct* table = nullptr;
};

// Drops the table and creates it again empty under the same name and number, then, when
// the current database has a domain, converts it: the settings callback is asked for the
// settings; with run-time ids enabled the fields tagged "modelguidtime" or "modelguidid"
// become domain fields and the change control is cleared. The rows are converted with
// ConvertTableToDomainCB and a context built from the settings (the current range mapper,
// the offsets, the offsets of idFields and the small-id count). A failed conversion is
// reported "!\"Re-converting a deprecated table to domain failed.\"". Nothing happens for
// a table the current database does not know.
COMMON_EXPORT void ReCreateTable(const ReCreateTableParameters_t& parameters);

}  // namespace dbv
