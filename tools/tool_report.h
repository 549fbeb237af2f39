// The containers' error line on standard error: "Error: TEXT (FILE 'SOURCE', LINE N)".
// The hash table, arrays, pointer lists and block allocator all report problems this way.
#pragma once

// Prints the line for a problem `text` found in the source `source` (a file name without
// extension) at `line`. Null texts print as empty.
void tool_report_error(const char* text, const char* source, int line);
