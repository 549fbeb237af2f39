// The file-existence cache on the hash table: a table of directory paths to existence
// (1 or -1), and a table of directory paths to listing tables whose keys and values are
// the same owned copy of each file name. Bucket counts suit a burst of lookups over a
// handful of directories with up to some thousands of files each.
#include "tools/file_exist_cache.h"

#include <cstdint>
#include <string>
#include <vector>

#include "outside/tool_file_directories.h"
#include "port/files.h"
#include "port/paths.h"
#include "tools/tool_dstring.h"
#include "tools/tool_hash.h"

namespace tools {
namespace {

constexpr uint64_t kDirectoryBuckets = 100;
constexpr uint64_t kListingBuckets = 1000;
constexpr intptr_t kExists = 1;
constexpr intptr_t kMissing = -1;

int s_caching_count = 0;
tool_hash_s* s_directory_exists = nullptr;
tool_hash_s* s_directory_listings = nullptr;

void destroy_listing(void* value_address, void* /*user*/) {
    auto** listing = static_cast<tool_hash_s**>(value_address);
    // Key and value are one block: free it once, through the key.
    tool_hash_destroy(listing, tool_hash_stringfree, nullptr, nullptr);
}

// A listing of the files in `directory`, or null when memory ran out.
tool_hash_s* read_listing(const char* directory) {
    tool_hash_s* listing = tool_hash_create(kListingBuckets, tool_hash_string, tool_hash_stringcmp);
    if (listing == nullptr) return nullptr;
    try {
        std::vector<std::string> names;
        tool_get_dir_files(names, "*.*", directory);  // unreadable: stays empty
        for (const std::string& name : names) {
            if (port_directory_exists(port_join_path(directory, name).c_str())) continue;
            char* copy = tool_strdup(name.c_str());
            if (copy == nullptr || !tool_hash_insert(listing, copy, copy)) {
                tool_strfree(&copy);
                tool_hash_destroy(&listing, tool_hash_stringfree, nullptr, nullptr);
                return nullptr;
            }
        }
    } catch (...) {  // std::bad_alloc from the name list
        tool_hash_destroy(&listing, tool_hash_stringfree, nullptr, nullptr);
        return nullptr;
    }
    return listing;
}

// Without memory for a listing the answer comes straight from the file system, which is
// what the listing would have said.
bool file_exists_uncached(const char* directory, const char* name) {
    try {
        const std::string path = port_join_path(directory, name);
        return port_file_exists(path.c_str());
    } catch (...) {
        return false;
    }
}

}  // namespace

int FileCacheStart() {
    if (s_directory_exists == nullptr)
        s_directory_exists =
            tool_hash_create(kDirectoryBuckets, tool_hash_string, tool_hash_stringcmp);
    ++s_caching_count;
    return s_directory_exists != nullptr ? 1 : 0;
}

int FileCacheStop() {
    --s_caching_count;
    if (s_caching_count > 0) return 1;
    s_caching_count = 0;
    const int destroyed =
        tool_hash_destroy(&s_directory_exists, tool_hash_stringfree, nullptr, nullptr);
    tool_hash_destroy(&s_directory_listings, tool_hash_stringfree, destroy_listing, nullptr);
    return destroyed;
}

int FileCacheDepth() {
    return s_caching_count;
}

bool FileCacheDirectoryExists(const char* path) {
    if (path == nullptr || *path == '\0') return false;
    if (s_directory_exists != nullptr) {
        const auto known = reinterpret_cast<intptr_t>(tool_hash_find(s_directory_exists, path));
        if (known != 0) return known == kExists;
    }
    const bool exists = tool_exist_directory(path) != 0;
    if (s_directory_exists != nullptr) {
        char* key = tool_strdup(path);
        // Without memory the answer is simply not remembered.
        if (key != nullptr &&
            !tool_hash_insert(s_directory_exists, key,
                              reinterpret_cast<void*>(exists ? kExists : kMissing))) {
            tool_strfree(&key);
        }
    }
    return exists;
}

bool FileCacheFileListed(const char* directory, const char* name) {
    if (s_directory_listings == nullptr) {
        s_directory_listings =
            tool_hash_create(kDirectoryBuckets, tool_hash_string, tool_hash_stringcmp);
        if (s_directory_listings == nullptr) return file_exists_uncached(directory, name);
    }
    auto* listing = static_cast<tool_hash_s*>(tool_hash_find(s_directory_listings, directory));
    if (listing == nullptr) {
        listing = read_listing(directory);
        char* key = tool_strdup(directory);
        if (listing == nullptr || key == nullptr ||
            !tool_hash_insert(s_directory_listings, key, listing)) {
            tool_strfree(&key);
            tool_hash_destroy(&listing, tool_hash_stringfree, nullptr, nullptr);
            return file_exists_uncached(directory, name);
        }
    }
    return tool_hash_find(listing, name) != nullptr;
}

int FileCacheListedDirectoryCount() {
    int count = 0;
    void* key = nullptr;
    void* value = nullptr;
    for (int more = tool_hash_first(s_directory_listings, &key, &value); more;
         more = tool_hash_next(s_directory_listings, &key, &value)) {
        ++count;
    }
    return count;
}

}  // namespace tools
