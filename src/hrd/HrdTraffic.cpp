#include "hrd/HrdTraffic.h"

#include "common/ErrorTrap.h"

namespace bridge::hrd {

void HrdTraffic::Run(std::function<void()> exchange) {
  queue_.push_back(std::move(exchange));
  if (busy_) return;
  busy_ = true;
  while (!queue_.empty()) {
    auto next = std::move(queue_.front());
    queue_.pop_front();
    common::Ignore(next);
  }
  busy_ = false;
  if (onIdle_) common::Ignore(onIdle_);
}

}  // namespace bridge::hrd
