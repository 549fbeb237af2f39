// File finding: the lookup of one file in one directory, by cached listings or by opening
// it, and the walk along the application's search order.
#include "tools/file_finding.h"

#include <cstring>
#include <string>
#include <vector>

#include "outside/system_directories.h"
#include "outside/tool_file.h"
#include "outside/tool_file_directories.h"
#include "tools/file_exist_cache.h"
#include "tools/tool_dstring.h"

namespace tools {
namespace {

constexpr size_t kPathSize = kFindFilePathBufferSize;

char s_path_buffer[kPathSize];
char* s_last_used_file_name = nullptr;  // owned dynamic string

// A path formed on the stack; FindFile copies it into the shared buffer only when it is
// the answer, so a failed lookup leaves the earlier answer readable.
struct FormedPath {
    char text[kPathSize];
    size_t length = 0;

    bool append(const char* part, size_t n) {
        if (n >= kPathSize - length) return false;  // keep room for the terminating zero
        memcpy(text + length, part, n);
        length += n;
        text[length] = '\0';
        return true;
    }
    // `part` and a separator unless it already ends in one.
    bool append_directory(const char* part) {
        const size_t n = strlen(part);
        if (n == 0) return true;
        if (!append(part, n)) return false;
        const char last = part[n - 1];
        return last == '/' || last == '\\' || append("/", 1);
    }
};

// Forms "directory/subdirectory/file_name" (empty parts left out; an empty file name
// gives the empty path). False when the path does not fit: nothing may be done with a
// shortened path, which could name another file.
bool form_path(const char* file_name, const char* subdirectory, const char* directory,
               FormedPath* path) {
    path->length = 0;
    path->text[0] = '\0';
    if (*file_name == '\0') return true;
    return path->append_directory(directory) && path->append_directory(subdirectory) &&
           path->append(file_name, strlen(file_name));
}

const char* answer(const FormedPath& path) {
    memcpy(s_path_buffer, path.text, path.length + 1);
    return s_path_buffer;
}

FILE* open_and_record(const FormedPath& path, const char* mode) {
    tool_strcpy(&s_last_used_file_name, path.text);
    return tool_fopen(path.text, mode);
}

const char* text_or_empty(const char* text) {
    return text != nullptr ? text : "";
}

const char* find_file(const char* file_name, const char* subdirectory, const char* directory,
                      const char* open_mode, bool bypass_cache) {
    file_name = text_or_empty(file_name);
    subdirectory = text_or_empty(subdirectory);
    directory = text_or_empty(directory);
    const bool has_subdirectory = *subdirectory != '\0';

    FormedPath with_subdirectory;
    FormedPath in_directory;
    if ((has_subdirectory && !form_path(file_name, subdirectory, directory, &with_subdirectory)) ||
        !form_path(file_name, "", directory, &in_directory)) {
        return nullptr;
    }
    // Without a subdirectory the full directory is the directory itself; skipping the join
    // keeps cached lookups free of allocations.
    std::string joined;
    if (has_subdirectory) joined = tool_create_full_filename(directory, subdirectory);
    const char* full_directory = has_subdirectory ? joined.c_str() : directory;

    const bool reading = open_mode == nullptr || open_mode[0] == 'r';
    // Listings hold plain names: a name with a folder part in it ("cfg/a.txt", "../a.txt")
    // is looked up by opening, so the cache never changes an answer.
    const bool plain_name = strchr(file_name, '/') == nullptr;
    if (reading && !bypass_cache && plain_name && FileCacheDepth() > 0) {
        // As when opening, a file missing from an existing subdirectory is looked for in
        // the directory itself, so that the cache never changes an answer.
        if (has_subdirectory && FileCacheDirectoryExists(full_directory) &&
            FileCacheFileListed(full_directory, file_name)) {
            return answer(with_subdirectory);
        }
        return FileCacheDirectoryExists(directory) && FileCacheFileListed(directory, file_name)
                   ? answer(in_directory)
                   : nullptr;
    }

    const char* mode = open_mode != nullptr ? open_mode : "r";
    const FormedPath* found = nullptr;
    FILE* file = nullptr;
    if (has_subdirectory) {
        file = open_and_record(with_subdirectory, mode);
        if (file != nullptr) found = &with_subdirectory;
    }
    if (file == nullptr) {
        // A writing lookup must not create the file beside an existing subdirectory.
        if (!reading && has_subdirectory && FileCacheDirectoryExists(full_directory))
            return nullptr;
        file = open_and_record(in_directory, mode);
        if (file != nullptr) found = &in_directory;
    }
    if (file == nullptr) return nullptr;
    tool_fclose(file);
    return answer(*found);
}

}  // namespace

const char* FindFile(const char* file_name, const char* subdirectory, const char* directory,
                     const char* open_mode, bool bypass_cache) {
    try {
        return find_file(file_name, subdirectory, directory, open_mode, bypass_cache);
    } catch (...) {  // std::bad_alloc while joining directories
        return nullptr;
    }
}

const char* FindSystemFile(const char* file_name, const char* subdirectory, const char* open_mode,
                           bool bypass_cache) {
    try {
        std::vector<std::string> order = {sysSystemDirectories_c::GetModelDirectory(),
                                          sysSystemDirectories_c::GetProjectDirectory(),
                                          sysSystemDirectories_c::GetFirmDirectory()};
        for (std::string& dir : sysSystemDirectories_c::GetQmSystemDirectories())
            order.push_back(std::move(dir));
        for (const std::string& dir : order) {
            // An unset directory would otherwise mean the process's current directory.
            if (dir.empty()) continue;
            const char* path =
                find_file(file_name, subdirectory, dir.c_str(), open_mode, bypass_cache);
            if (path != nullptr) return path;
        }
    } catch (...) {  // std::bad_alloc
    }
    return nullptr;
}

const char* GetLastUsedFileName() {
    return s_last_used_file_name != nullptr ? s_last_used_file_name : "";
}

int StartFileExistenceCaching() {
    return FileCacheStart();
}

int StopFileExistenceCaching() {
    return FileCacheStop();
}

}  // namespace tools
