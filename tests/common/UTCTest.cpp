#include "common/UTC.h"

#include <gtest/gtest.h>

#include "common/LocaleInfo.h"
#include "platform/sim/FakePlatform.h"

namespace bridge::common {
namespace {

class RecordingReporter : public ErrorReporter {
 public:
  void ReportError(std::int32_t code, std::string_view name) noexcept override {
    reports.push_back(std::to_string(code) + " " + std::string(name));
  }
  std::vector<std::string> reports;
};

class UTCTest : public ::testing::Test {
 protected:
  double At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    clock.now = {year, month, 0, day, hour, minute, second, ms};
    return utc.CurrentTime();
  }
  platform::sim::FakeClock clock;
  UTC utc{clock};
};

TEST_F(UTCTest, CountsDaysFromTheEndOf1899) {
  EXPECT_DOUBLE_EQ(At(2000, 1, 1), 36526);
  EXPECT_DOUBLE_EQ(At(2000, 2, 29, 12), 36585.5);
  EXPECT_DOUBLE_EQ(At(2000, 12, 31, 23, 59, 59), 36891 + 86399.0 / 86400);
}

TEST_F(UTCTest, TwentyOneHundredIsNoLeapYear) {
  EXPECT_DOUBLE_EQ(At(2100, 3, 1), At(2100, 2, 28) + 1);
  EXPECT_DOUBLE_EQ(At(2000, 3, 1), At(2000, 2, 28) + 2);
}

TEST_F(UTCTest, AClockSetBefore2000StillCountsFromTheEpoch) {
  EXPECT_DOUBLE_EQ(At(1999, 12, 31, 18), 36525.75);
  EXPECT_DOUBLE_EQ(At(1980, 1, 1), 29221);
}

TEST_F(UTCTest, MillisecondsNeverChangeTheValue) {
  EXPECT_DOUBLE_EQ(At(2026, 12, 6, 21, 30, 15, 0), At(2026, 12, 6, 21, 30, 15, 999));
}

TEST_F(UTCTest, AgreesWithTheCalendarOverTheCenturies) {
  for (int year = 2000; year <= 2400; year += 7)
    for (int month = 1; month <= 12; ++month)
      ASSERT_DOUBLE_EQ(At(year, month, 28, 6, 30, 45), MakeDateValue(year, month, 28, 6, 30, 45))
          << year << "-" << month;
}

TEST(MonthDaysTest, GivesTheLengthOfThePreviousMonth) {
  EXPECT_EQ(UTC::MonthDays(3, true), 29);
  EXPECT_EQ(UTC::MonthDays(3, false), 28);
  EXPECT_EQ(UTC::MonthDays(2, false), 31);
  EXPECT_EQ(UTC::MonthDays(12, true), 30);
  EXPECT_EQ(UTC::MonthDays(1, true), 0);
  EXPECT_EQ(UTC::MonthDays(0, false), 0);
  EXPECT_EQ(UTC::MonthDays(13, false), 0);
  int total = 0;
  for (std::int16_t month = 1; month <= 12; ++month) total += UTC::MonthDays(month, false);
  EXPECT_EQ(total, 365 - 31);  // every month but December
}

TEST(LocaleInfoTest, UnsetLocaleGivesZeroQuestionMarksAndEmptyTexts) {
  platform::sim::FakeSystemInfo system;
  RecordingReporter report;
  LocaleInfo locale(system, report);
  EXPECT_EQ(locale.GetLocaleID(), 0);
  EXPECT_EQ(locale.GetLocaleLanguage(), "?");
  EXPECT_EQ(locale.GetLocaleCountry(), "?");
  EXPECT_EQ(locale.GetLocaleOEMCodePage(), "?");
  EXPECT_EQ(locale.GetLocaleANSICodePage(), "");
  EXPECT_EQ(locale.GetLocaleDecimalSeparator(), "");
  EXPECT_EQ(locale.GetLocaleThousandSeparator(), "");
  EXPECT_TRUE(report.reports.empty());
}

TEST(LocaleInfoTest, UserLocaleInfoDropsTheTerminatingNul) {
  platform::sim::FakeSystemInfo system;
  system.localeValues[{0x0409, 0x1001}] = "English";
  RecordingReporter report;
  LocaleInfo locale(system, report);
  EXPECT_EQ(locale.GetUserLocaleInfo(0x0409, 0x1001), "English");
  EXPECT_EQ(locale.GetUserLocaleInfo(0x0409, 0x1002), "");
}

}  // namespace
}  // namespace bridge::common
