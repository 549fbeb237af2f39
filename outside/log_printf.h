// The application's log. Texts go to a sink that the application (or a test) installs;
// without one they go to standard error. Safe to call from any thread.
#pragma once

#include <functional>

// The receiver of finished log texts: the level and the formatted text, as given (a
// trailing line feed is part of the text when the caller wrote one).
using LogSink = std::function<void(int level, const char* text)>;

// Formats like printf and hands the text to the sink. Levels 1 and 2 are in use (1 for
// errors, 2 for notes); every level reaches the sink. A null format logs nothing.
void logPrintf(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Installs `sink`; an empty function restores the default (standard error). The sink may
// itself call logPrintf; it must not call setLogSink.
void setLogSink(LogSink sink);
