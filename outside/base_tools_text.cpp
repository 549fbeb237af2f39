// Dump-line text helpers.
#include "outside/base_tools_text.h"

namespace tools {
namespace {

bool is_white(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

std::string GetSubstringBetweenDelimiter(const std::string& text, char delimiter) {
    const size_t first = text.find(delimiter);
    if (first == std::string::npos) return {};
    const size_t last = text.rfind(delimiter);
    if (last == first) return {};
    return text.substr(first + 1, last - first - 1);
}

std::string GetStringWithoutWhiteSpaces(const std::string& text) {
    size_t begin = 0;
    while (begin < text.size() && is_white(text[begin])) ++begin;
    size_t end = begin;
    while (end < text.size() && !is_white(text[end])) ++end;
    return text.substr(begin, end - begin);
}

}  // namespace tools
