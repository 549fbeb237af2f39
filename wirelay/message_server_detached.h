// Socketless clients of a message server: their incoming bytes are fed in directly and
// the frames written to them go to a sink. The same reading and processing code runs as
// for connected clients; this is the seam for the fuzz target and for tests that need
// exact control over what arrives when.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wirelay/message_server.h"

namespace wrl {

// Receives every frame the server writes to a socketless client, whole.
typedef void (*FrameSink)(uint32_t client_id, const uint8_t* frame, size_t size, void* user);

// A server without a listening endpoint (wrl_msgsrv_run refuses it with WRL_EFAIL).
// WRL_OK or WRL_ENOMEM. Free it with wrl_msgsrv_close.
int CreateDetachedServer(FrameSink sink, void* user, wrl_msgsrv** out);

// Registers a new socketless client (unnamed, reading). WRL_OK or WRL_ENOMEM.
int AttachClient(wrl_msgsrv* server, uint32_t* client_id);

// Feeds bytes that arrived from the client, then sends what can be sent. WRL_OK, or the code
// that would end the message loop (WRL_ENOMEM). Bytes for a client that is gone are ignored.
int FeedClient(wrl_msgsrv* server, uint32_t client_id, const uint8_t* data, size_t size);

// Removes the client as a broken connection would. Like FeedClient, it ends with the
// check of the loop's idle moment that may call the release handler.
void DetachClient(wrl_msgsrv* server, uint32_t client_id);

// True while the client is registered.
bool HasClient(const wrl_msgsrv* server, uint32_t client_id);

// Number of messages in the server's queue.
size_t QueuedMessages(const wrl_msgsrv* server);

}  // namespace wrl
