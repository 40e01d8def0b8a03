// Timer controls: an interval in milliseconds and an enabled flag; arming is enabling.
#pragma once

#include <cstdint>
#include <functional>

namespace bridge::platform {

/// A timer control. Its tick runs on the user-interface thread while it is enabled.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetInterval(std::int32_t milliseconds) = 0;
  virtual std::int32_t Interval() const = 0;
  /// Enabling (re)starts the interval; a timer with interval 0 never ticks.
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  /// The tick handler; the platform catches nothing for it, so handlers trap their own errors.
  virtual void OnTick(std::function<void()> handler) = 0;
};

}  // namespace bridge::platform
