// Process resource limits of the platform layer.
#pragma once

#include <cstdint>

// Raises the soft limit on open files to the hard limit, so that a server holding many
// idle or stalled connections does not run out of descriptors at the default soft limit.
// Returns the soft limit in force afterwards, or -1 when it cannot be read or changed.
int64_t port_raise_open_file_limit();
