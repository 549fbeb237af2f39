// The message server's memory policy (message_server_memory.h).
#include "wirelay/message_server_memory.h"

#include "wirelay/frame.h"
#include "wirelay/message_server_records.h"

namespace wrl {

size_t QueuedCost(const wrl_msg* m) {
    return FrameSize(m->status, m->length) + sizeof(wrl_msg);
}

size_t NextReadSize(size_t current, size_t brought, size_t small, size_t big) {
    return current > 0 && brought >= current ? big : small;
}

bool ReleaseDue(size_t* high, size_t held, size_t step) {
    if (held >= *high) {
        *high = held;
        return false;
    }
    if (*high - held < step) return false;
    *high = held;
    return true;
}

}  // namespace wrl
