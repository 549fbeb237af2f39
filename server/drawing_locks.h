// Drawing locks (table drawinglocks): records of which user has which drawing of a model
// in which status (1, 2 or 3). The server never refuses one; it reports conflicting ones
// on request. Status 2 becomes 3 when its holder reports a save; statuses 1 and 2 go
// when their holder leaves, status 3 stays until the last client leaves.
// Model and user names given as `const char*` must be NUL-terminated; fields of rows
// passed in need no terminator (they are read only up to their size).
#pragma once

#include <cstddef>
#include <cstdint>

#include "server/server_rows.h"

// Records `user`'s lock of body.DrawingName in body.LockStatus with body.ModId: body's
// ModelName, UserName and TimeStamp are set to `model`, `user` and now. A row with the
// same model, drawing, user and status is updated (TimeStamp, ModId) instead of doubled.
// 1 when stored (body then holds the row as stored), 0 when the store refused.
int record_drawing_lock(const char* model, const char* user, drawinglocks_row& body);

// Removes `user`'s lock (model, body.DrawingName, body.LockStatus). 1 removed, 0 none.
int remove_drawing_lock(const char* model, const char* user, const drawinglocks_row& body);

// The strongest lock of another user on (model, body.DrawingName), measured against the
// asker's body.LockStatus and body.ModId: higher status wins, among equals the later row
// with a ModId at least as high; a status 3 lock counts only with a ModId above the
// asker's. When found, body's UserName, TimeStamp, ModId and LockStatus become that
// lock's and the result is 1; otherwise 0 and body is unchanged.
int check_drawing_lock_status(const char* model, const char* user, drawinglocks_row& body);

// The distinct drawing names `user` holds (in any model) in the status class of `status`
// (1: status 1; above 1: statuses 2 and 3; 0 or below: status 0), sorted in natural order
// and joined with ", "; when the next name would bring the text to 251 characters or
// more, ", ..." ends it. Writes the text (at most 255 characters, terminated) into `text`
// and returns 1; with no name writes "" and returns 0. `text` may overlap `user` (it is
// written last).
// REQUIRES: text_size >= 256.
int locked_drawing_names(const char* user, int32_t status, char* text, size_t text_size);

// The same with the user and status of a request's drawing lock row; `text` may be the
// very memory of `request` (both are read before the text is written).
// REQUIRES: text_size >= 256.
int locked_drawing_names(const drawinglocks_row& request, char* text, size_t text_size);

// After `user` saved `model` at `save_time`: of the user's status 2 and 3 rows of that
// model only the first per drawing name stays, and those of drawings that had a status 2
// row become status 3 with TimeStamp = save_time. Returns the number of rows promoted.
int promote_drawing_locks_after_save(const char* model, const char* user, int32_t save_time);

// Deletes every drawing lock of `user` (all models) whose status is 2 or below; rows of a
// higher status stay, whatever the order of the rows. Returns the number deleted.
int drop_user_drawing_locks(const char* user);

// Deletes every drawing lock of status `status`. Returns the number deleted.
int drop_drawing_locks_with_status(int32_t status);
