// Table definitions made from descriptions, kept for the process because the dictionary
// points into them.
#include "dbtool/table_definitions.h"

#include <deque>
#include <memory>

#include "outside/table_store.h"

namespace dbtool {
namespace {

struct OwnedDefinition {
    TableDescription source;  // owns every text the definition points into
    std::vector<dbd_columndef_t> columns;
    dbd_indexdef_t index{};
    dbd_tabledef_t table{};
    std::vector<dbd_tagreference_t> tags;
    std::vector<dbd_tagdef_t> tagDefs;
};

std::deque<std::unique_ptr<OwnedDefinition>>& definitions() {
    static auto& kept = *new std::deque<std::unique_ptr<OwnedDefinition>>;
    return kept;
}

}  // namespace

bool DeclareTables(const std::vector<TableDescription>& tables, std::string& error) {
    for (const TableDescription& t : tables) {
        auto owned = std::make_unique<OwnedDefinition>();
        owned->source = t;
        owned->source.rows.clear();
        const TableDescription& s = owned->source;
        for (const ColumnDescription& c : s.columns) {
            owned->columns.push_back({c.name.c_str(), c.type, c.size});
        }
        owned->index.name = "pk";
        for (size_t i = 0; i < s.key.size() && i < DBD_MAX_INDEX_COLUMNS; ++i) {
            owned->index.columns[i] = s.key[i].c_str();
        }
        owned->index.flag_indexed = 1;
        owned->index.flag_primary = 1;
        owned->table = {s.name.c_str(),
                        owned->columns.data(),
                        static_cast<int32_t>(owned->columns.size()),
                        &owned->index,
                        1,
                        "pk"};
        if (dbd_definevirtualtable(&owned->table) != 0) {
            error = "table " + s.name + " cannot be declared (another table of that name differs)";
            return false;
        }
        for (const auto& [tag, column] : s.tags) {
            owned->tagDefs.push_back({tag.c_str(), "qm_dbtool tag"});
            owned->tags.push_back({tag.c_str(), column.c_str()});
        }
        for (const dbd_tagdef_t& tag : owned->tagDefs) dbd_definetag(&tag);
        if (!owned->tags.empty() &&
            dbd_definetabletagreferences(s.name.c_str(), owned->tags.data(),
                                         static_cast<int32_t>(owned->tags.size())) != 0) {
            error = "the tags of table " + s.name + " cannot be declared";
            return false;
        }
        definitions().push_back(std::move(owned));
    }
    return true;
}

}  // namespace dbtool
