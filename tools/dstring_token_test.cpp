// Tokenisers and callbacks: state and end marker, empty pieces, delimiters reported,
// transforms with release, substitution of open/close sections, and failure paths.
#include <string>
#include <vector>

#include "tools/dstring_test_util.h"

namespace {

TEST(Split, KeepsEmptyPiecesReportsDelimitersAndEndsWithMarker) {
    char text[] = "a,,b;";
    char* state = nullptr;
    for (const auto& [piece, delimiter] :
         {std::pair{"a", ','}, {"", ','}, {"b", ';'}, {"", '\0'}}) {
        char found = 'x';
        EXPECT_STREQ(tool_strsplit(state ? nullptr : text, ",;", &state, &found), piece);
        EXPECT_EQ(found, delimiter);
    }
    EXPECT_TRUE(state == tool_strtoken_end() && state != nullptr);
    EXPECT_EQ(tool_strsplit(nullptr, ",;", &state, nullptr), nullptr);
    EXPECT_EQ(tool_strsplit(nullptr, ",;", &state, nullptr), nullptr);  // stays at the end
    char other[] = "whole";  // a new text restarts from the end marker
    EXPECT_STREQ(tool_strsplit(other, nullptr, &state, nullptr), "whole");
    EXPECT_EQ(tool_strsplit(text, " ", nullptr, nullptr), nullptr);
    char* fresh = nullptr;
    EXPECT_EQ(tool_strsplit(nullptr, " ", &fresh, nullptr), nullptr);
    char tokens[] = ",,alpha,,beta;;";  // the tokeniser skips empty pieces
    char found = 0;
    EXPECT_STREQ(tool_strtoken(tokens, ",;", &state, &found), "alpha");
    EXPECT_STREQ(tool_strtoken(nullptr, ",;", &state, &found), "beta");
    EXPECT_EQ(found, ';');
    EXPECT_EQ(tool_strtoken(nullptr, ",;", &state, &found), nullptr);
    EXPECT_EQ(state, tool_strtoken_end());
}

int s_released = 0;
void release(char** result) {
    ++s_released;
    tool_strfree(result);
}
char* bracket(const char* piece, void* user) {
    if (std::string(piece) == "skip") return nullptr;
    ++*static_cast<int*>(user);
    char* out = nullptr;
    return tool_sprintf(&out, "<%s>", piece);
}
char* lookup(const char* name, void*) {
    if (std::string(name) == "USER") return tool_strdup("ann");
    return std::string(name).empty() ? tool_strdup("%") : nullptr;
}

TEST(Token, ForEachAndTransformVisitNonEmptyPiecesOfACopy) {
    std::vector<std::string> seen;
    const char* text = " a  bc d ";
    const auto collect = [](char* piece, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(piece);
    };
    EXPECT_EQ(tool_strforeachtoken(text, " ", collect, &seen), 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_STREQ(text, " a  bc d ");
    EXPECT_EQ(tool_strforeachtoken(text, " ", nullptr, nullptr), 0);
    EXPECT_EQ(tool_strforeachtoken(nullptr, " ", collect, &seen), 1);
    int calls = 0;
    s_released = 0;
    OwnedString out(tool_strtransformtokens("a,skip,,bc", ",", bracket, release, &calls));
    EXPECT_EQ(out.str(), "<a><bc>");
    EXPECT_EQ(calls + s_released, 4);
    EXPECT_EQ(tool_strtransformtokens(",,", ",", bracket, release, &calls), nullptr);
    EXPECT_EQ(tool_strtransformtokens(nullptr, ",", bracket, release, &calls), nullptr);
}

TEST(Substitute, ReplacesKnownSectionsAndKeepsOthers) {
    const std::pair<const char*, const char*> cases[] = {{"home/%USER%/x", "home/ann/x"},
                                                         {"%NOPE%-%USER%", "%NOPE%-ann"},
                                                         {"100%% sure", "100% sure"},
                                                         {"a%USER", "a%USER"},
                                                         {"", ""},
                                                         {nullptr, "<null>"}};
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(OwnedString(tool_strexpandpercent(text, lookup, release)).str(), expected);
    }
    EXPECT_EQ(
        OwnedString(tool_strsubstitute("x${USER}y${A", "${", "}", lookup, release, nullptr)).str(),
        "xanny${A");
    EXPECT_EQ(OwnedString(tool_strsubstitute("abc", "", "}", lookup, release, nullptr)).str(),
              "abc");
}

// Transforms that do not allocate, so that only the library's own allocations fail.
char* fixed_t(const char*, void*) {
    return const_cast<char*>("t");
}
char* fixed_user(const char* name, void*) {
    return std::string(name) == "USER" ? const_cast<char*>("ann") : nullptr;
}

TEST(TokenFailure, EachAllocationReportsItsLine) {
    const struct {
        long successes;
        bool (*failed)();  // true when the call gave its documented failure value
        const char* name;
    } cases[] = {
        {0,
         [] {
             return tool_strforeachtoken(
                        "a b", " ", [](char*, void*) {}, nullptr) == 0;
         },
         "tool_strdup"},
        {1,
         [] { return tool_strtransformtokens("a b", " ", fixed_t, nullptr, nullptr) == nullptr; },
         "tool_strtransformtokens"},
        {2, [] { return tool_strexpandpercent("x%USER%", fixed_user, nullptr) == nullptr; },
         "tool_strsubstitute"},
    };
    for (const auto& c : cases) {
        ScopedAllocFailure fail(c.successes);
        bool failed = false;
        EXPECT_EQ(captured_stderr([&] { failed = c.failed(); }),
                  std::string("Error: ") + c.name + ": Memory allocation failed!\n");
        EXPECT_TRUE(failed) << c.name;
    }
}

// Makes each allocation in turn fail: the result is either absent or complete, and
// nothing leaks (checked by the sanitizer build).
TEST(TokenFailure, EveryAllocationOfTheCallbacksMayFail) {
    const std::pair<const char*, char* (*)()> cases[] = {
        {"a-ann-b%X%", [] { return tool_strexpandpercent("a-%USER%-b%X%", fixed_user, nullptr); }},
        {"tt", [] { return tool_strtransformtokens("a,,bc", ",", fixed_t, nullptr, nullptr); }},
        {"x|y|z",
         [] {
             tool_strlist_s list{};
             char* joined = nullptr;
             const int ok = tool_strlist_split("x y  z", " ", &list);
             tool_alloc_fail_reset();  // only the split is under test
             for (int32_t i = 0; ok == 1 && i < list.count; ++i) {
                 tool_strcat(&joined, i > 0 ? "|" : "");
                 tool_strcat(&joined, list.strings[i]);
             }
             // A list cut short by a failure must never pass as whole.
             if (ok == 1 && list.count != 3)
                 tool_strcpy(&joined, "incomplete but reported as success");
             tool_strlist_free(&list);
             return joined;
         }},
    };
    for (const auto& [expected, run] : cases) {
        for (long successes = 0; successes < 12; ++successes) {
            ScopedAllocFailure fail(successes, 1);
            char* result = nullptr;
            captured_stderr([&] { result = run(); });
            OwnedString owned(result);
            if (result != nullptr) {
                EXPECT_STREQ(result, expected) << "after " << successes;
            }
        }
    }
}

}  // namespace
