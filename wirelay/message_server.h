// The message server: listens at one transport address, accepts clients, reads whole
// frames from each, keeps a registry of the clients by the name each announces, hands
// every normal message to one handler (or relays it to the client named as its
// destination) and writes acknowledgements and replies back in priority order.
// Everything runs on the thread that calls wrl_msgsrv_run; the handlers are called there.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wirelay/address.h"

// Bytes that answers waiting in the queue may hold for one client, each frame counted with
// the record that carries it. A client that lets more pile up (it sends requests but does
// not read the answers) is removed, together with what waits for it, so that no client can
// make the server's memory grow without bound.
constexpr size_t WRL_MAX_BACKLOG = size_t{64} << 20;
// The same allowances for all clients together, so that many clients each within their own
// allowance cannot exhaust memory either: bytes held by answers waiting to be written to
// any client (counted as above), and bytes of frames being received (a frame's block is
// taken when its header arrives, up to WRL_MAX_PAYLOAD). The client whose frame would take
// a total above its limit is removed; the others and the server go on.
constexpr size_t WRL_MAX_BACKLOG_TOTAL = size_t{32} << 20;
constexpr size_t WRL_MAX_RECEIVING_TOTAL = size_t{32} << 20;

struct wrl_msgsrv;  // the server
struct wrl_msg;     // a message (request or reply) as the handlers see it

// Called for every normal message with a prepared reply (the request's header and names,
// no payload, no recipients). The result is the status of the acknowledgement, which
// leaves ahead of the reply; a status other than WRL_OK discards the reply, and WRL_OK with
// no connected addressee becomes WRL_EUNKNOWN ("unknown client").
typedef int (*wrl_msghandler_t)(wrl_msg* request, wrl_msg* reply, void* user);
// Called when a client has identified under `name`; the result is the identify reply's
// status (the client keeps the name whatever it is).
typedef int (*wrl_connecthandler_t)(const char* name, void* user);
// Called when an identified client goes away.
typedef void (*wrl_disconnecthandler_t)(const char* name, void* user);
// Called when the loop has handled everything that has arrived so far and is about to wait
// for more: the moment to write out what the handlers buffered (log lines, say) in one go.
typedef void (*wrl_idlehandler_t)(void* user);
// Called after the loop has handled the messages that were ready and before it writes out
// what they queued: whatever the replies report (an allocated id, say) can be made durable
// here once for the whole batch, and no reply leaves before it returns.
typedef void (*wrl_batchhandler_t)(void* user);
// Called when the loop has handled what was ready, before the batch handler, while some
// clients answered in the previous batch have not sent again: returns how many microseconds
// the loop may wait for them (0: not at all). Clients working in step (each sends its next
// request when its answer arrives) then share the batch handler's work -- one disk flush,
// say -- instead of splitting into two groups that alternate. Meant for batches whose
// handler work is costly: a wait only pays when it is shorter than that work.
typedef int64_t (*wrl_gatherhandler_t)(void* user);
// Called on the loop's thread, at a moment when nothing is ready to be handled, once the
// bytes held for clients (both totals together) have fallen at least 4 MiB below their
// highest since the previous call: memory was freed in bulk (a client that never read its
// answers was removed, a burst was written out), and now is the time to give it back to
// the system.
typedef void (*wrl_releasehandler_t)(void* user);
// Called for every accepted network connection with the peer's address: family 4 and 4
// bytes (an IPv4-mapped IPv6 peer counts as IPv4) or family 6 and 16 bytes, in network
// order. Returning false closes the connection at once, before anything is read from it.
typedef bool (*wrl_peerfilter_t)(int family, const uint8_t* address, void* user);

