// Local time of the base tools, built on the platform clock.
#include "outside/base_tools_time.h"

#include "port/clock.h"

namespace tools {

int32_t current_time() {
    // Conversion to 32 bits is modular; the value is exact until 2038.
    return static_cast<int32_t>(port_wall_seconds() + port_local_utc_offset_seconds());
}

int64_t GetLocalTimeOffsetFromUTC() {
    return port_local_utc_offset_seconds();
}

}  // namespace tools
