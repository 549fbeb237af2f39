// Number texts: bases, clamping, formats that do not fit their argument, and decimals.
#include <climits>
#include <cmath>
#include <string>

#include "tools/dstring_test_util.h"

namespace {

TEST(Number, StrToIntBases) {
  EXPECT_EQ(tool_strtoint("42"), 42);
  EXPECT_EQ(tool_strtoint("  -17abc"), -17);
  EXPECT_EQ(tool_strtoint("0x1F"), 31);
  EXPECT_EQ(tool_strtoint("0Xff"), 255);
  EXPECT_EQ(tool_strtoint("0xFFFFFFFF"), -1);
  EXPECT_EQ(tool_strtoint("o17"), 15);
  EXPECT_EQ(tool_strtoint("O777"), 511);
  EXPECT_EQ(tool_strtoint("o9"), 0);
  EXPECT_EQ(tool_strtoint("abc"), 0);
  EXPECT_EQ(tool_strtoint(""), 0);
  EXPECT_EQ(tool_strtoint(nullptr), 0);
}

TEST(Number, StrToIntClampsInsteadOfOverflowing) {
  EXPECT_EQ(tool_strtoint("99999999999999999999"), INT_MAX);
  EXPECT_EQ(tool_strtoint("-99999999999999999999"), INT_MIN);
  EXPECT_EQ(tool_strtoint("-2147483648"), INT_MIN);
  EXPECT_EQ(tool_strtoint("0x123456789ABCDEF"), -1);  // saturates at 0xFFFFFFFF
}

TEST(Number, IntToText) {
  EXPECT_STREQ(tool_inttostr(-12), "-12");
  EXPECT_STREQ(tool_inttostrf("%04d", 7), "0007");
  EXPECT_STREQ(tool_inttostrf("id=%x%%", 255), "id=ff%");
  EXPECT_STREQ(tool_inttostrf(nullptr, 5), "5");
  // Formats that do not fit one int fall back to "%d".
  EXPECT_STREQ(tool_inttostrf("%s", 5), "5");
  EXPECT_STREQ(tool_inttostrf("%d %d", 5), "5");
  EXPECT_STREQ(tool_inttostrf("%*d", 5), "5");
  EXPECT_STREQ(tool_inttostrf("%ld", 5), "5");
  EXPECT_STREQ(tool_inttostrf("%", 5), "5");
  // A huge width is cut to the buffer, never written past it.
  EXPECT_EQ(std::string(tool_inttostrf("%900d", 1)).size(), 511u);
}

TEST(Number, StrToDouble) {
  EXPECT_DOUBLE_EQ(tool_strtodouble("2.5e3"), 2500.0);
  EXPECT_DOUBLE_EQ(tool_strtodouble(" -0.25x"), -0.25);
  EXPECT_DOUBLE_EQ(tool_strtodouble("x"), 0.0);
  EXPECT_DOUBLE_EQ(tool_strtodouble(""), 0.0);
  EXPECT_DOUBLE_EQ(tool_strtodouble(nullptr), 0.0);
}

TEST(Number, DoubleToTextTrimsZeros) {
  EXPECT_STREQ(tool_doubletostr(0, 3, 2.5), "2.5");
  EXPECT_STREQ(tool_doubletostr(0, 3, 2.0), "2");
  EXPECT_STREQ(tool_doubletostr(2, 3, 2.0), "2.00");
  EXPECT_STREQ(tool_doubletostr(1, 4, 1.23456), "1.2346");
  EXPECT_STREQ(tool_doubletostr(0, 0, 100.0), "100");  // no point: zeros stay
  EXPECT_STREQ(tool_doubletostr(0, 2, -0.001), "-0");
  EXPECT_STREQ(tool_doubletostr(0, -3, 7.6), "8");
  // The largest doubles fit whole.
  const std::string max_text = tool_doubletostr(0, 100, 1.7976931348623157e308);
  EXPECT_EQ(max_text.size(), 309u);
  EXPECT_STREQ(tool_doubletostr(0, 3, INFINITY), "inf");
}

TEST(Number, DoubleFormatNeedsAnFAndOneConversion) {
  EXPECT_STREQ(tool_doubletostrf("%.1f m", 2.26), "2.3 m");
  EXPECT_STREQ(tool_doubletostrf("%e", 2.5), "2.500");       // no f: "%.3f"
  EXPECT_STREQ(tool_doubletostrf("%s f", 2.5), "2.500");     // unsafe: "%.3f"
  EXPECT_STREQ(tool_doubletostrf("%f %f", 2.5), "2.500");
  EXPECT_STREQ(tool_doubletostrf("%Lf", 2.5), "2.500");
  EXPECT_STREQ(tool_doubletostrf("%8.2lf", 2.5), "    2.50");
  EXPECT_STREQ(tool_doubletostrf(nullptr, 1.0), "1.000");
}

TEST(Number, CharFromName) {
  EXPECT_EQ(tool_charfromname("phi", 'x'), 248);
  EXPECT_EQ(tool_charfromname("PHI", 'x'), 216);
  EXPECT_EQ(tool_charfromname("Phi", 'x'), 'P');
  EXPECT_EQ(tool_charfromname("none", 'x'), 'x');
  EXPECT_EQ(tool_charfromname("NoNe", 'x'), 'x');
  EXPECT_EQ(tool_charfromname("nonexistent", 'x'), 'n');
  EXPECT_EQ(tool_charfromname("unicode:0x3A9", 'x'), 0x3A9);
  EXPECT_EQ(tool_charfromname("UNICODE 937", 'x'), 937);
  EXPECT_EQ(tool_charfromname("unicode1", 'x'), 'u');  // not longer than 8
  EXPECT_EQ(tool_charfromname("\\176", 'x'), 176);
  EXPECT_EQ(tool_charfromname("\xe9t\xe9", 'x'), 0xe9);
  EXPECT_EQ(tool_charfromname(nullptr, 'x'), 'x');
}

}  // namespace
