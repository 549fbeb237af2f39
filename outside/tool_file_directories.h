// Directory helpers of the base tools: existence, listing by pattern and joining a
// directory with a subdirectory.
#pragma once

#include <string>
#include <vector>

// Non-zero when `path` names an existing directory; 0 otherwise (also for null).
int tool_exist_directory(const char* path);

// Appends to `names` the names in directory `dir` (regular files and directories, not "."
// or "..", sorted bytewise) that match `pattern`: '*' matches any run of characters, '?'
// one character, anything else itself (case-sensitive); "*.*" and "*" match every name,
// also names without a dot. A null or empty pattern matches everything.
// Returns the number of names appended, or -1 when the directory cannot be read (the list
// is then unchanged).
int tool_get_dir_files(std::vector<std::string>& names, const char* pattern, const char* dir);

// The directory that joins `dir` and `subdir` (a '/' between them unless `dir` already ends
// in '/' or '\'). An empty or null `subdir` gives `dir` unchanged; an empty or null `dir`
// gives "./" followed by `subdir`; both empty give "".
std::string tool_create_full_filename(const char* dir, const char* subdir);
