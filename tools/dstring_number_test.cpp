// Number texts: bases, clamping, formats that do not fit their argument, and decimals.
#include <climits>
#include <cmath>
#include <string>
#include <utility>

#include "tools/dstring_test_util.h"

namespace {

TEST(Number, StrToIntBasesClampingAndCharacterNames) {
    const std::pair<const char*, int> cases[] = {
        {"  -17abc", -17},
        {"0x1F", 31},
        {"0Xff", 255},
        {"0xFFFFFFFF", -1},
        {"o17", 15},
        {"O777", 511},
        {"o9", 0},
        {"abc", 0},
        {"", 0},
        {nullptr, 0},
        {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
        {"-2147483648", INT_MIN},
        {"0x123456789ABCDEF", -1},  // saturates at 0xFFFFFFFF
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(tool_strtoint(text), value) << text;
    const std::pair<const char*, int> names[] = {
        {"phi", 248},         {"PHI", 216},         {"Phi", 'P'},
        {"NoNe", 'x'},        {"nonexistent", 'n'}, {"unicode:0x3A9", 0x3A9},
        {"UNICODE 937", 937}, {"unicode1", 'u'},  // not longer than 8
        {"\\176", 176},       {"\xe9t\xe9", 0xe9},  {nullptr, 'x'},
    };
    for (const auto& [text, code] : names) EXPECT_EQ(tool_charfromname(text, 'x'), code) << text;
}

TEST(Number, IntFormatsThatDoNotFitOneIntFallBack) {
    EXPECT_STREQ(tool_inttostr(-12), "-12");
    const std::pair<const char*, const char*> cases[] = {
        {"%04d", "0007"}, {"id=%x%%", "id=7%"}, {nullptr, "7"}, {"%s", "7"},
        {"%d %d", "7"},   {"%*d", "7"},         {"%ld", "7"},   {"%", "7"},
    };
    for (const auto& [format, text] : cases)
        EXPECT_STREQ(tool_inttostrf(format, 7), text) << format;
    // A huge width is cut to the buffer, never written past it.
    EXPECT_EQ(std::string(tool_inttostrf("%900d", 1)).size(), 511u);
}

TEST(Number, DoublesFromAndToText) {
    EXPECT_DOUBLE_EQ(tool_strtodouble(" -2.5e3x"), -2500.0);
    EXPECT_DOUBLE_EQ(tool_strtodouble("x"), 0.0);
    EXPECT_DOUBLE_EQ(tool_strtodouble(nullptr), 0.0);
    const struct {
        int min, max;
        double value;
        const char* text;
    } cases[] = {
        {0, 3, 2.5, "2.5"},        {0, 3, 2.0, "2"},     {2, 3, 2.0, "2.00"},
        {1, 4, 1.23456, "1.2346"}, {0, 0, 100.0, "100"},  // no point: zeros stay
        {0, 2, -0.001, "-0"},      {0, -3, 7.6, "8"},    {0, 3, INFINITY, "inf"},
    };
    for (const auto& c : cases) EXPECT_STREQ(tool_doubletostr(c.min, c.max, c.value), c.text);
    EXPECT_EQ(std::string(tool_doubletostr(0, 100, 1.7976931348623157e308)).size(), 309u);
    const std::pair<const char*, const char*> formats[] = {
        {"%.1f m", "2.3 m"}, {"%8.2lf", "    2.26"}, {"%e", "2.260"},    {"%s f", "2.260"},
        {"%f %f", "2.260"},  {"%Lf", "2.260"},       {nullptr, "2.260"},
    };
    for (const auto& [format, text] : formats) EXPECT_STREQ(tool_doubletostrf(format, 2.26), text);
}

}  // namespace
