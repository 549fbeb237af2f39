// Writers of the server's per-request log lines on standard output. The request path writes
// three or four lines per request, and printf's parsing of their formats cost more than all
// the rest of the lines' work; these write exactly the text the equivalent printf would.
#pragma once

#include <cstdint>

// "<text>\n"
void log_line(const char* text);
// "<label><text>\n", e.g. log_labelled("Message ", name).
void log_labelled(const char* label, const char* text);
// "<label><value>\n", e.g. log_number("result ", result).
void log_number(const char* label, int32_t value);
// "qm_server: received message from <from> to <to> prio <priority> len <length>\n"
void log_received(const char* from, const char* to, int32_t priority, int32_t length);
