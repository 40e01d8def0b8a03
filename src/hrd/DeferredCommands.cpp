#include "hrd/DeferredCommands.h"

#include <algorithm>

namespace bridge::hrd {

DeferredCommands::DeferredCommands(DeferredRequest& request, radio::Radio& radio) : request_(request), radio_(radio) {
  radio_.OnIdle([this] { RearmWaiting(); });
}

DeferredCommands::~DeferredCommands() { radio_.OnIdle(nullptr); }

bool DeferredCommands::Disarm(platform::Timer& timer) {
  timer.SetEnabled(false);
  if (!radio_.Busy()) return true;
  if (std::find(waiting_.begin(), waiting_.end(), &timer) == waiting_.end()) waiting_.push_back(&timer);
  return false;
}

void DeferredCommands::RearmWaiting() {
  std::vector<platform::Timer*> waiting;
  waiting.swap(waiting_);
  for (platform::Timer* timer : waiting) timer->SetEnabled(true);
}

void DeferredCommands::Tick(DeferredTimer which, platform::Timer& timer, const common::NumberFormat& format) {
  if (!Disarm(timer)) return;
  switch (which) {
    case DeferredTimer::SetFreqTimer:
      radio_.SetFreq(request_.DeferredFreq, format);
      break;
    case DeferredTimer::SetModeTimer:
      radio_.SetMode(request_.DeferredMode);
      break;
    case DeferredTimer::SetFreqModeTimer:
      // The mode goes first: a radio may move the frequency when its mode changes.
      radio_.SetMode(request_.DeferredMode);
      radio_.SetFreq(request_.DeferredFreq, format);
      break;
    case DeferredTimer::SetSplitFreqTimer:
      radio_.SetAltFreq(request_.DeferredSplitFreq, format);
      break;
    case DeferredTimer::SetSplitTimer:
      radio_.SetSplit(request_.DeferredSplit);
      break;
    case DeferredTimer::SetDualTimer:
      radio_.SetDual(request_.DeferredDual);
      break;
  }
}

}  // namespace bridge::hrd
