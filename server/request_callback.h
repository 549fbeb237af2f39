// The server's three message-server callbacks: requests (handle_request) and the client
// connect and disconnect notices, and their registration on a message server.
#pragma once

#include "wirelay/message_server.h"

// Message handler: performs the request record carried by `request` and addresses the
// changed record, as `reply`, to the request's destination name. Returns the status of
// the acknowledgement: 0, 8 for a payload shorter than a request (nothing performed, no
// reply), 3 when the reply cannot be allocated. A destination that names no connected
// client leaves the reply without a recipient; the message server then acknowledges 7.
int handle_request(wrl_msg* request, wrl_msg* reply, void* user);

// Registers handle_request, the client bookkeeping's connect and disconnect handlers and an
// idle handler that writes out the buffered log, each with a null user pointer.
void register_server_handlers(wrl_msgsrv* server);
