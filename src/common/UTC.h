// The current UTC time as a date value.
#pragma once

#include <cstdint>

#include "common/Conversions.h"
#include "platform/Clock.h"

namespace bridge::common {

/// The UTC clock of the log's time stamps and the start-up time.
class UTC {
 public:
  explicit UTC(platform::Clock& clock) : clock_(clock) {}

  /// The current UTC time to the second, as a date value; never fails.
  DateValue CurrentTime();

  /// The length of the month before `month` (0 for January and for numbers outside 1..12).
  static std::int16_t MonthDays(std::int16_t month, bool leapYear);

 private:
  platform::Clock& clock_;
};

}  // namespace bridge::common
