// The hidden DDEServer form: the published radio-state items and the deferred-command timers.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "common/Common.h"
#include "common/LinkBox.h"
#include "hrd/DeferredCommands.h"
#include "platform/Controls.h"
#include "platform/Dde.h"
#include "platform/Timer.h"
#include "radio/Radio.h"
#include "server/FormTopic.h"
#include "server/MainWindowRequests.h"

namespace bridge::server {

class DDECommon;

/// The `DDEServer` form. It is loaded on first use and never shown; its text boxes and
/// labels are the items that the suite's programs read on topic "DDEServer".
class DDEServer {
 public:
  DDEServer(platform::Ui& ui, platform::DdeServer& ddeServer, platform::DdeClient& ddeClient, radio::Radio& radio,
            common::Common& common, DDECommon& ddeCommon)
      : ui_(ui),
        ddeServer_(ddeServer),
        ddeClient_(ddeClient),
        radio_(radio),
        common_(common),
        ddeCommon_(ddeCommon),
        deferredCommands_(deferred, radio) {}

  /// The main window serves the window commands from now on; null when it goes.
  void ServeMainWindow(MainWindowRequests* window) { mainWindow_ = window; }

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

  /// Handles one client command: accepted, refused, or refused after a failure reported
  /// under "DDEServer.LinkExecute".
  void LinkExecute(std::string_view command, platform::ExecuteAnswer& answer);

  // The HRD command senders.
  void SetHRDFreq(double theFreq);
  void SetHRDAltFreq(double theFreq);
  void SetHRDMode(const std::string& theMode);
  void SetHRDTX(bool transmit);
  void SetHRDSplit(bool theValue);
  void SetHRDDual(bool theValue);

  // Deferred-command ticks; each reports under "DDEServer.<timer>_Timer".
  void SetFreqTimer_Timer();
  void SetModeTimer_Timer();
  void SetFreqModeTimer_Timer();
  void SetSplitFreqTimer_Timer();
  void SetSplitTimer_Timer();
  void SetDualTimer_Timer();

  /// Requests stored for the deferred-command timers.
  hrd::DeferredRequest deferred;

  // Deferred-command timers.
  std::unique_ptr<platform::Timer> SetFreqTimer;
  std::unique_ptr<platform::Timer> SetModeTimer;
  std::unique_ptr<platform::Timer> SetFreqModeTimer;
  std::unique_ptr<platform::Timer> SetSplitFreqTimer;
  std::unique_ptr<platform::Timer> SetSplitTimer;
  std::unique_ptr<platform::Timer> SetDualTimer;

 private:
  void Dispatch(std::string_view command, platform::ExecuteAnswer& answer);
  /// Arms a deferred-command timer: the stored request goes out after the answer.
  static void Arm(platform::Timer& timer) { timer.SetEnabled(true); }
  platform::TextBox* AddItem(const char* name, const char* initial);
  platform::Label& AddLabel(const char* name, const char* caption);

  platform::Ui& ui_;
  platform::DdeServer& ddeServer_;
  platform::DdeClient& ddeClient_;
  radio::Radio& radio_;
  common::Common& common_;
  DDECommon& ddeCommon_;
  hrd::DeferredCommands deferredCommands_;
  MainWindowRequests* mainWindow_ = nullptr;
  std::unique_ptr<platform::Window> form_;
  std::unique_ptr<FormTopic> topic_;
};

}  // namespace bridge::server
