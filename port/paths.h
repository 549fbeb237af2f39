// Path text helpers: joining a directory and a name, the absolute form of a path and
// the directory part of a path. '/' is the separator; a directory already ending in
// '/' or '\' gets none added, so paths written for either convention join cleanly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Joins `dir` and `name`: `dir`, a '/' unless `dir` already ends in '/' or '\', then
// `name`. An empty `dir` means the current directory and gives "./" followed by `name`.
std::string port_join_path(std::string_view dir, std::string_view name);

// Writes the absolute form of `path` into `out` (NUL-terminated): a relative path is
// prefixed with the current directory; "." components and repeated '/' are dropped.
// ".." components are kept, since a symbolic link makes a textual ".." unsafe to fold.
// The file need not exist.
// REQUIRES: `out` points to `out_size` writable bytes.
// Returns false, leaving `out` an empty text when out_size > 0, when `path` is null or
// empty, the current directory is unknown, or the result (with its NUL) does not fit.
bool port_absolute_path(const char* path, char* out, size_t out_size);

// The directory part of `path`: everything before its last '/'. A path without '/' gives
// ".", a path whose only '/' is the first character gives "/". Trailing '/' characters
// are ignored ("a/b/" gives "a").
std::string port_directory_of(std::string_view path);
