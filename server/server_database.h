// The server database: choosing, testing, reading and writing the database file that
// keeps the per-model id counters across restarts, and opening the whole database at
// start-up. File layout: the 18-byte header "KorvexServer  1.02", then the rows of
// old_common_model_101 and of common_model, each part closed by the end mark 12345679.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Format version written by this server, and the end mark after each table part.
inline constexpr double SRV_FILE_VERSION = 1.02;
inline constexpr int SRV_FILE_HEADER_SIZE = 18;
inline constexpr unsigned SRV_FILE_END_MARK = 12345679u;  // bytes 4F 61 BC 00 on disk

// Start-up: chooses the database file (find_database_file), declares and creates the
// tables, and reads the file. Returns 0 on success, non-zero when start-up must stop:
// no usable file location ("Fatal error: Unable to open database file!\n" on stderr, then
// a pause of server_state().fatal_pause_ms), the store refusing the database or a table,
// or a file that read_database_file rejects.
// REQUIRES: no "ServerDatabase" exists yet; `address` and `directory` NUL-terminated
// (directory may be null or empty for the current directory).
int open_server_database(const char* address, const char* directory);

// Chooses the database file: the base name is the address with ',', '.' and ':' from its
// second character on turned into '_', plus ".db"; candidate directories are `directory`
// (empty = current), then $QM_SERVER_DATABASE_DIRECTORY when set, then the current
// directory. The first candidate that passes test_database_file becomes
// server_state().database_file (absolute when it can be made so) and temporary_file.
// In test_mode each candidate is traced on stderr. Returns 0 when one passed, 1 otherwise
// (also for an empty address; a path longer than SRV_MAX_FILE_NAME never passes).
int find_database_file(const char* address, const char* directory);

// True when `path` can serve as the database file: an existing file that opens for
// appending (left unchanged), or a new one that can be created (deleted again at once).
// In test_mode the test is traced on stderr. A null path fails.
bool test_database_file(const char* path);

// Reads server_state().database_file into the tables. Missing file: success with empty
// tables. Returns 1 (no message) for a header that does not start with "KorvexServer",
// cannot be scanned as word and number, or carries a version above 1.02; otherwise 0,
// whatever happens to the table parts ("Error: corrupted db file: %s\n" for a wrong end
// mark). Runs convert_common_model_101 at the end.
// REQUIRES: the tables exist (srv_create_tables).
int read_database_file();

// The same on an open stream (any content: truncated, random or lying bytes never crash
// or hang). `display_name` names the file in messages. The stream is not closed.
int read_database_stream(FILE* stream, const char* display_name);

// Moves every old_common_model_101 row into common_model with ga_id and multi_drawing_id
// 0, then clears old_common_model_101.
void convert_common_model_101();

// Saves both counter tables: writes the temporary file and syncs it, then swaps it with the
// database file atomically (file_committer.h); from the second save of a run on, the
// temporary file is the previous database file, overwritten in place. Returns 0 on success; on any
// failure prints "Write failed: %s\n" (database file name) on stdout, leaves the previous file as
// it was, and returns 1.
int write_database_file();

// Asks for the counters to be saved before any reply of the current batch leaves, and holds
// the log from here on (log_hold_save_line): `saved_line` is this allocation's log line
// after a successful save.
void request_database_save(const std::string& saved_line);

// True while a requested save has not been made yet.
bool database_save_pending();

// Makes the requested save, if any: writes the file once for every allocation since the last
// commit, then writes the held log with each allocation's line ("Write failed: FILE" twice
// each when the save failed). Returns 0 when nothing was pending or the save worked, 1 when
// it failed (the previous file stays).
int commit_pending_save();

// While a save is pending: how many microseconds the server may wait for more allocations
// to join it (half of what the last save took, at most 2 ms), 0 otherwise. Clients that
// allocate in step then share one save instead of alternating between two.
int64_t save_gather_allowance_us();
