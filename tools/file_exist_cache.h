// The file-existence cache of the file finder: while it is on, whether a directory exists
// and which files it holds are read from the file system once and then answered from
// memory. Directory listings are never refreshed while the cache stays on: a file created
// after its directory was listed is not seen until the cache ends. Internal to the file
// finder (nothing here is exported); process-wide, unguarded, for one thread at a time.
#pragma once

namespace tools {

// Turns the cache on, or nests once more when it is on already (the directory-existence
// table is created when it is missing). 1 when the directory-existence table exists
// afterwards, 0 when it could not be created (lookups then ask the file system each time).
int FileCacheStart();

// Ends one nesting level. While levels remain, 1. When the last one ends (or when there
// was none; the depth never goes below 0) every cached answer is thrown away: 1 when the
// directory-existence table was there to destroy, else 0.
int FileCacheStop();

// The nesting depth: the cache is in use while it is above 0.
int FileCacheDepth();

// True when `path` names an existing directory. With the directory-existence table the
// first answer for a path is kept and given again; without it the file system is asked.
// A null or empty path does not exist.
bool FileCacheDirectoryExists(const char* path);

// True when `directory` held a file called `name` when the directory was first listed
// while the cache was on. Directories inside it do not count as files (opening one for
// reading fails, and cached answers must agree with opening). An unreadable directory is
// listed as empty. Names and paths compare byte for byte.
// REQUIRES: the cache is in use (FileCacheDepth() > 0); `directory` and `name` not null.
bool FileCacheFileListed(const char* directory, const char* name);

// The number of directories listed so far in this caching period (for tests).
int FileCacheListedDirectoryCount();

}  // namespace tools
