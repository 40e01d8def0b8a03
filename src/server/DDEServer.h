// The hidden DDEServer form: the published radio-state items and the deferred-command timers.
#pragma once

#include <memory>
#include <vector>

#include "platform/Controls.h"
#include "platform/Timer.h"

namespace bridge::server {

/// The `DDEServer` form. It is loaded on first use and never shown; its text boxes and
/// labels are the items that the suite's programs read.
class DDEServer {
 public:
  explicit DDEServer(platform::Ui& ui) : ui_(ui) {}

  /// Loads the form, hidden, with its items at their initial values; harmless when loaded.
  void Load();
  /// Unloads the form: its window, items and timers go.
  void Unload();
  bool Loaded() const { return form_ != nullptr; }

  // Published items; valid while the form is loaded.
  platform::TextBox* RadioVFO = nullptr;
  platform::TextBox* BandSpreadEnabled = nullptr;
  platform::TextBox* XmitFreq = nullptr;
  platform::TextBox* RadioState = nullptr;
  platform::TextBox* RadioSplit = nullptr;
  platform::TextBox* RcvFreq = nullptr;
  platform::TextBox* RadioCWCapability = nullptr;
  platform::TextBox* RadioCWSpeed = nullptr;
  platform::TextBox* RadioSMeterString = nullptr;
  platform::TextBox* RadioSMeter = nullptr;
  platform::TextBox* RadioMode = nullptr;
  platform::TextBox* MainWindowState = nullptr;
  platform::TextBox* Mode = nullptr;
  /// Every item of the form, text boxes and labels, in the form's order.
  const std::vector<platform::Control*>& Items() const { return items_; }

  // Deferred-command timers.
  std::unique_ptr<platform::Timer> SetFreqTimer;
  std::unique_ptr<platform::Timer> SetModeTimer;
  std::unique_ptr<platform::Timer> SetFreqModeTimer;
  std::unique_ptr<platform::Timer> SetSplitFreqTimer;
  std::unique_ptr<platform::Timer> SetSplitTimer;
  std::unique_ptr<platform::Timer> SetDualTimer;

 private:
  platform::TextBox* AddItem(const char* name, const char* initial);
  void AddLabel(const char* name, const char* caption);

  platform::Ui& ui_;
  std::unique_ptr<platform::Window> form_;
  std::vector<platform::Control*> items_;
};

}  // namespace bridge::server
