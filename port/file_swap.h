// Files that are rewritten in place and then swapped with another name in one atomic step:
// the platform calls behind a save that syncs only the data of a file whose size stays the
// same, instead of creating, allocating and syncing a new file every time.
// Failures are reported by return value with errno as the failing call left it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// A file or directory handle of this layer; kNoHandle is none.
using port_handle = int;
inline constexpr port_handle kNoHandle = -1;

// Opens `path` for reading and writing without following a symbolic link. With `create` the
// file must not exist yet and is made new (mode 0666 less the umask); without it the file
// must exist, be a regular file and have no other name (another name would see the
// rewrites). Returns the handle, or kNoHandle (a refused existing file: EINVAL).
port_handle port_open_rewritable(const char* path, bool create);

// Makes the file of `handle` hold exactly `size` bytes of `data` (written from the start,
// the file cut when it was longer) and forces them to the disk. Only the data and what is
// needed to read it back are synced: when the size stays, no name or time stamp is.
// With `directory_sync_follows` the caller promises a port_sync_directory of the file's
// directory (after a swap of names, say) before anything relies on the new data: where that
// directory flush is known to flush every write finished before it (a journalling file
// system flushes the disk's cache before it commits), a rewrite of the same size is then
// only written out and waited for here, and made durable by that one flush.
// REQUIRES: `handle` from port_open_rewritable; `data` points at `size` bytes.
// Returns 0 on success, -1 on failure (the file's content is then undefined).
int port_rewrite_file(port_handle handle, const void* data, size_t size,
                      bool directory_sync_follows = false);

// Swaps the files named `a` and `b` in one atomic step: each name afterwards names the
// other's file, and no moment exists where either name is missing.
// REQUIRES: both names in the same file system.
// Returns 0 on success; -1 on failure with nothing changed (ENOENT: a name is missing;
// ENOSYS or EINVAL: the platform or file system cannot swap, use a rename instead).
int port_exchange_files(const char* a, const char* b);

// Opens the directory `dir` so that its entries can be synced (port_sync_directory).
// Returns the handle, or kNoHandle.
port_handle port_open_directory(const char* dir);

// Forces the entries of the directory of `handle` (renamed, swapped, removed names) to the
// disk. A file system that cannot sync directories (EINVAL) counts as success.
// Returns 0 on success, -1 on failure.
int port_sync_directory(port_handle handle);

// Closes a handle of this layer; kNoHandle is ignored.
void port_close_handle(port_handle handle);

// Runs `write` on a stdio stream whose bytes are collected in memory, then puts them into
// `out`. Returns true when `write` returned true and the stream worked; `out` is then the
// bytes written, otherwise it is left empty.
bool port_write_to_memory(bool (*write)(FILE* stream, void* context), void* context,
                          std::string& out);
