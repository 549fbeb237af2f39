// The containers' error line on standard error.
#include "tools/tool_report.h"

#include <cstdio>

void tool_report_error(const char* text, const char* source, int line) {
    std::fprintf(stderr, "Error: %s (FILE '%s', LINE %d)\n", text != nullptr ? text : "",
                 source != nullptr ? source : "", line);
}
