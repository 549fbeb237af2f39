// Process-wide debug sink: the transport's diagnostic lines go to the file named by the
// environment variable WIRELAY_DEBUG_LOG when it is set, otherwise nowhere; never to the
// console. One lock serialises every writer, so lines never interleave.
#pragma once

#include <string_view>

namespace port {

// Appends `line` as given (callers end their lines with '\n') to the sink's file. The file
// is opened in append mode on first use; when it cannot be opened, lines are dropped.
// Safe from any thread.
void DebugSinkWrite(std::string_view line);

// Redirects the sink to `path` (null: back to WIRELAY_DEBUG_LOG, read again), closing the
// current file. For tests and tools that want the lines somewhere known.
void DebugSinkSetPath(const char* path);

}  // namespace port
