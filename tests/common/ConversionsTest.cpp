#include "common/Conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>

#include "common/ErrorTrap.h"

namespace bridge::common {
namespace {

// The three regional formats the program meets.
const NumberFormat kComma{".", ","};     // 1,234.5
const NumberFormat kStop{",", "."};      // 1.234,5
const NumberFormat kBlank{",", " "};     // 1 234,5

/// The run-time error `call` fails with, or 0 when it does not fail.
std::int32_t ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Failure& failure) {
    return failure.Code();
  }
  return 0;
}

struct ParseCase {
  const char* text;
  const NumberFormat* format;
  double expected;  // NaN: type mismatch
};

class ToDoubleTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ToDoubleTest, ParsesOrRejects) {
  const ParseCase& c = GetParam();
  if (std::isnan(c.expected)) {
    EXPECT_EQ(ErrorOf([&] { ToDouble(c.text, *c.format); }), 13) << c.text;
  } else {
    EXPECT_EQ(ToDouble(c.text, *c.format), c.expected) << c.text;
  }
}

constexpr double kMismatch = std::numeric_limits<double>::quiet_NaN();
INSTANTIATE_TEST_SUITE_P(
    Texts, ToDoubleTest,
    ::testing::Values(
        ParseCase{" \t-1,234,567.25\t ", &kComma, -1234567.25}, ParseCase{"12,34,5", &kComma, 12345},
        ParseCase{"1.234,5", &kStop, 1234.5}, ParseCase{"1.5", &kStop, 15}, ParseCase{"1 234,5", &kBlank, 1234.5},
        ParseCase{"1\xA0" "234,5", &kBlank, 1234.5}, ParseCase{".5", &kComma, 0.5}, ParseCase{",5", &kStop, 0.5},
        ParseCase{"5.", &kComma, 5}, ParseCase{"+1.5E3", &kComma, 1500}, ParseCase{"2e-3", &kComma, 0.002},
        ParseCase{"0.1", &kComma, 0.1}, ParseCase{"1e-400", &kComma, 0}, ParseCase{"", &kComma, kMismatch},
        ParseCase{" \t ", &kComma, kMismatch}, ParseCase{"-", &kComma, kMismatch}, ParseCase{".", &kComma, kMismatch},
        ParseCase{",", &kStop, kMismatch}, ParseCase{"12a", &kComma, kMismatch}, ParseCase{"1.2.3", &kComma, kMismatch},
        ParseCase{"1,", &kComma, kMismatch}, ParseCase{",1", &kComma, kMismatch}, ParseCase{"1e+", &kComma, kMismatch},
        ParseCase{"e5", &kComma, kMismatch}, ParseCase{"- 1", &kComma, kMismatch},
        ParseCase{"1 000", &kComma, kMismatch}, ParseCase{"1,234.5", &kStop, kMismatch},
        ParseCase{"1  000", &kBlank, kMismatch}, ParseCase{"14025500\r\n", &kComma, 14025500},
        ParseCase{"\v\f14025,5\xA0", &kStop, 14025.5}, ParseCase{"\xA0" "1\xA0" "234,5", &kBlank, 1234.5},
        ParseCase{"\r\n", &kComma, kMismatch}));

// The runtime reads a string to its first NUL: what follows one does not count.
TEST(ToDoubleTest, AnEmbeddedNulEndsTheText) {
  EXPECT_EQ(ToDouble(std::string("14025.5\0xyz", 11), kComma), 14025.5);
  EXPECT_EQ(ToInteger16(std::string("00\0" "3qsy", 7), kComma), 0);
  EXPECT_TRUE(ToBoolean(std::string("True\0False", 10), kComma));
  EXPECT_EQ(ErrorOf([] { ToDouble(std::string("\0" "5", 2), kComma); }), 13);
}

TEST(ToDoubleTest, TooLargeIsOverflow) {
  EXPECT_EQ(ErrorOf([] { ToDouble("1e309", kComma); }), 6);
  EXPECT_EQ(ErrorOf([] { ToDouble("-1E+99999999999", kComma); }), 6);
  EXPECT_EQ(ErrorOf([] { ToDouble("1" + std::string(400, '0'), kComma); }), 6);
  EXPECT_EQ(ToDouble("0.000001e309", kComma), 1e303);
}

