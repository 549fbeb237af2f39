// Directory helpers of the base tools on top of the platform layer.
#include "outside/tool_file_directories.h"

#include <cstring>

#include "port/files.h"
#include "port/paths.h"

namespace {

// Iterative wildcard match with one backtrack point: linear in practice, never recursive,
// so a hostile pattern cannot blow the stack.
bool matches(const char* pattern, const char* name) {
    const char* star = nullptr;
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

bool matches_everything(const char* pattern) {
    return pattern == nullptr || *pattern == '\0' || strcmp(pattern, "*") == 0 ||
           strcmp(pattern, "*.*") == 0;
}

}  // namespace

int tool_exist_directory(const char* path) {
    return port_directory_exists(path) ? 1 : 0;
}

int tool_get_dir_files(std::vector<std::string>& names, const char* pattern, const char* dir) {
    std::vector<std::string> all;
    if (port_list_directory(dir, all) < 0) return -1;
    int added = 0;
    const bool everything = matches_everything(pattern);
    for (std::string& name : all) {
        if (everything || matches(pattern, name.c_str())) {
            names.push_back(std::move(name));
            ++added;
        }
    }
    return added;
}

std::string tool_create_full_filename(const char* dir, const char* subdir) {
    const bool has_dir = dir != nullptr && *dir != '\0';
    const bool has_subdir = subdir != nullptr && *subdir != '\0';
    if (!has_subdir) return has_dir ? std::string(dir) : std::string();
    return port_join_path(has_dir ? dir : "", subdir);
}
