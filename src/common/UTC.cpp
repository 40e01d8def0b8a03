#include "common/UTC.h"

namespace bridge::common {

DateValue UTC::CurrentTime() {
  const platform::SystemTime now = clock_.GetSystemTime();
  const auto days = static_cast<double>(DayNumber(now.year, now.month, now.day));
  // Milliseconds are left out on purpose: two readings in one second are equal.
  return days + (now.hour * 3600 + now.minute * 60 + now.second) / 86400.0;
}

std::int16_t UTC::MonthDays(std::int16_t month, bool leapYear) {
  if (month < 2 || month > 12) return 0;
  return static_cast<std::int16_t>(DaysInMonth(month - 1, leapYear));
}

}  // namespace bridge::common