TEST(ToIntegerTest, RoundsHalfToEvenThenChecksTheRange) {
  EXPECT_EQ(ToInteger16("2.5", kComma), 2);
  EXPECT_EQ(ToInteger16("3.5", kComma), 4);
  EXPECT_EQ(ToInteger16("-2.5", kComma), -2);
  EXPECT_EQ(ToInteger16("2.5000001", kComma), 3);
  EXPECT_EQ(ToInteger16("-32768.5", kComma), -32768);
  EXPECT_EQ(ToInteger32("1.234.567,5", kStop), 1234568);
  EXPECT_EQ(ToInteger32("-2147483648.5", kComma), -2147483647 - 1);
  EXPECT_EQ(ErrorOf([] { ToInteger16("32767.5", kComma); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInteger16("-32769", kComma); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInteger32("2147483647.5", kComma); }), 6);
  EXPECT_EQ(ErrorOf([] { ToInteger16("12 apples", kComma); }), 13);
}

TEST(BooleanTest, WordsAndNumbers) {
  EXPECT_TRUE(ToBoolean("tRuE", kComma));
  EXPECT_FALSE(ToBoolean(" FALSE\t", kComma));
  EXPECT_FALSE(ToBoolean("0,0", kStop));
  EXPECT_TRUE(ToBoolean("0,5", kBlank));
  EXPECT_TRUE(ToBoolean("-1", kComma));
  EXPECT_EQ(ErrorOf([] { ToBoolean("yes", kComma); }), 13);
  EXPECT_EQ(ErrorOf([] { ToBoolean("truex", kComma); }), 13);
  EXPECT_EQ(BooleanText(true), "True");
  EXPECT_EQ(BooleanText(false), "False");
}

struct TextCase {
  double value;
  const NumberFormat* format;
  const char* expected;
};

class NumberToTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(NumberToTextTest, GeneralFormat) {
  EXPECT_EQ(NumberToText(GetParam().value, *GetParam().format), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, NumberToTextTest,
    ::testing::Values(TextCase{14025500, &kComma, "14025500"}, TextCase{1024099.9999999999, &kComma, "1024100"},
                      TextCase{14025000.5, &kComma, "14025000.5"}, TextCase{0.5, &kComma, "0.5"},
                      TextCase{999999999999999, &kComma, "999999999999999"},
                      TextCase{999999999999999.9, &kComma, "1E+15"}, TextCase{1e15, &kComma, "1E+15"},
                      TextCase{-7, &kComma, "-7"}, TextCase{-0.0, &kComma, "0"}, TextCase{0.1 + 0.2, &kComma, "0.3"},
                      TextCase{123456789.123456789, &kComma, "123456789.123457"},
                      TextCase{-0.00012, &kComma, "-0.00012"}, TextCase{0.00001, &kComma, "1E-05"},
                      TextCase{-2.25e20, &kComma, "-2.25E+20"}, TextCase{1.5e-100, &kComma, "1.5E-100"},
                      TextCase{14025000.5, &kStop, "14025000,5"}, TextCase{1.5e-5, &kBlank, "1,5E-05"},
                      // Exactly halfway at the 16th digit: away from zero, not to even.
                      TextCase{3508.578369140625, &kComma, "3508.57836914063"},
                      TextCase{1234567890123.125, &kStop, "1234567890123,13"},
                      TextCase{-7284562016495125.0, &kComma, "-7.28456201649513E+15"}));

struct PatternCase {
  double value;
  const char* pattern;
  const NumberFormat* format;
  const char* expected;
};

class FormatNumberTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(FormatNumberTest, Formats) {
  const PatternCase& c = GetParam();
  EXPECT_EQ(FormatNumber(c.value, c.pattern, *c.format), c.expected) << c.value << " " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Values, FormatNumberTest,
    ::testing::Values(
        PatternCase{7040.0, "###,###.000", &kComma, "7,040.000"}, PatternCase{0.5, "###,###.000", &kComma, ".500"},
        PatternCase{1810.999, "###,###.000", &kComma, "1,810.999"}, PatternCase{0, "###,###.000", &kComma, ".000"},
        PatternCase{14070.126, "###,###.000", &kComma, "14,070.126"},
        PatternCase{1234567.8, "###,###.000", &kComma, "1,234,567.800"},
        PatternCase{14070.126, "###,###.000", &kStop, "14.070,126"}, PatternCase{500, "###,###.000", &kStop, "500,000"},
        PatternCase{14070.126, "###,###.000", &kBlank, "14 070,126"},
        PatternCase{-1234567.8, "#,##0.00", &kComma, "-1,234,567.80"}, PatternCase{0, "#,##0.00", &kComma, "0.00"},
        PatternCase{1.0005, "0.000", &kComma, "1.001"}, PatternCase{9.9995, "0.000", &kComma, "10.000"},
        PatternCase{-2.5, "0", &kComma, "-3"}, PatternCase{-0.001, "0.00", &kComma, "-0.00"},
        PatternCase{-0.0004, "###,###.000", &kStop, "-,000"}, PatternCase{-0.0, "###,###.000", &kComma, ".000"},
        PatternCase{3508.578369140625, "0.00000000000", &kComma, "3508.57836914063"},
        PatternCase{1e20, "000", &kComma, "100000000000000000000"}, PatternCase{5, "000", &kComma, "005"},
        PatternCase{5, "0.##", &kComma, "5."}, PatternCase{1.256, "0.0#", &kComma, "1.26"},
        PatternCase{1.2, "0.0#", &kComma, "1.2"}, PatternCase{0.00005, "0.0000", &kComma, "0.0001"}));

TEST(FormatNumberTest, EmptyPatternIsGeneralAndBadInputFails) {
  EXPECT_EQ(FormatNumber(14025000.5, "", kStop), "14025000,5");
  EXPECT_EQ(ErrorOf([] { FormatNumber(1, "0.0x", kComma); }), 5);
  EXPECT_EQ(ErrorOf([] { FormatNumber(1, "0.0.0", kComma); }), 5);
  EXPECT_EQ(ErrorOf([] { FormatNumber(std::nan(""), "0", kComma); }), 6);
}

TEST(DateValueTest, CountsDaysFromTheEpoch) {
  EXPECT_EQ(MakeDateValue(2000, 1, 1, 0, 0, 0), 36526);
  EXPECT_EQ(MakeDateValue(1999, 12, 31, 0, 0, 0), 36525);
  EXPECT_EQ(MakeDateValue(2000, 2, 29, 12, 0, 0), 36585.5);
  EXPECT_EQ(MakeDateValue(2100, 3, 1, 0, 0, 0) - MakeDateValue(2100, 2, 28, 0, 0, 0), 1);
  EXPECT_EQ(MakeDateValue(100, 1, 1, 0, 0, 0), -657434);
  EXPECT_EQ(MakeDateValue(9999, 12, 31, 0, 0, 0), 2958465);
  EXPECT_EQ(MakeDateValue(1899, 12, 29, 6, 0, 0), -1.25);  // before the epoch the time still counts forwards
  EXPECT_EQ(ErrorOf([] { MakeDateValue(2100, 2, 29, 0, 0, 0); }), 5);
  EXPECT_EQ(ErrorOf([] { MakeDateValue(99, 12, 31, 0, 0, 0); }), 5);
  EXPECT_EQ(ErrorOf([] { MakeDateValue(2000, 1, 1, 24, 0, 0); }), 5);
}

TEST(TimeStampTest, FormatsToTheNearestSecond) {
  EXPECT_EQ(FormatTimeStamp(36585.5), "29-Feb-2000 12:00:00");
  EXPECT_EQ(FormatTimeStamp(-1.25), "29-Dec-1899 06:00:00");
  EXPECT_EQ(FormatTimeStamp(-1.99999999), "30-Dec-1899 00:00:00");
  EXPECT_EQ(FormatTimeStamp(36526 + 0.4 / 86400), "01-Jan-2000 00:00:00");
  EXPECT_EQ(FormatTimeStamp(36526 + 0.6 / 86400), "01-Jan-2000 00:00:01");
  EXPECT_EQ(FormatTimeStamp(73109 + 86399.6 / 86400), "01-Mar-2100 00:00:00");
  EXPECT_EQ(ErrorOf([] { FormatTimeStamp(2958465.999999999); }), 6);
  EXPECT_EQ(ErrorOf([] { FormatTimeStamp(-657435.0); }), 6);
  EXPECT_EQ(ErrorOf([] { FormatTimeStamp(std::nan("")); }), 6);
}

TEST(TimeStampTest, AgreesWithMakeDateValueAcrossTheCalendar) {
  const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int lastDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  for (int year = 100; year <= 9999; year += 3) {
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    for (int month = 1; month <= 12; ++month) {
      for (int day : {1, lastDays[month - 1] + (month == 2 && leap ? 1 : 0)}) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%02d-%s-%04d 07:08:09", day, months[month - 1], year);
        EXPECT_EQ(FormatTimeStamp(MakeDateValue(year, month, day, 7, 8, 9)), expected);
      }
    }
  }
}

}  // namespace
}  // namespace bridge::common
