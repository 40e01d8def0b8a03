// Client requests for HRD that go out after the client has had its answer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/Conversions.h"
#include "platform/Timer.h"
#include "radio/Radio.h"

namespace bridge::hrd {

/// The latest stored requests; a tick reads them when it fires, so requests stored before
/// it coalesce into one command with the newest values.
struct DeferredRequest {
  double DeferredFreq = 0;
  double DeferredSplitFreq = 0;
  std::string DeferredMode;
  bool DeferredSplit = false;
  bool DeferredDual = false;
};

/// The deferred-command timers of the server form, named by what their ticks send.
enum class DeferredTimer { SetFreqTimer, SetModeTimer, SetFreqModeTimer, SetSplitFreqTimer, SetSplitTimer, SetDualTimer };
inline constexpr std::size_t kDeferredTimerCount = 6;

/// The ticks of the deferred-command timers. Each disarms its timer before it sends, so a
/// request stored while the send waits for the radio arms it again and goes out afterwards
/// with the newest values. A tick that comes while a command is under way steps aside
/// until it is over, and then fires again.
class DeferredCommands {
 public:
  DeferredCommands(DeferredRequest& request, radio::Radio& radio);
  ~DeferredCommands();
  DeferredCommands(const DeferredCommands&) = delete;
  DeferredCommands& operator=(const DeferredCommands&) = delete;

  /// The tick of `which`, whose timer is `timer`: sends what the stored request holds.
  void Tick(DeferredTimer which, platform::Timer& timer, const common::NumberFormat& format);
  /// The timers are going away: none is to be armed again.
  void ForgetTimers() { waiting_.clear(); }

 private:
  /// Disarms `timer`; when the radio is busy, also keeps it to be armed again once the
  /// radio is free and returns false.
  bool Disarm(platform::Timer& timer);
  void RearmWaiting();

  DeferredRequest& request_;
  radio::Radio& radio_;
  std::vector<platform::Timer*> waiting_;
};

}  // namespace bridge::hrd
