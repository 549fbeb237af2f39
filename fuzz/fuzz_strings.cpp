// Fuzz target: the string functions that parse texts - wildcard matching, natural
// comparison, unescaping, brace and quote scanning, the tokenisers and substitution.
// The first byte picks the function; the rest is split at its first zero byte into two
// texts (text, and pattern/delimiters/set). Each case also checks a property that must
// hold for every input.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/tool_dstring.h"

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

char* copy_piece(const char* piece, void*) {
    return tool_strdup(piece);
}
char* drop_odd_pieces(const char* piece, void*) {
    return std::strlen(piece) % 2 == 0 ? tool_strdup(piece) : nullptr;
}
void release_piece(char** result) {
    tool_strfree(result);
}
void count_piece(char* piece, void* user) {
    if (piece == nullptr || piece[0] == '\0') qm_fuzz::fail("foreachtoken gave an empty piece");
    ++*static_cast<size_t*>(user);
}

bool has_any(const std::string& text, const char* set) {
    return text.find_first_of(set) != std::string::npos;
}

void match(const std::string& pattern, const std::string& text, int ignore_case) {
    const int m = tool_strmatch(pattern.c_str(), text.c_str(), ignore_case);
    if (m != 0 && m != 1) qm_fuzz::fail("strmatch result outside 0/1");
    if (tool_strmatch("*", text.c_str(), ignore_case) != 1) qm_fuzz::fail("'*' did not match");
    if (tool_strmatch(nullptr, text.c_str(), ignore_case) != 1) qm_fuzz::fail("null pattern");
    if (tool_strmatch(pattern.c_str(), nullptr, ignore_case) != 0) qm_fuzz::fail("null text");
    // A pattern without wildcards matches exactly itself.
    if (!has_any(text, "*%?$[") && tool_strmatch(text.c_str(), text.c_str(), 0) != 1)
        qm_fuzz::fail("a plain text does not match itself");
}

void natural(const std::string& a, const std::string& b) {
    const int ab = sign(tool_strnatcmp(a.c_str(), b.c_str()));
    const int ba = sign(tool_strnatcmp(b.c_str(), a.c_str()));
    if (ab != -ba) qm_fuzz::fail("strnatcmp is not antisymmetric");
    if (tool_strnatcmp(a.c_str(), a.c_str()) != 0) qm_fuzz::fail("strnatcmp(a, a) != 0");
    const int ci = sign(tool_strnatcasecmp(a.c_str(), b.c_str()));
    if (ci != -sign(tool_strnatcasecmp(b.c_str(), a.c_str())))
        qm_fuzz::fail("strnatcasecmp is not antisymmetric");
}

void unescape(const std::string& text) {
    char* plain = tool_strunescape(text.c_str());
    if (plain != nullptr && std::strlen(plain) > text.size())
        qm_fuzz::fail("unescaping made a text longer");
    tool_strfree(&plain);
    char* escaped = tool_strescape(text.c_str());
    char* back = tool_strunescape(escaped);
    if (escaped == nullptr || back == nullptr || text != back)
        qm_fuzz::fail("unescape(escape(x)) != x");
    tool_strfree(&escaped);
    tool_strfree(&back);
}

void braces(const std::string& text) {
    char* open = nullptr;
    char* close = nullptr;
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    if (tool_findbraces(begin, &open, &close) == 1) {
        if (open == nullptr || close == nullptr || open < begin || close >= end || open >= close)
            qm_fuzz::fail("findbraces outside the text");
        if (tool_matchingbrace(*open) != *close) qm_fuzz::fail("findbraces pair does not match");
    }
    const char* closing = tool_findclosing('(', ')', begin);
    if (closing != nullptr && (closing < begin || closing > end))
        qm_fuzz::fail("findclosing outside the text");
}

void outside(const std::string& text, const std::string& set) {
    const char* found = tool_strfindoutside(text.c_str(), set.c_str());
    if (found == nullptr) return;
    if (found < text.c_str() || found >= text.c_str() + text.size())
        qm_fuzz::fail("strfindoutside outside the text");
    if (std::strchr(set.c_str(), *found) == nullptr) qm_fuzz::fail("strfindoutside not in set");
}

void tokens(const std::string& text, const std::string& delimiters) {
    const char* delims = delimiters.c_str();
    // Splitting gives every piece, empty ones too: their lengths and the cuts add up.
    std::string buffer = text;
    char* state = nullptr;
    size_t pieces = 0, length = 0;
    for (char* p = tool_strsplit(buffer.data(), delims, &state, nullptr); p != nullptr;
         p = tool_strsplit(nullptr, delims, &state, nullptr)) {
        if (p < buffer.data() || p > buffer.data() + buffer.size())
            qm_fuzz::fail("split piece outside");
        if (++pieces > text.size() + 1) qm_fuzz::fail("split does not end");
        length += std::strlen(p);
    }
    if (pieces != 0 && length + pieces - 1 != text.size())
        qm_fuzz::fail("split pieces do not add up");

    buffer = text;
    state = nullptr;
    size_t tokens = 0;
    for (char* p = tool_strtoken(buffer.data(), delims, &state, nullptr); p != nullptr;
         p = tool_strtoken(nullptr, delims, &state, nullptr)) {
        if (p[0] == '\0') qm_fuzz::fail("strtoken gave an empty piece");
        if (++tokens > text.size()) qm_fuzz::fail("strtoken does not end");
    }
    size_t visited = 0;
    tool_strforeachtoken(text.c_str(), delims, count_piece, &visited);
    if (visited != tokens) qm_fuzz::fail("foreachtoken and strtoken disagree");

    // The identity transform concatenates the pieces: the text less its delimiters.
    char* joined =
        tool_strtransformtokens(text.c_str(), delims, copy_piece, release_piece, nullptr);
    std::string expected;
    for (char c : text)
        if (std::strchr(delims, c) == nullptr) expected += c;
    if ((joined == nullptr ? std::string() : std::string(joined)) != expected)
        qm_fuzz::fail("transformtokens is not the text less its delimiters");
    tool_strfree(&joined);

    tool_strlist_s list{};
    tool_strlist_split(text.c_str(), delims, &list);
    tool_strlist_free(&list);
}

void substitute(const std::string& text, const std::string& marks) {
    const std::string open = marks.substr(0, marks.size() / 2);
    const std::string close = marks.substr(marks.size() / 2);
    char* out = tool_strsubstitute(text.c_str(), open.c_str(), close.c_str(), drop_odd_pieces,
                                   release_piece, nullptr);
    tool_strfree(&out);
    out = tool_strexpandpercent(text.c_str(), copy_piece, release_piece);
    // Expanding every %name% to its name only removes the percent signs.
    if (out != nullptr && std::strlen(out) > text.size()) qm_fuzz::fail("expandpercent grew");
    tool_strfree(&out);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // tool_findbraces reports syntax errors on standard output.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t selector = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t zero = rest.find('\0');
    const std::string a = rest.substr(0, zero);
    const std::string b = zero == std::string::npos ? std::string() : rest.substr(zero + 1).c_str();
    switch (selector % 7) {
        case 0:
            match(b, a, (selector >> 3) & 1);
            break;
        case 1:
            natural(a, b);
            break;
        case 2:
            unescape(a);
            break;
        case 3:
            braces(a);
            break;
        case 4:
            outside(a, b);
            break;
        case 5:
            tokens(a, b);
            break;
        case 6:
            substitute(a, b);
            break;
    }
    return 0;
}
