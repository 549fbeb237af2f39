// The server's process-wide context and its clock.
#include "server/server_state.h"

#include "port/clock.h"

namespace {
server_context s_context;
}

server_context& server_state() {
    return s_context;
}

void server_state_reset() {
    s_context = server_context{};
}

int32_t server_now() {
    if (s_context.clock) return s_context.clock();
    // Stored times are UTC in the clock's unit: the local time less its offset from UTC,
    // which is the wall clock's own reading (taken directly, it needs no time-zone lookup
    // per request and cannot straddle an offset change). The wrap to 32 bits is deliberate
    // (the rows keep 32-bit times) and done in unsigned arithmetic to stay defined.
    const int64_t utc = port_wall_seconds();
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(utc)));
}
