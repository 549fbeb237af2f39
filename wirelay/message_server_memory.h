// How much memory the message server holds for its clients and when it lets go of it: the
// cost charged to the backlog for one queued message, the size of a client's reads, and
// the moment at which freed memory is worth handing back to the system.
#pragma once

#include <cstddef>
#include <cstdint>

struct wrl_msg;

namespace wrl {

// A quiet client reads into halves of this size, a busy one into halves of kReadBytes
// (message_server_loop.h): a thousand idle connections then hold 1 KiB each, not 16.
constexpr size_t kSmallReadBytes = 512;
// Memory handed back after the bytes held for clients fell by at least this much.
constexpr size_t kReleaseStep = size_t{4} << 20;

// Bytes charged to the backlog for a queued message: its frame (which its payload block
// roughly matches) plus the record that carries it, so that the totals count what the
// queue really holds and many tiny answers cannot hide behind their frame size.
size_t QueuedCost(const wrl_msg* m);

// The size of a client's next read halves, given the current size and how many bytes the
// last read brought: `big` after a read that filled its half (more is likely waiting),
// `small` after any other, so that a client that falls quiet after a burst waits with the
// small halves. REQUIRES: small <= big.
size_t NextReadSize(size_t current, size_t brought, size_t small, size_t big);

// Tracks the bytes held for clients (`held`) against their highest value since the last
// release (`*high`): true when they have fallen at least `step` below it, which restarts
// the watch at `held`.
bool ReleaseDue(size_t* high, size_t held, size_t step);

}  // namespace wrl
