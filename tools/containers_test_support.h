// Shared by the container tests: recognises the containers' one-line error reports
// ("Error: <text> (FILE '<source>', LINE <n>)") in captured stderr.
#pragma once

#include <regex>
#include <string>

#include "tools/dstring_test_util.h"  // captured_stderr

// True when `out` is exactly one error line with this text and source name.
inline bool IsErrorLine(const std::string& out, const std::string& text,
                        const std::string& source) {
    const std::string escaped = std::regex_replace(text, std::regex(R"([.()!?*+\[\]])"), R"(\$&)");
    return std::regex_match(
        out, std::regex("Error: " + escaped + R"( \(FILE ')" + source + R"(', LINE [0-9]+\)\n)"));
}
