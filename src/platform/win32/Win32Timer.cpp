// The program's timers on the user-interface thread: window timers, and posted ticks for
// "as soon as the current event is over".
#include <windows.h>

#include <functional>
#include <memory>

#include "base/Failure.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

// A timer of 1 ms stands for "as soon as the current event is over": its first tick is a
// message posted to the queue, delivered at the next turn of the message loop, where a
// window timer would wait for the system's timer granularity (10 to 16 ms). Arming it again
// before that turn posts nothing more, so requests stored meanwhile share the one tick. A
// timer still enabled after its tick goes on as an ordinary window timer.
constexpr UINT kSoonTick = WM_APP + 1;

}  // namespace

class Win32Timer : public Timer {
 public:
  explicit Win32Timer(Win32Ui& ui) : ui_(ui), id_(ui.nextTimerId_++) { ui_.timers_[id_] = this; }
  ~Win32Timer() override {
    Stop();
    ui_.timers_.erase(id_);
  }
  Win32Timer(const Win32Timer&) = delete;
  Win32Timer& operator=(const Win32Timer&) = delete;
  void SetInterval(std::int32_t milliseconds) override {
    interval_ = milliseconds;
    Apply();
  }
  std::int32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Apply();
  }
  bool Enabled() const override { return enabled_; }
  void OnTick(std::function<void()> handler) override { tick_ = std::move(handler); }

  /// Runs the handler from a copy: the handler may destroy this timer. Nothing of the
  /// timer is touched after the handler has run.
  void Tick() {
    if (!enabled_ || !tick_) return;
    auto tick = tick_;
    tick();
  }
  void SoonTick() {
    posted_ = false;
    Tick();
  }
  /// After a posted tick: a timer still enabled goes on as an ordinary window timer.
  void GoOnAfterSoonTick() {
    if (enabled_ && interval_ > 0) Start();
  }

 private:
  void Apply() {
    if (!enabled_ || interval_ <= 0) {
      Stop();
    } else if (interval_ == 1) {
      if (!posted_) posted_ = PostMessageA(ui_.timerWindow_.Get(), kSoonTick, id_, 0) != 0;
    } else {
      Start();
    }
  }
  // A window timer is set again with the same id to restart it, and killed once.
  void Start() { running_ = SetTimer(ui_.timerWindow_.Get(), id_, static_cast<UINT>(interval_), nullptr) != 0; }
  void Stop() {
    if (std::exchange(running_, false)) KillTimer(ui_.timerWindow_.Get(), id_);
  }

  Win32Ui& ui_;
  UINT_PTR id_;
  std::int32_t interval_ = 0;
  bool enabled_ = false;
  bool posted_ = false;
  bool running_ = false;  // a window timer is set
  std::function<void()> tick_;
};

std::unique_ptr<Timer> Win32Ui::CreateTimer() { return std::make_unique<Win32Timer>(*this); }

LRESULT CALLBACK Win32Ui::TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == kSoonTick) {
    auto* ui = reinterpret_cast<Win32Ui*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (ui) {
      // A timer destroyed while its message waited is simply not found.
      auto timer = ui->timers_.find(static_cast<UINT_PTR>(wParam));
      if (timer != ui->timers_.end()) {
        Win32Timer* target = timer->second;
        const UINT_PTR id = timer->first;
        base::Ignore([&] { message == kSoonTick ? target->SoonTick() : target->Tick(); });
        // The tick may have destroyed its own timer: it is looked up again before going on.
        if (message == kSoonTick)
          if (auto still = ui->timers_.find(id); still != ui->timers_.end()) still->second->GoOnAfterSoonTick();
      }
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace bridge::platform::win32
