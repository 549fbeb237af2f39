// The dictionary: table definitions declared by name, tags, and the tag references that
// attach tags to columns. Definitions are compiled once here; databases share them.
#include <cstring>
#include <map>
#include <string>

#include "outside/table_store_internal.h"

namespace table_store {
namespace {

struct Dictionary {
    std::map<std::string, std::shared_ptr<const TableLayout>, std::less<>> tables;
    std::map<std::string, std::string, std::less<>> tags;  // name -> description
    // Per table, its references followed by the empty entry that ends the list.
    std::map<std::string, std::vector<dbd_tagreferencespec_t>, std::less<>> tag_references;
};

Dictionary& dictionary() {
    static Dictionary instance;
    return instance;
}

dbd_tagreferencespec_t make_reference(const char* tag, const char* field) {
    dbd_tagreferencespec_t spec;
    std::memset(&spec, 0, sizeof spec);
    std::memcpy(spec.tag, tag, strnlen(tag, sizeof spec.tag - 1));
    std::memcpy(spec.field, field, strnlen(field, sizeof spec.field - 1));
    return spec;
}

}  // namespace

std::shared_ptr<const TableLayout> find_definition(const char* table_name) {
    if (table_name == nullptr) return nullptr;
    const Dictionary& dict = dictionary();
    const auto it = dict.tables.find(std::string_view(table_name));
    return it == dict.tables.end() ? nullptr : it->second;
}

}  // namespace table_store

using table_store::dictionary;
using table_store::make_reference;

int dbd_definevirtualtable(const dbd_tabledef_t* definition) {
    try {
        auto layout = std::make_shared<table_store::TableLayout>();
        if (!table_store::compile_table_layout(definition, layout.get())) return 1;
        auto& tables = dictionary().tables;
        const auto it = tables.find(layout->name);
        if (it != tables.end()) return *it->second == *layout ? 0 : 1;
        tables.emplace(layout->name, std::move(layout));
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbd_definetag(const dbd_tagdef_t* tag) {
    if (tag == nullptr || !table_store::is_valid_name(tag->name)) return 1;
    try {
        dictionary().tags[tag->name] = tag->description == nullptr ? "" : tag->description;
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

int dbd_definetabletagreferences(const char* table_name, const dbd_tagreference_t* refs,
                                 int32_t count) {
    const auto layout = table_store::find_definition(table_name);
    if (layout == nullptr || count < 0 || (count > 0 && refs == nullptr)) return 1;
    for (int32_t i = 0; i < count; ++i) {
        if (!table_store::is_valid_name(refs[i].tag)) return 1;
        if (layout->find_column(refs[i].field) < 0) return 1;
    }
    try {
        auto& list = dictionary().tag_references[layout->name];
        std::vector<dbd_tagreferencespec_t> grown;
        grown.reserve(list.size() + static_cast<size_t>(count) + 1);
        grown.assign(list.begin(), list.empty() ? list.end() : list.end() - 1);
        for (int32_t i = 0; i < count; ++i) {
            // Declaring the same reference again (a server that declares its tables at
            // every start) must not list it twice.
            const dbd_tagreferencespec_t ref = make_reference(refs[i].tag, refs[i].field);
            bool known = false;
            for (const dbd_tagreferencespec_t& have : grown) {
                known = known || (std::strcmp(have.tag, ref.tag) == 0 &&
                                  std::strcmp(have.field, ref.field) == 0);
            }
            if (!known) grown.push_back(ref);
        }
        grown.push_back(make_reference("", ""));
        list.swap(grown);
        return 0;
    } catch (const std::exception&) {
        return 1;
    }
}

namespace dbv {

const dbd_tagreferencespec_t* GetTableTagReferenceSpec(const char* table_name) {
    const auto layout = table_store::find_definition(table_name);
    if (layout == nullptr) return nullptr;
    static const dbd_tagreferencespec_t kEmptyList = make_reference("", "");
    const auto& refs = dictionary().tag_references;
    const auto it = refs.find(layout->name);
    // An entry left empty by a failed allocation counts as no references.
    return it == refs.end() || it->second.empty() ? &kEmptyList : it->second.data();
}

}  // namespace dbv
