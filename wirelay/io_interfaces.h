// The built-in interface descriptor table of the I/O core, in order of preference:
// TCP/IP first, then serial; an IO_IF_END entry ends it.
#pragma once

#include "wirelay/io_core.h"

const io_interface_s* io_builtin_interfaces();
