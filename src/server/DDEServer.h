// The hidden DDEServer form: the published radio-state items and the deferred-command timers.
#pragma once

#include <memory>
#include <vector>

#include "common/LinkBox.h"
#include "platform/Controls.h"
#include "platform/Dde.h"
#include "platform/Timer.h"
#include "server/FormTopic.h"

namespace bridge::server {

/// The `DDEServer` form. It is loaded on first use and never shown; its text boxes and
/// labels are the items that the suite's programs read on topic "DDEServer".
class DDEServer {
 public:
  DDEServer(platform::Ui& ui, platform::DdeServer& ddeServer, platform::DdeClient& ddeClient)
      : ui_(ui), ddeServer_(ddeServer), ddeClient_(ddeClient) {}

  /// Loads the form, hidden, with its items at their initial values; harmless when loaded.
  void Load();
  /// Makes the form the DDE source of topic "DDEServer". Throws Failure when refused.
  void BecomeSource();
  /// Unloads the form: its DDE source role, its links, items and timers end.
  void Unload();
  bool Loaded() const { return form_ != nullptr; }
  platform::Window& Form() { return *form_; }

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
  /// The client end of the start and stop notices to the suite's programs.
  std::unique_ptr<common::LinkBox> DDEStart;

  // Deferred-command timers.
  std::unique_ptr<platform::Timer> SetFreqTimer;
  std::unique_ptr<platform::Timer> SetModeTimer;
  std::unique_ptr<platform::Timer> SetFreqModeTimer;
  std::unique_ptr<platform::Timer> SetSplitFreqTimer;
  std::unique_ptr<platform::Timer> SetSplitTimer;
  std::unique_ptr<platform::Timer> SetDualTimer;

 private:
  platform::TextBox* AddItem(const char* name, const char* initial);
  platform::Label& AddLabel(const char* name, const char* caption);

  platform::Ui& ui_;
  platform::DdeServer& ddeServer_;
  platform::DdeClient& ddeClient_;
  std::unique_ptr<platform::Window> form_;
  std::unique_ptr<FormTopic> topic_;
};

}  // namespace bridge::server
