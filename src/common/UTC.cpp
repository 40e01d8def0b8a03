#include "common/UTC.h"

namespace bridge::common {
namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Date value of 31 December 1999; the day count is built up from here.
constexpr double kEndOf1999 = 36525;

}  // namespace

DateValue UTC::CurrentTime() {
  const platform::SystemTime now = clock_.GetSystemTime();
  double days = kEndOf1999;
  for (int year = 2000; year < now.year; ++year) days += IsLeapYear(year) ? 366 : 365;
  const bool leap = IsLeapYear(now.year);
  for (int month = 1; month <= now.month; ++month)
    days += MonthDays(static_cast<std::int16_t>(month), leap);
  days += now.day;
  // Milliseconds are left out on purpose: two readings in one second are equal.
  return days + (now.hour * 3600 + now.minute * 60 + now.second) / 86400.0;
}

std::int16_t UTC::MonthDays(std::int16_t month, bool leapYear) {
  // Indexed by month: the length of the month before it.
  static constexpr std::int16_t kDaysBefore[] = {0, 0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30};
  if (month < 1 || month > 12) return 0;
  if (month == 3 && leapYear) return 29;
  return kDaysBefore[month];
}

}  // namespace bridge::common
