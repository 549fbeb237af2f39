// Who is connected and who works on which model: the count of connected clients and one
// multiusers row per user; also the removal of a user (kick) and the cleanup when a
// client leaves. Log lines go to stdout. Names given as `const char*` must be
// NUL-terminated; fields of rows passed in need no terminator.
#pragma once

#include <cstdint>

#include "server/server_rows.h"

// Before each request that names a model: creates `user`'s row (LoginTime and
// LastAccessTime now, LastSaveTime and LockedTime 0) or sets its ModelName to `model` and
// LastAccessTime to now. Returns 1, or 0 after "Error: could not update multiuser table\n".
int touch_user_row(const char* model, const char* user);

// `user` reports a completed save of `model`: body.UserName becomes `user`, body becomes
// the user's row with LastSaveTime and LastAccessTime now (stored), then the user's
// drawing locks of `model` are promoted. 1 done; 0 after
// "Error: could not update multiuser save timestamp\n" (no row or update refused).
int record_save(const char* model, const char* user, multiusers_row& body);

// Walks the users in table order: with an empty body.UserName the first row, otherwise
// the row after the one named body.UserName is copied into body and the result is 1;
// 0 when there is none (body then means nothing).
int next_user_row(multiusers_row& body);

// The number of users whose ModelName is `model`.
int32_t count_model_users(const char* model);

// Removes `user` from `model`: drops its drawing locks up to status 2, frees every nesting
// level of its database lock of `model` (its other locks stay) and deletes its user row.
// Always 1.
int kick_user(const char* model, const char* user);

// The same for the user named in a request's user row (body.UserName).
int kick_user(const char* model, const multiusers_row& body);

// Connect handler of the message server: "Client '%s' connected.\n", counts the client.
// Returns 0 (the status of the identify reply). `user_data` is unused.
int client_connected(const char* name, void* user_data);

// Disconnect handler: "Client '%s' disconnected.\n"; drops the client's drawing locks up
// to status 2 and its user row. When it was the last client, also deletes the database
// file, drops every drawing lock and prints "No one is connected, clearing the database\n".
// Model, object and guid locks stay. Returns 0 (the message server ignores it).
int client_disconnected(const char* name, void* user_data);
