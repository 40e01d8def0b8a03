// The platform's UTC clock.
#pragma once

namespace bridge::platform {

/// A UTC clock reading, field for field as the system reports it.
struct SystemTime {
  int year = 2000;
  int month = 1;
  int dayOfWeek = 6;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

/// Reads the current UTC time.
class Clock {
 public:
  virtual ~Clock() = default;
  /// The current UTC time; never throws.
  virtual SystemTime GetSystemTime() = 0;
};

}  // namespace bridge::platform
