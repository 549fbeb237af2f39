// The base tools' stream functions: stdio streams with two extra mode letters, 'c'
// (commit to disk on close) and 'z' (the data is a gzip stream on disk, transparent to
// callers, who keep using stdio on the returned FILE*).
#pragma once

#include <cstddef>
#include <cstdio>

// Opens `name` like fopen. `mode` starts with 'r', 'w' or 'a', followed by any of '+',
// 'b' or 't' (both mean binary here), 'x' (with 'w' only: fail when the file exists), 'c'
// and 'z', each at most once:
//   'c'  tool_fclose flushes the data and forces it to the disk before closing; if that
//        fails tool_fclose reports failure. Write "wbc", then rename, for a file that is
//        either the old or the complete new one.
//   'z'  reads or writes gzip-compressed data; reading a file that is not a complete,
//        valid gzip stream gives a read error or a short read. Not combinable with '+'.
//        fseek/ftell count uncompressed bytes; backward seeks work only when reading,
//        SEEK_END never.
// Returns the stream, or null when the file cannot be opened (errno from the system), is a
// directory (EISDIR) or the mode is not understood (EINVAL). Streams are opened close-on-exec.
// REQUIRES: a stream from tool_fopen is closed with tool_fclose (fclose skips the commit).
FILE* tool_fopen(const char* name, const char* mode);

// As fread/fwrite: the number of whole elements moved; 0 on failure. A null stream or
// buffer, a zero size or a size * count that overflows gives 0.
size_t tool_fread(void* buffer, size_t size, size_t count, FILE* stream);
size_t tool_fwrite(const void* buffer, size_t size, size_t count, FILE* stream);

// As fprintf: the number of characters written, or a negative value on failure (also for
// a null stream or format).
int tool_fprintf(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// As fflush: 0 on success, EOF on failure; a null stream flushes every output stream.
int tool_fflush(FILE* stream);

// Closes a stream from tool_fopen; for a 'c' stream the data is flushed and synced to the
// disk first. Returns 0 on success, EOF when any step failed (the stream is closed in
// every case) or `stream` is null.
int tool_fclose(FILE* stream);
