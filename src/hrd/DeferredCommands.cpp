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

void DeferredCommands::SetFreqTimer_Timer(platform::Timer& timer, const common::NumberFormat& format) {
  if (Disarm(timer)) radio_.SetFreq(request_.DeferredFreq, format);
}

void DeferredCommands::SetModeTimer_Timer(platform::Timer& timer) {
  if (Disarm(timer)) radio_.SetMode(request_.DeferredMode);
}

void DeferredCommands::SetFreqModeTimer_Timer(platform::Timer& timer, const common::NumberFormat& format) {
  if (!Disarm(timer)) return;
  // The mode goes first: a radio may move the frequency when its mode changes.
  radio_.SetMode(request_.DeferredMode);
  radio_.SetFreq(request_.DeferredFreq, format);
}

void DeferredCommands::SetSplitFreqTimer_Timer(platform::Timer& timer, const common::NumberFormat& format) {
  if (Disarm(timer)) radio_.SetAltFreq(request_.DeferredSplitFreq, format);
}

void DeferredCommands::SetSplitTimer_Timer(platform::Timer& timer) {
  if (Disarm(timer)) radio_.SetSplit(request_.DeferredSplit);
}

void DeferredCommands::SetDualTimer_Timer(platform::Timer& timer) {
  if (Disarm(timer)) radio_.SetDual(request_.DeferredDual);
}

}  // namespace bridge::hrd
