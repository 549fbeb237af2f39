// Transport endpoints: one I/O core connection with its read request (also used for
// accepts) and its write request. A listening endpoint owns its I/O core; endpoints made
// from accepted connections share it. Results are the transport codes of wrl_errors.h.
//
// Buffers handed to wrl_net_queueio stay owned by the caller, who keeps them alive until
// the request completes or the endpoint is closed; this lets callers reuse their buffers.
#pragma once

#include <cstdint>

#include "wirelay/address.h"

struct wrl_net;  // an endpoint
struct io_interface_s;

// Directions of queued I/O.
enum : int { WRL_NET_READ = 0, WRL_NET_WRITE = 1, WRL_NET_ACCEPT = 2 };

// A closed endpoint with a new I/O core of its own. WRL_OK; WRL_ENOMEM for memory;
// WRL_EFAIL otherwise.
int wrl_net_create(wrl_net** out);

// As wrl_net_create, but the core drives the interfaces of `table` (ended by an IO_IF_END
// entry) instead of the built-in ones. For tests that wrap an interface.
int wrl_net_createwith(wrl_net** out, const io_interface_s* table);

// Closes the endpoint, terminates its core and frees it. REQUIRES: the endpoint was made
// by wrl_net_create(with), and every endpoint sharing its core has been freed first.
int wrl_net_destroy(wrl_net* ep);

// A closed endpoint without a core, to receive an accepted connection. WRL_OK or WRL_ENOMEM.
int wrl_net_alloc(wrl_net** out);

// Closes an endpoint from wrl_net_alloc and frees it; the shared core stays.
void wrl_net_free(wrl_net* ep);

// Listens at the address text ("tcpip:host,port"; the host does not restrict a listening
// socket). WRL_OK; WRL_EFAIL for a bad address or failure (a serial address included: a
// serial port cannot listen); WRL_EADDRINUSE when the port is in use; WRL_ENOMEM for memory.
// REQUIRES: closed.
int wrl_net_listen(wrl_net* ep, const char* address);

// As wrl_net_listen with a parsed address; port 0 picks a free port (wrl_net_localport).
int wrl_net_listenat(wrl_net* ep, const wrl_address* address);

// Connects to the address text: a TCP/IP connection for "tcpip:host,port", the port itself
// for "serial:/dev/...,speed[,...]". WRL_OK; WRL_EFAIL for a bad address or failure (for a
// serial port also settings it refuses, a missing device or one taken by another opener);
// WRL_ENOMEM for memory. REQUIRES: closed.
int wrl_net_connect(wrl_net* ep, const char* address);

// The same as wrl_net_connect; the name reads better for a serial port.
int wrl_net_open(wrl_net* ep, const char* address);

// The local port of an open TCP/IP endpoint, -1 when it has none.
int wrl_net_localport(const wrl_net* ep);

// Moves the connection accepted by the listening endpoint's completed accept into the
// closed endpoint `newep` (from wrl_net_alloc), which gets its own requests and opens.
// WRL_OK; WRL_EFAIL when no accepted connection is ready; WRL_ENOMEM for memory (the
// connection is closed).
int wrl_net_accept(wrl_net* listening, wrl_net* newep);

// Closes the connection, takes back and frees both requests. WRL_OK, or WRL_EFAIL when the
// close failed.
int wrl_net_close(wrl_net* ep);

// Queues the listening endpoint's accept with `user` unless it is queued already. WRL_OK, or
// WRL_EFAIL.
int wrl_net_armaccept(wrl_net* listening, void* user);

// Takes the accept back: an accepted connection not yet taken over is closed. WRL_OK.
int wrl_net_abortaccept(wrl_net* listening);

// True while the endpoint's request of that direction is queued.
bool wrl_net_queued(const wrl_net* ep, int direction);

// Queues a read (WRL_NET_READ), write (WRL_NET_WRITE) or accept (WRL_NET_ACCEPT, buffer null,
// length 0) with `user` returned by the wait. WRL_OK; WRL_EFAIL when that direction's request
// is still queued (logged) or the queue fails.
int wrl_net_queueio(wrl_net* ep, int direction, void* buffer, uint32_t length, void* user);

// Queues a read that completes as soon as some bytes have arrived: 1 up to `length` of
// them (wrl_net_done tells how many), or a broken connection. Otherwise as wrl_net_queueio.
int wrl_net_queuesome(wrl_net* ep, void* buffer, uint32_t length, void* user);

// When the endpoint's queued request of that direction has already completed successfully
// (a transfer the socket took at once), collects it as wrl_net_wait would and returns true;
// otherwise returns false and changes nothing (a failed one is left for the wait).
bool wrl_net_takedone(wrl_net* ep, int direction);

// Bytes moved by the endpoint's last request of that direction once it was collected.
uint32_t wrl_net_done(const wrl_net* ep, int direction);

// Waits without limit for the next completed request of the endpoint's core (any endpoint
// sharing it) and collects it. WRL_OK; WRL_EBROKEN when the request's connection broke;
// WRL_EFAIL otherwise. When a request was collected, *direction and *user are its own (also on
// WRL_EBROKEN and WRL_EFAIL); otherwise *direction is -1 and *user null.
int wrl_net_wait(wrl_net* ep, int* direction, void** user);

// As wrl_net_wait, but gives WRL_OK with *user null when nothing completes within 10 ms.
int wrl_net_poll(wrl_net* ep, int* direction, void** user);

// As wrl_net_poll, but waits timeout_us microseconds at most (a fraction of a millisecond
// too): for a caller that expects more to arrive at once and will not wait longer for it.
int wrl_net_waitbrief(wrl_net* ep, int64_t timeout_us, int* direction, void** user);

// Makes a pending or future wrl_net_wait on this core return (with WRL_EFAIL and no request) once.
// Safe from any thread while the endpoint lives.
void wrl_net_wake(wrl_net* ep);

// true when a completion of the endpoint's core waits to be collected, so that
// wrl_net_wait would return without waiting.
bool wrl_net_pending(const wrl_net* ep);

// Synchronous transfer of exactly `length` bytes; timeout_ms < 0 waits without limit (on a
// serial port the limit applies to each wait for more bytes).
// WRL_OK; WRL_EBROKEN when the connection broke; WRL_EFAIL otherwise (a time-out included: the
// request is taken back, and the bytes already moved are lost, so the caller should close the
// endpoint). REQUIRES: no request of that direction queued (else logged and WRL_EFAIL).
int wrl_net_read(wrl_net* ep, void* buffer, uint32_t length, int32_t timeout_ms);
int wrl_net_write(wrl_net* ep, const void* buffer, uint32_t length, int32_t timeout_ms);

// Waits until the endpoint is readable (data or a close notice). WRL_OK; WRL_EBROKEN;
// WRL_ETIMEOUT for a time-out; WRL_EFAIL.
int wrl_net_waitreadable(wrl_net* ep, int64_t timeout_us);

// Without a time-out argument, the synchronous transfers wait without limit.
inline int wrl_net_read(wrl_net* ep, void* buffer, uint32_t length) {
    return wrl_net_read(ep, buffer, length, -1);
}
inline int wrl_net_write(wrl_net* ep, const void* buffer, uint32_t length) {
    return wrl_net_write(ep, buffer, length, -1);
}
