// Handling of one request message of the multiuser server: the sender's user row is kept
// current, the request named by the record's `query` is performed on the server's tables,
// `result`, `error` and the body are written back into the record, and the log lines go
// to standard output. The message-server callback around it lives in request_callback.h.
#pragma once

#include <cstdint>

#include "protocol/cdb_request.h"

// Performs `request` for the client `sender` (the name it identified under; may be empty)
// and writes the outcome into `request`. Prints the "Message ..." line, the lines of the
// operations and the "result %d" line (or "Unknown message" for a code outside 1 to 25).
// Text fields of the record and its body need not be terminated: they are read only up to
// their size. REQUIRES: the server database is open (open_server_database).
void perform_request(cdb_request& request, const char* sender);

// Handles one message payload in place: prints
// "qm_server: received message from %s to %s prio %d len %d\n", then performs the record
// when `length` covers a whole cdb_request (the bytes past it are left alone). Returns the
// status for the acknowledgement: 0 when performed (the changed bytes are the reply),
// 8 ("rejected") for a payload shorter than a request, which is neither read nor answered.
// REQUIRES: `data` points at `length` writable bytes (may be null when length is 0).
uint32_t process_request_payload(const char* to, const char* from, int32_t priority,
                                 unsigned char* data, uint32_t length);
