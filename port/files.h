// Committed file writes and small file-system queries for the layers above.
// Everything here is a thin wrapper over POSIX calls; failures are reported by return
// value with errno left as the failing call set it, never by exceptions.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Flushes the stdio buffer of `stream` and then forces the file's data to the disk.
// REQUIRES: `stream` was opened on a file descriptor (fopen/fdopen); a stream without one
// (a cookie stream) fails with EBADF.
// Returns 0 on success, -1 on failure (null stream: EINVAL).
int port_fsync_stream(FILE* stream);

// Forces the directory entries of `dir` (a created, renamed or removed name) to the disk.
// A file system that cannot sync directories (EINVAL) counts as success.
// Returns 0 on success, -1 on failure (null or empty `dir`: EINVAL).
int port_fsync_directory(const char* dir);

// Renames `from` to `to` in one atomic step, replacing an existing `to`, then syncs the
// directory of `to` so that the new name survives a crash.
// REQUIRES: both names on the same file system; `from` has been written and synced.
// Returns 0 on success; -1 when the rename failed (nothing changed); -2 when the rename
// happened but the directory could not be synced (`to` holds the new file already).
int port_replace_file(const char* from, const char* to);

// True when `path` names an existing entry that is not a directory (a regular file, a
// device, a fifo; symbolic links are followed). False for a null path.
bool port_file_exists(const char* path);

// Removes the file `path` (never a directory).
// Returns 0 on success, -1 on failure (null path: EINVAL).
int port_remove_file(const char* path);

// True when `path` names an existing directory (symbolic links are followed).
bool port_directory_exists(const char* path);

// Opens `path` for binary reading only when it is a regular file: a named pipe, device or
// directory is refused at once (never waited on). The stream is close-on-exec; close it
// with fclose. Null on failure (errno set; EINVAL for a file that is not regular).
FILE* port_open_regular_file(const char* path);

// Appends to `names` the names of the regular files and directories that `dir` holds,
// without "." and "..", sorted bytewise. Symbolic links count as what they point to;
// other entries (sockets, devices, dangling links) are left out.
// Returns the number of names appended, or -1 when `dir` cannot be read (`names` is then
// unchanged).
int port_list_directory(const char* dir, std::vector<std::string>& names);
