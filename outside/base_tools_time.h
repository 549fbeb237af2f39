// Local time of the base tools, in seconds. The server stores timestamps as
// current_time() - GetLocalTimeOffsetFromUTC(), which is UTC seconds since the epoch.
#pragma once

#include <cstdint>

namespace tools {

// The current local time: seconds since the epoch plus the local offset from UTC, cut to
// 32 bits (good until early 2038).
int32_t current_time();

// The local time's offset from UTC in seconds, positive east of Greenwich.
int64_t GetLocalTimeOffsetFromUTC();

}  // namespace tools