extern "C" {

// Creates a server listening at the address text (e.g. "tcpip:localhost,1238").
// WRL_OK; WRL_ENOMEM for memory; WRL_EADDRINUSE when the port is in use; WRL_EFAIL otherwise
// (bad address, transport failure). On failure *out is null and nothing stays allocated.
int wrl_msgsrv_create(const char* address, wrl_msgsrv** out);

// As wrl_msgsrv_create with a parsed address; port 0 picks a free port (wrl_msgsrv_port).
int wrl_msgsrv_createat(const wrl_address* address, wrl_msgsrv** out);

// The port the server listens on, -1 when unknown.
int wrl_msgsrv_port(const wrl_msgsrv* server);

// Handler setters; a null function removes the handler. REQUIRES: not while the loop runs
// on another thread.
void wrl_msgsrv_setmsghandler(wrl_msgsrv* server, wrl_msghandler_t handler, void* user);
void wrl_msgsrv_setconnecthandler(wrl_msgsrv* server, wrl_connecthandler_t handler, void* user);
void wrl_msgsrv_setdisconnecthandler(wrl_msgsrv* server, wrl_disconnecthandler_t handler,
                                     void* user);
void wrl_msgsrv_setidlehandler(wrl_msgsrv* server, wrl_idlehandler_t handler, void* user);
void wrl_msgsrv_setbatchhandler(wrl_msgsrv* server, wrl_batchhandler_t handler, void* user);
void wrl_msgsrv_setgatherhandler(wrl_msgsrv* server, wrl_gatherhandler_t handler, void* user);
void wrl_msgsrv_setpeerfilter(wrl_msgsrv* server, wrl_peerfilter_t filter, void* user);
void wrl_msgsrv_setreleasehandler(wrl_msgsrv* server, wrl_releasehandler_t handler, void* user);

// Other totals than WRL_MAX_BACKLOG_TOTAL and WRL_MAX_RECEIVING_TOTAL (for tests, and for
// servers with less memory). REQUIRES: before wrl_msgsrv_run, with no client connected.
void wrl_msgsrv_setlimits(wrl_msgsrv* server, size_t backlog_total, size_t receiving_total);

// Runs the message loop. Returns only with the code that ended it: WRL_ENOMEM out of memory,
// WRL_EFAIL a failure of the transport, WRL_ESHUTDOWN after wrl_msgsrv_stop. A client's own
// trouble never ends it: a broken connection, a frame with a wrong magic or version (an
// identify gets a 24-byte reply with status WRL_EPROTOCOL or WRL_EVERSION first), a payload
// above WRL_MAX_PAYLOAD or more than WRL_MAX_BACKLOG waiting unread for it remove that
// client, and so does a frame that takes the totals above their limits (see
// WRL_MAX_BACKLOG_TOTAL); failed accepts are retried.
int wrl_msgsrv_run(wrl_msgsrv* server);

// Asks a running (or the next) wrl_msgsrv_run to return WRL_ESHUTDOWN. Safe from any thread.
void wrl_msgsrv_stop(wrl_msgsrv* server);

// Closes every client (no disconnect handler calls), the listening endpoint and its I/O
// core, and frees the server. REQUIRES: the loop is not running. Null is ignored.
void wrl_msgsrv_close(wrl_msgsrv* server);

// Reads a message's destination and sender names, priority, payload and its length; any
// out-pointer may be null. Names and payload stay owned by the message and live until the
// handler returns; the payload may be changed in place.
void wrl_msgsrv_getmsg(wrl_msg* msg, const char** to, const char** from, int32_t* priority,
                       void** payload, uint32_t* length);

// Sets the names (each cut to 32 characters), the priority and a fresh copy of `length`
// bytes of `payload` (none for length 0). WRL_OK; WRL_ENOMEM when the copy cannot be
// allocated; WRL_EFAIL for a length above WRL_MAX_PAYLOAD or a null payload with a non-zero
// length.
int wrl_msgsrv_setmsg(wrl_msg* msg, const char* to, const char* from, int32_t priority,
                      const void* payload, uint32_t length);

// Addresses the message to the client of that name. WRL_OK; WRL_EFAIL for an empty name;
// WRL_ENOMEM for memory.
int wrl_msgsrv_addrecipient(wrl_msg* msg, const char* name);

// Removes every recipient entry with that name. Returns WRL_OK.
int wrl_msgsrv_removerecipient(wrl_msg* msg, const char* name);

// Counts the queued messages of priority >= min_priority (walking the queue from its
// head while the priority holds) of which the named client is a recipient.
// WRL_OK, or WRL_EUNKNOWN when no client has that name.
int wrl_msgsrv_countmsgs(wrl_msgsrv* server, const char* name, int32_t min_priority,
                         uint32_t* count);

// Name text of a message kind, "unknown" for numbers not in the kind table.
const char* wrl_msgsrv_kindname(uint32_t kind);

}  // extern "C"
