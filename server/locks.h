// Model and object locks (table lock, nestable by their holder) and guid locks (table
// object_lock, not nestable). Each operation returns the request's `result`; a refused
// table operation shows as 0. Names compare byte for byte. All texts are NUL-terminated
// and are cut to their field size less one when stored; fields of rows passed in need no
// terminator (they are read only up to their size).
#pragma once

#include <cstdint>

#include "server/server_rows.h"

// Takes the lock (model, object_id) for `user`; object 0 is the model's database lock.
// Granted (1) when free or already held by `user` (nesting count + 1); 0 when another user
// holds it. Prints "%s\n" with the model name.
int lock_model_object(const char* model, const char* user, int32_t object_id);

// Releases one nesting level of `user`'s lock. 1 when released; 0 when there is no such
// lock, it is free, or someone else holds it (nothing changes then). The row stays.
// Prints "%s\n" with the model name.
int unlock_model_object(const char* model, const char* user, int32_t object_id);

// The nesting count of `user`'s lock (model, object_id); 0 when `user` does not hold it.
// Prints "%s\n" with the model name.
int confirm_model_object_lock(const char* model, const char* user, int32_t object_id);

// The database lock requests: lock_model_object(model, user, 0), and after a grant the
// user's LockedTime becomes now. Returns the grant (1/0).
int lock_database(const char* model, const char* user);

// unlock_model_object(model, user, 0), then the user's LockedTime becomes 0 whatever the
// outcome. Returns 1 released, 0 not.
int unlock_database(const char* model, const char* user);

// Sets LockedTime of `user`'s multiusers row (now after a granted database lock, 0 after
// a database unlock). Returns 1, or 0 after printing
// "Error: could not update multiuser locked timestamp\n" when the row is missing or the
// update is refused.
int set_user_locked_time(const char* user, int32_t locked_time);

// Who holds the database lock of `model`: when it is held, the holder's name goes into
// body.UserName and the holder's multiusers row is looked up into `body` (the whole row);
// the result is 1 when that row exists. 0 when the lock is free (`body` untouched, *held
// false) or when the holder has no user row any more (*held true: body.UserName carries the
// holder's name, the other fields are as passed in); the request then keeps the result the
// client sent. `held` may be null.
int model_lock_holder(const char* model, multiusers_row& body, bool* held = nullptr);

// Guid locks; the guid is cut to 38 characters, the holder (`request.client_name`) to 81.
// Lock: 1 when taken or already held by the holder, 0 when held by someone else.
int guid_lock(const object_lock_row& request);
// Unlock: 1 when freed or nothing to do (unknown guid, already free); 0 when someone
// else holds it. The row stays.
int guid_unlock(const object_lock_row& request);
// Check: always 1. `request.locked` becomes the stored `locked` when another holder's row
// exists, 0 when the row is the holder's own, and stays as sent for an unknown guid.
int guid_check(object_lock_row& request);
