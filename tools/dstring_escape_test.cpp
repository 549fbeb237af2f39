// Escapes: exact escaped forms, the round trip over every byte value, hostile escaped
// texts, backslash doubling/collapsing and tab expansion columns.
#include <string>

#include "tools/dstring_test_util.h"

namespace {

std::string escape(const char* text) { return OwnedString(tool_strescape(text)).str(); }
std::string unescape(const char* text) { return OwnedString(tool_strunescape(text)).str(); }

TEST(Escape, KnownForms) {
  EXPECT_EQ(escape("a b"), "a\\032b");
  EXPECT_EQ(escape("x\\y\nz\r"), "x\\\\y\\nz\\r");
  EXPECT_EQ(escape("Az09"), "Az\\048\\057");
  EXPECT_EQ(escape("\xff\x80"), "\\255\\128");  // unsigned codes
  EXPECT_EQ(escape(""), "");
  EXPECT_EQ(tool_strescape(nullptr), nullptr);
}

TEST(Escape, RoundTripOverAllByteValues) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  // Also digits directly after escapes, and escapes of digits next to each other.
  const std::string texts[] = {all, "a1b22c333", "\\\\n\\r", "1\n2\r3\\4", " -5 +6"};
  for (const std::string& text : texts) {
    OwnedString escaped(tool_strescape(text.c_str()));
    ASSERT_NE(escaped.s, nullptr);
    for (const char* p = escaped.s; *p != '\0'; ++p) {
      const bool plain = (*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') ||
                         (*p >= '0' && *p <= '9') || *p == '\\';
      ASSERT_TRUE(plain) << "byte " << static_cast<int>(static_cast<unsigned char>(*p));
    }
    EXPECT_EQ(unescape(escaped.s), text);
  }
}

TEST(Unescape, HostileAndHandWrittenTexts) {
  EXPECT_EQ(unescape("plain"), "plain");
  EXPECT_EQ(unescape("end\\"), "end\\");        // trailing backslash kept
  EXPECT_EQ(unescape("\\"), "\\");
  EXPECT_EQ(unescape("\\x41"), "\\x41");        // no number: backslash kept
  EXPECT_EQ(unescape("\\0"), "\\0");            // zero: backslash kept
  EXPECT_EQ(unescape("\\000"), "\\000");
  EXPECT_EQ(unescape("\\4"), "\x04");           // truncated code
  EXPECT_EQ(unescape("\\65\\66"), "AB");
  EXPECT_EQ(unescape("\\0650"), "\x8a");        // 650 mod 256; all its digits go
  EXPECT_EQ(unescape("\\ 65"), "A 65");         // blanks read, not skipped
  EXPECT_EQ(unescape("\\-1x"), "\xff-1x");
  EXPECT_EQ(unescape("\\321"), "A");            // 321 mod 256 = 65
  EXPECT_EQ(unescape("\\256z"), "\\256z");      // low byte 0 would end the text
  EXPECT_EQ(unescape("\\99999999999999999999q"), std::string(1, '\xff') + "q");
  EXPECT_EQ(unescape("a\\nb\\rc\\\\d"), "a\nb\rc\\d");
  EXPECT_EQ(tool_strunescape(nullptr), nullptr);
}

TEST(Backslashes, DoubleAndCollapse) {
  EXPECT_EQ(OwnedString(tool_strdoublebackslashes("a\\b\\\\")).str(), "a\\\\b\\\\\\\\");
  EXPECT_EQ(tool_strdoublebackslashes(nullptr), nullptr);
  OwnedString o(tool_strdup("\\\\server\\\\share\\\\\\x"));
  EXPECT_STREQ(tool_strcollapsebackslashes(&o.s), "\\\\server\\share\\\\x");
  OwnedString one(tool_strdup("\\"));
  EXPECT_STREQ(tool_strcollapsebackslashes(&one.s), "\\");
  char* absent = nullptr;
  EXPECT_EQ(tool_strcollapsebackslashes(&absent), nullptr);
}

TEST(Tabs, ColumnsAreMultiplesOfEight) {
  OwnedString out;
  EXPECT_EQ(tool_change_tabulators_to_spaces("ab\tc", &out.s), 1);
  EXPECT_STREQ(out.s, "ab      c");
  EXPECT_EQ(tool_change_tabulators_to_spaces("\tx", &out.s), 1);
  EXPECT_STREQ(out.s, "        x");
  EXPECT_EQ(tool_change_tabulators_to_spaces("1234567\t8", &out.s), 1);
  EXPECT_STREQ(out.s, "1234567 8");
  EXPECT_EQ(tool_change_tabulators_to_spaces("12345678\t9", &out.s), 1);
  EXPECT_STREQ(out.s, "12345678        9");
  // A line feed does not restart the columns.
  EXPECT_EQ(tool_change_tabulators_to_spaces("abc\n\td", &out.s), 1);
  EXPECT_STREQ(out.s, "abc\n    d");
  EXPECT_EQ(tool_change_tabulators_to_spaces("\t\t", &out.s), 1);
  EXPECT_EQ(std::string(out.s), std::string(16, ' '));
  EXPECT_EQ(tool_change_tabulators_to_spaces("", &out.s), 1);
  EXPECT_STREQ(out.s, "");
  EXPECT_EQ(tool_change_tabulators_to_spaces(nullptr, &out.s), 1);
  EXPECT_EQ(out.s, nullptr);
  EXPECT_EQ(tool_change_tabulators_to_spaces("x", nullptr), 0);
}

TEST(Tabs, SelfIsRefused) {
  OwnedString o(tool_strdup("a\tb"));
  int result = 1;
  EXPECT_EQ(captured_stderr([&] { result = tool_change_tabulators_to_spaces(o.s, &o.s); }),
            "Error: tool_change_tabulators_to_spaces: string == *tabbed_string!\n");
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(o.s, "a\tb");
  // A text inside the out string is read before the old block goes.
  EXPECT_EQ(tool_change_tabulators_to_spaces(o.s + 1, &o.s), 1);
  EXPECT_STREQ(o.s, "        b");
}

TEST(EscapeFailure, AllocationFailuresGiveNullOrKeepOutput) {
  ScopedAllocFailure fail;
  EXPECT_EQ(captured_stderr([] { EXPECT_EQ(tool_strescape("a b"), nullptr); }),
            "Error: tool_strescape: Memory allocation failed!\n");
  EXPECT_EQ(captured_stderr([] { EXPECT_EQ(tool_strunescape("\\065"), nullptr); }),
            "Error: tool_strunescape: Memory allocation failed!\n");
  EXPECT_EQ(captured_stderr([] { EXPECT_EQ(tool_strunescape("plain"), nullptr); }),
            "Error: tool_strdup: Memory allocation failed!\n");
  EXPECT_EQ(captured_stderr([] { EXPECT_EQ(tool_strdoublebackslashes("\\"), nullptr); }),
            "Error: tool_strdoublebackslashes: Memory allocation failed!\n");
  tool_alloc_fail_reset();
  OwnedString out(tool_strdup("previous"));
  ScopedAllocFailure fail_again;
  int result = 1;
  EXPECT_EQ(captured_stderr([&] { result = tool_change_tabulators_to_spaces("a\tb", &out.s); }),
            "Error: tool_change_tabulators_to_spaces: Memory allocation failed!\n");
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(out.s, "previous");
}

TEST(EscapeFailure, FailedShrinkKeepsAValidText) {
  // Unescaping allocates the input's length, then trims; the trim may fail harmlessly.
  ScopedAllocFailure fail(1);
  EXPECT_EQ(unescape("\\065\\066"), "AB");
}

}  // namespace
