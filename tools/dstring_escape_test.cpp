// Escapes: exact escaped forms, the round trip over every byte value, hostile escaped
// texts, backslash doubling/collapsing and tab expansion columns.
#include <cctype>
#include <string>
#include <utility>

#include "tools/dstring_test_util.h"

namespace {

std::string escape(const char* text) {
    return OwnedString(tool_strescape(text)).str();
}
std::string unescape(const char* text) {
    return OwnedString(tool_strunescape(text)).str();
}

TEST(Escape, KnownFormsAndRoundTripOverAllByteValues) {
    EXPECT_EQ(escape("a b"), "a\\032b");
    EXPECT_EQ(escape("x\\y\nz\r"), "x\\\\y\\nz\\r");
    EXPECT_EQ(escape("Az09\xff\x80"), "Az\\048\\057\\255\\128");  // unsigned codes
    EXPECT_EQ(escape(nullptr), "<null>");
    std::string all;
    for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
    // Also digits directly after escapes, and escapes of digits next to each other.
    for (const std::string& text : {all, std::string("a1b22c333"), std::string("\\\\n\\r"),
                                    std::string("1\n2\r3\\4 -5 +6"), std::string()}) {
        const std::string escaped = escape(text.c_str());
        for (char c : escaped)
            ASSERT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '\\');
        EXPECT_EQ(unescape(escaped.c_str()), text);
    }
}

TEST(Unescape, HostileAndHandWrittenTexts) {
    const std::pair<const char*, std::string> cases[] = {
        {"end\\", "end\\"},
        {"\\", "\\"},  // trailing backslash kept
        {"\\x41", "\\x41"},
        {"\\0", "\\0"},  // no number or zero: backslash kept
        {"\\000", "\\000"},
        {"\\256z", "\\256z"},  // low byte 0 would end the text
        {"\\4", "\x04"},
        {"\\65\\66", "AB"},  // short codes
        {"\\0650", "\x8a"},
        {"\\321", "A"},  // modulo 256; all its digits go
        {"\\ 65", "A 65"},
        {"\\-1x", "\xff-1x"},  // blanks and signs read, not skipped
        {"\\99999999999999999999q", "\xffq"},
        {"a\\nb\\rc\\\\d", "a\nb\rc\\d"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(unescape(text), expected) << text;
    EXPECT_EQ(tool_strunescape(nullptr), nullptr);
}

TEST(Backslashes, DoubleAndCollapse) {
    EXPECT_EQ(OwnedString(tool_strdoublebackslashes("a\\b\\\\")).str(), "a\\\\b\\\\\\\\");
    EXPECT_EQ(tool_strdoublebackslashes(nullptr), nullptr);
    for (const auto& [text, expected] :
         {std::pair{"\\\\server\\\\share\\\\\\x", "\\\\server\\share\\\\x"},
          std::pair{"\\", "\\"}}) {
        OwnedString o(tool_strdup(text));
        EXPECT_STREQ(tool_strcollapsebackslashes(&o.s), expected);
    }
    char* absent = nullptr;
    EXPECT_EQ(tool_strcollapsebackslashes(&absent), nullptr);
}

TEST(Tabs, ColumnsAreMultiplesOfEightAndDoNotRestartAtLineFeeds) {
    const std::pair<const char*, std::string> cases[] = {
        {"ab\tc", "ab      c"},
        {"\tx", "        x"},
        {"1234567\t8", "1234567 8"},
        {"12345678\t9", "12345678        9"},
        {"abc\n\td", "abc\n    d"},
        {"\t\t", std::string(16, ' ')},
        {"", ""},
        {nullptr, "<null>"},
    };
    for (const auto& [text, expected] : cases) {
        OwnedString out(tool_strdup("previous"));
        EXPECT_EQ(tool_change_tabulators_to_spaces(text, &out.s), 1);
        EXPECT_EQ(out.str(), expected);
    }
    EXPECT_EQ(tool_change_tabulators_to_spaces("x", nullptr), 0);
    OwnedString o(tool_strdup("a\tb"));
    EXPECT_EQ(captured_stderr([&] { EXPECT_EQ(tool_change_tabulators_to_spaces(o.s, &o.s), 0); }),
              "Error: tool_change_tabulators_to_spaces: string == *tabbed_string!\n");
    EXPECT_STREQ(o.s, "a\tb");
    EXPECT_EQ(tool_change_tabulators_to_spaces(o.s + 1, &o.s), 1);  // a text inside is fine
    EXPECT_STREQ(o.s, "        b");
}

TEST(EscapeFailure, AllocationFailuresGiveNullOrKeepOutput) {
    const std::pair<char* (*)(), const char*> cases[] = {
        {[] { return tool_strescape("a b"); }, "tool_strescape"},
        {[] { return tool_strunescape("\\065"); }, "tool_strunescape"},
        {[] { return tool_strunescape("plain"); }, "tool_strdup"},
        {[] { return tool_strdoublebackslashes("\\"); }, "tool_strdoublebackslashes"},
    };
    for (const auto& [run, name] : cases) {
        ScopedAllocFailure fail;
        EXPECT_EQ(captured_stderr([&] { EXPECT_EQ(run(), nullptr); }),
                  std::string("Error: ") + name + ": Memory allocation failed!\n");
    }
    OwnedString out(tool_strdup("previous"));
    ScopedAllocFailure fail;
    EXPECT_EQ(
        captured_stderr([&] { EXPECT_EQ(tool_change_tabulators_to_spaces("a\tb", &out.s), 0); }),
        "Error: tool_change_tabulators_to_spaces: Memory allocation failed!\n");
    EXPECT_STREQ(out.s, "previous");
    tool_alloc_fail_after(1);  // unescaping allocates the input's length, then trims
    EXPECT_EQ(unescape("\\065\\066"), "AB");
}

}  // namespace
