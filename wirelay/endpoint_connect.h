// Connecting an endpoint with a time-out that covers the connect itself, so that an address
// that drops packets, or a server whose listening backlog is full, cannot make a client
// wait for ever.
#pragma once

#include <cstdint>

struct wrl_net;

// Creates an endpoint with an I/O core of its own and connects it to the address text
// ("tcpip:host,port") within `timeout_ms` (< 0: no limit, as wrl_net_create and
// wrl_net_connect). Each address the host resolves to is tried in turn with a non-blocking
// connect until one answers or the time is up; name resolution itself is not limited.
// WRL_OK with *out set; WRL_ETIMEOUT when no address answered in time; WRL_EFAIL for a bad
// address or a refused connection; WRL_ENOMEM for memory. On failure *out is null.
// Free the endpoint with wrl_net_destroy.
int wrl_net_createconnected(wrl_net** out, const char* address, int32_t timeout_ms);
