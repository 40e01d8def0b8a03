// One exchange with HRD at a time: what must talk to HRD while another exchange still
// waits for its answer is queued and goes out, in order, right after it.
#pragma once

#include <deque>
#include <functional>

namespace bridge::hrd {

/// Serialises the bridge's synchronous DDE exchanges with HRD. While an EXECUTE to HRD
/// waits for its answer, the DDE layer goes on dispatching messages, so a client's request
/// can arrive and ask for another exchange; starting it there would nest one synchronous
/// transaction inside another, which the DDE layer refuses. It waits its turn instead.
class HrdTraffic {
 public:
  /// Runs `exchange` now, or queues it when an exchange is under way.
  void Run(std::function<void()> exchange);
  /// Whether an exchange is under way.
  bool Busy() const { return busy_; }
  /// Runs after the last queued exchange has gone out.
  void OnIdle(std::function<void()> listener) { onIdle_ = std::move(listener); }

 private:
  bool busy_ = false;
  std::deque<std::function<void()>> queue_;
  std::function<void()> onIdle_;
};

}  // namespace bridge::hrd
