// The server's process-wide context and its clock.
#include "server/server_state.h"

#include "outside/base_tools.h"

namespace {
server_context s_context;
}

server_context& server_state() { return s_context; }

void server_state_reset() { s_context = server_context{}; }

int32_t server_now() {
    if (s_context.clock) return s_context.clock();
    // Stored times are UTC in the clock's unit; the wrap to 32 bits is deliberate (the
    // rows keep 32-bit times) and done in unsigned arithmetic to stay defined.
    int64_t utc = static_cast<int64_t>(tools::current_time()) - tools::GetLocalTimeOffsetFromUTC();
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(utc)));
}
