// The hidden DDEServer form: the published radio-state items and the deferred-command timers.
#pragma once

#include <array>
#include <cstddef>
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
        deferredCommands_(deferred_, radio) {
    radio_.OnTransmitFailed([this](bool transmit, std::int32_t code) { HRDTX_Failed(transmit, code); });
  }
  ~DDEServer() { radio_.OnTransmitFailed(nullptr); }
  DDEServer(const DDEServer&) = delete;
  DDEServer& operator=(const DDEServer&) = delete;

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

  // Published items, named as clients read them; valid while the form is loaded.
  platform::TextBox& XmitFreq() { return *XmitFreq_; }
  platform::TextBox& RadioState() { return *RadioState_; }
  platform::TextBox& RcvFreq() { return *RcvFreq_; }
  platform::TextBox& RadioCWCapability() { return *RadioCWCapability_; }
  platform::TextBox& RadioCWSpeed() { return *RadioCWSpeed_; }
  platform::TextBox& RadioMode() { return *RadioMode_; }
  platform::TextBox& MainWindowState() { return *MainWindowState_; }
  platform::TextBox& Mode() { return *Mode_; }
  /// The client end of the start and stop notices to the suite's programs.
  common::LinkBox& DDEStart() { return *DDEStart_; }

  /// Handles one client command: accepted, refused, or refused after a failure reported
  /// under "DDEServer.LinkExecute". Keying and unkeying wait on HRD, which the DDE layer's
  /// callback must not: they are held (`held` false) and carried out when the layer hands
  /// them back from the loop (`held` true), before the client has its answer.
  void LinkExecute(std::string_view command, platform::ExecuteAnswer& answer, bool held = false);

  /// Keys or unkeys the transmitter at once; the other commands go out from the
  /// deferred-command ticks.
  void SetHRDTX(bool transmit);
  /// Keying or unkeying did not reach a linked HRD: one line in the log.
  void HRDTX_Failed(bool transmit, std::int32_t code);

  /// The tick of a deferred-command timer; reports under "DDEServer.<timer>_Timer".
  void DeferredTimer_Timer(hrd::DeferredTimer which);
  /// A deferred-command timer; valid while the form is loaded.
  platform::Timer& Timer(hrd::DeferredTimer which) { return *deferredTimers_[static_cast<std::size_t>(which)]; }
  /// Requests stored for the deferred-command timers.
  const hrd::DeferredRequest& Deferred() const { return deferred_; }

 private:
  void Dispatch(std::string_view command, platform::ExecuteAnswer& answer, bool held);
  /// Arms a deferred-command timer: the stored request goes out after the answer.
  void Arm(hrd::DeferredTimer which) { Timer(which).SetEnabled(true); }
  platform::TextBox* AddItem(const char* name, const char* initial);
  platform::Label& AddLabel(const char* name, const char* caption);

  platform::Ui& ui_;
  platform::DdeServer& ddeServer_;
  platform::DdeClient& ddeClient_;
  radio::Radio& radio_;
  common::Common& common_;
  DDECommon& ddeCommon_;
  hrd::DeferredRequest deferred_;
  hrd::DeferredCommands deferredCommands_;
  std::array<std::unique_ptr<platform::Timer>, hrd::kDeferredTimerCount> deferredTimers_;
  MainWindowRequests* mainWindow_ = nullptr;
  std::unique_ptr<platform::Window> form_;
  std::unique_ptr<FormTopic> topic_;
  platform::TextBox* XmitFreq_ = nullptr;
  platform::TextBox* RadioState_ = nullptr;
  platform::TextBox* RcvFreq_ = nullptr;
  platform::TextBox* RadioCWCapability_ = nullptr;
  platform::TextBox* RadioCWSpeed_ = nullptr;
  platform::TextBox* RadioMode_ = nullptr;
  platform::TextBox* MainWindowState_ = nullptr;
  platform::TextBox* Mode_ = nullptr;
  std::unique_ptr<common::LinkBox> DDEStart_;
};

}  // namespace bridge::server
