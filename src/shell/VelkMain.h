// The main window: frequency and mode display, the HRD warning, the version, and the
// hidden HRD link boxes; the start-up and shutdown of the program run from here.
#pragma once

#include <cstdint>
#include <memory>

#include "common/Common.h"
#include "platform/Platform.h"
#include "server/DDEServer.h"
#include "server/FormTopic.h"
#include "shell/VelkModule.h"

namespace bridge::shell {

/// The `VelkMain` form. Constructing it creates the window hidden, with its controls at
/// their designed places; `Form_Load` then starts the program.
class VelkMain {
 public:
  VelkMain(const platform::Platform& platform, common::Common& common, VelkModule& velkModule,
           server::DDEServer& ddeServer);

  /// The start-up sequence; reports under "VelkMain.Form_load".
  void Form_Load();
  /// The shutdown steps; `cancel` is never changed. Reports under "VelkMain.Form_Unload".
  void Form_Unload(std::int16_t& cancel);
  /// Carries out a requested shutdown and ends the process.
  void ShutdownTimer_Timer();
  /// Publishes the window state; reports under "VelkMain.Form_Resize".
  void Form_Resize();
  /// Discards every typed character.
  void FreqDisplay_KeyPress(std::int16_t& keyAscii);
  void HRDMode_KeyPress(std::int16_t& keyAscii);

  /// Opens the links to HRD.
  void EstablishHRDLink();
  void HRDTimer_Timer();
  void HRDFreq_Change();
  void HRDAltFreq_Change();
  void HRDMode_Change();
  void HRDTX_Change();
  void HRDButton_Change();

  platform::Window& Form() { return *form_; }

  // Controls, named as on the form.
  platform::Label* ErrorLogLabel = nullptr;
  platform::Label* NoHRDLabel = nullptr;
  platform::Label* Version = nullptr;
  platform::TextBox* FreqDisplay = nullptr;
  platform::TextBox* HRDMode = nullptr;
  platform::TextBox* HRDFreq = nullptr;
  platform::TextBox* HRDAltFreq = nullptr;
  platform::TextBox* HRDTX = nullptr;
  platform::TextBox* HRDButton = nullptr;
  std::unique_ptr<platform::Timer> HRDTimer;
  std::unique_ptr<platform::Timer> ShutdownTimer;

 private:
  void CreateControls();

  const platform::Platform& platform_;
  common::Common& common_;
  VelkModule& velkModule_;
  server::DDEServer& ddeServer_;
  std::unique_ptr<platform::Window> form_;
  server::FormTopic topic_;
};

}  // namespace bridge::shell
