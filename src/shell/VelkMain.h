// The main window: frequency and mode display, the HRD warning, the version, and the
// hidden HRD link boxes; the start-up and shutdown of the program run from here.
#pragma once

#include <cstdint>
#include <memory>

#include "common/Common.h"
#include "platform/Platform.h"
#include "radio/Radio.h"
#include "server/DDECommon.h"
#include "server/DDEServer.h"
#include "server/DDEServerModule.h"
#include "server/FormTopic.h"
#include "server/MainWindowRequests.h"
#include "shell/VelkModule.h"

namespace bridge::shell {

/// The `VelkMain` form. Constructing it creates the window hidden, with its controls at
/// their designed places; `Form_Load` then starts the program.
class VelkMain : public server::MainWindowRequests {
 public:
  VelkMain(const platform::Platform& platform, common::Common& common, VelkModule& velkModule, radio::Radio& radio,
           server::DDEServer& ddeServer, server::DDEServerModule& ddeServerModule, server::DDECommon& ddeCommon);
  ~VelkMain() override;
  VelkMain(const VelkMain&) = delete;
  VelkMain& operator=(const VelkMain&) = delete;

  /// The start-up sequence; reports under "VelkMain.Form_load".
  void Form_Load();
  /// The shutdown steps, then the end of HRD's links; `cancel` is never changed. Reports
  /// under "VelkMain.Form_Unload".
  void Form_Unload(std::int16_t& cancel);
  /// Carries out a requested shutdown and ends the process.
  void ShutdownTimer_Timer();
  /// Publishes the window state; reports under "VelkMain.Form_Resize".
  void Form_Resize();
  /// Discards every typed character.
  void FreqDisplay_KeyPress(std::int16_t& keyAscii);
  void HRDMode_KeyPress(std::int16_t& keyAscii);
  /// Discards every character typed into one of the hidden HRD link boxes.
  void HRDBox_KeyPress(std::int16_t& keyAscii);

  /// Opens the five links to HRD; reports nothing.
  void EstablishHRDLink();
  /// Supervises the HRD link once a second; reports nothing.
  void HRDTimer_Timer();
  /// Logs once a run that HRD may be out of reach behind a higher integrity level.
  void ReportOutOfReach();
  /// Publishes HRD's frequency; reports under "VelkMain.HRDFreq_Change, HRD Freq = …".
  void HRDFreq_Change();
  /// VFO B's frequency is linked but not published.
  void HRDAltFreq_Change();
  /// Publishes HRD's mode; reports under "VelkMain.HRDMode_Change".
  void HRDMode_Change();
  /// Publishes the transmit state; reports under "VelkMain.HRDTX_Change".
  void HRDTX_Change();
  /// The button status is linked but not published.
  void HRDButton_Change();

  platform::Window& Form() { return *form_; }

  // The client commands that act on this window.
  void RequestShutdown() override { ShutdownTimer_->SetEnabled(true); }
  void Activate() override;
  void ResetWindows(std::int32_t position) override;
  void RepublishMode() override { HRDMode_Change(); }

  // What tests and the program's builder look at, named as on the form.
  platform::TextBox& FreqDisplay() { return *FreqDisplay_; }
  platform::Timer& HRDTimer() { return *HRDTimer_; }
  platform::Timer& ShutdownTimer() { return *ShutdownTimer_; }

 private:
  void CreateControls();
  /// The box of the main window that shows a value of the radio's.
  platform::TextBox* BoxFor(radio::Value value);

  const platform::Platform& platform_;
  common::Common& common_;
  VelkModule& velkModule_;
  radio::Radio& radio_;
  server::DDEServer& ddeServer_;
  server::DDEServerModule& ddeServerModule_;
  server::DDECommon& ddeCommon_;
  std::unique_ptr<platform::Window> form_;
  server::FormTopic topic_;

  // Controls, named as on the form.
  platform::Label* ErrorLogLabel_ = nullptr;
  platform::Label* NoHRDLabel_ = nullptr;
  platform::Label* Version_ = nullptr;
  platform::TextBox* FreqDisplay_ = nullptr;
  platform::TextBox* HRDMode_ = nullptr;
  platform::TextBox* HRDFreq_ = nullptr;
  platform::TextBox* HRDAltFreq_ = nullptr;
  platform::TextBox* HRDTX_ = nullptr;
  platform::TextBox* HRDButton_ = nullptr;
  std::unique_ptr<platform::Timer> HRDTimer_;
  std::unique_ptr<platform::Timer> ShutdownTimer_;
  bool outOfReachReported_ = false;
};

}  // namespace bridge::shell
