// Writers of the server's per-request log lines on standard output. The request path writes
// three or four lines per request, and printf's parsing of their formats cost more than all
// the rest of the lines' work; these write exactly the text the equivalent printf would.
//
// The log can be held: an id allocation saves the database file once for its whole batch of
// requests, after they have all been performed, yet its log line says whether the save
// worked. So from the first allocation of a batch on, every line is held in memory, the
// allocation leaves a placeholder, and log_release fills each placeholder with its line
// once the save's outcome is known and writes it all out in order.
#pragma once

#include <cstdint>
#include <string>

// "<text>\n"
void log_line(const char* text);
// "<label><text>\n", e.g. log_labelled("Message ", name).
void log_labelled(const char* label, const char* text);
// "<label><value>\n", e.g. log_number("result ", result).
void log_number(const char* label, int32_t value);
// "qm_server: received message from <from> to <to> prio <priority> len <length>\n"
void log_received(const char* from, const char* to, int32_t priority, int32_t length);

// printf to the log (held or not).
void log_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Starts holding (when not yet) and leaves a placeholder that log_release turns into
// `saved_line` (a whole line with its newline) or the two lines "Write failed: FILE\n"
// of a failed save (the save's own and the allocation's).
void log_hold_save_line(const std::string& saved_line);

// True while lines are held.
bool log_holding();

// Writes every held line out with the placeholders filled in (`saved` tells the outcome of
// the save, `file` names the database file) and stops holding. Nothing held: no-op.
void log_release(bool saved, const std::string& file);
