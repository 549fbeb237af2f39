// Finding the application's settings and data files by name along its directories: one
// directory (optionally with a subdirectory), or the whole search order of model, project,
// company and system directories. Around a burst of lookups the application can switch on
// the file-existence cache, so that reading lookups answer from directory listings read
// once instead of opening files.
//
// Paths use '/' as the separator; a directory or subdirectory that already ends in '/'
// (or '\') gets none added. All state is process-wide and unguarded: call from one thread
// at a time.
#pragma once

#include "dbv/common_export.h"

namespace tools {

// The longest path (with its terminating zero) that FindFile forms and returns.
constexpr int kFindFilePathBufferSize = 1024;

// Looks for `file_name` in `directory`, first inside its `subdirectory` when one is given.
// Absent texts count as empty; an absent open mode means "r".
//
// With the cache in use, a reading mode (absent or starting with 'r'), `bypass_cache`
// false and a file name without '/', nothing is opened: the file is looked up in the
// listings of the subdirectory (when given and existing) and then of the directory itself,
// which gives the same answers as opening for reading (directories are not files).
// Otherwise the candidates are opened with `open_mode` (and closed again), the one with
// the subdirectory first; each attempt becomes the last used file name. A writing mode
// does not fall back to the directory itself when the subdirectory exists. NOTE: opening
// with a writing mode creates the file (and "w" empties it), so a lookup in a writing mode
// leaves a file behind at the returned path.
//
// Returns the path found ("directory/subdirectory/file_name" or "directory/file_name"), or
// null when there is none. The path lives in a buffer shared by every call and stays
// valid until the next call; copy it. When a path that the call would form does not fit
// in kFindFilePathBufferSize bytes the call is refused: null, nothing opened or created,
// and the buffer and the last used file name keep their earlier contents.
COMMON_EXPORT const char* FindFile(const char* file_name, const char* subdirectory,
                                   const char* directory, const char* open_mode, bool bypass_cache);

// FindFile along the search order until one gives a path: the model directory, the
// project directory, the company directory, then each system directory in its order
// (sysSystemDirectories_c). Directories that are not set (empty) are skipped. Returns the
// first path found (in FindFile's shared buffer), or null.
COMMON_EXPORT const char* FindSystemFile(const char* file_name, const char* subdirectory,
                                         const char* open_mode, bool bypass_cache);

// The path of FindFile's most recent open attempt; the empty text when there was none.
// Valid until the next FindFile call.
COMMON_EXPORT const char* GetLastUsedFileName();

// Switches the file-existence cache on, or nests once more. Returns 1 when the cache's
// directory table exists afterwards, else 0. Each call needs its own
// StopFileExistenceCaching.
COMMON_EXPORT int StartFileExistenceCaching();

// Ends one StartFileExistenceCaching. While the cache stays in use, 1. When it ends (also
// for a stop without a start, which leaves the depth at 0) every cached answer is thrown
// away; 1 when there was a directory table to destroy, else 0.
COMMON_EXPORT int StopFileExistenceCaching();

}  // namespace tools
