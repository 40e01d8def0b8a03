#include "shell/VelkMain.h"

#include <initializer_list>
#include <string>

#include "common/ProgramIdentity.h"
#include "hrd/HrdTranslations.h"

namespace bridge::shell {
namespace {

using platform::Colour;
using platform::ControlSpec;
using platform::Font;

// The background of the window and its labels: the active window border's system colour.
constexpr std::uint32_t kColourActiveBorder = 10;
constexpr std::uint32_t kRedBgr = 0x0000FF;
constexpr std::uint32_t kBlueBgr = 0xFF0000;
constexpr std::uint32_t kBlackBgr = 0x000000;
constexpr std::uint32_t kWhiteBgr = 0xFFFFFF;

ControlSpec LabelSpec(const char* name, platform::ControlLayout layout, const char* caption,
                      std::uint32_t textBgr) {
  ControlSpec design;
  design.name = name;
  design.layout = layout;
  design.text = caption;
  design.foreground = Colour::Bgr(textBgr);
  design.background = Colour::System(kColourActiveBorder);
  return design;
}

ControlSpec FrequencyBoxSpec(const char* name, platform::ControlLayout layout, const char* toolTip) {
  ControlSpec design;
  design.name = name;
  design.layout = layout;
  design.text = hrd::kNoFrequencyYet;
  design.font = Font{"Arial", 9.75};
  design.foreground = Colour::Bgr(kBlackBgr);
  design.background = Colour::Bgr(kWhiteBgr);
  design.toolTip = toolTip;
  return design;
}

ControlSpec PlainBoxSpec(const char* name, platform::ControlLayout layout) {
  ControlSpec design;
  design.name = name;
  design.layout = layout;
  return design;
}

/// A box that only HRD writes: out of sight, and out of reach of the Tab key.
ControlSpec HiddenBoxSpec(ControlSpec design) {
  design.tabStop = false;
  return design;
}

}  // namespace

VelkMain::VelkMain(const platform::Platform& platform, common::Common& common, VelkModule& velkModule,
                   radio::Radio& radio, server::DDEServer& ddeServer, server::DDEServerModule& ddeServerModule,
                   server::DDECommon& ddeCommon)
    : platform_(platform),
      common_(common),
      velkModule_(velkModule),
      radio_(radio),
      ddeServer_(ddeServer),
      ddeServerModule_(ddeServerModule),
      ddeCommon_(ddeCommon),
      topic_(platform.ddeServer, "Velk_CorvaneUI") {
  platform::WindowSpec design;
  design.name = "VelkMain";
  design.caption = common::kMainCaption;
  design.clientWidth = 3165;
  design.clientHeight = 975;
  design.background = Colour::System(kColourActiveBorder);
  design.hasIcon = true;
  form_ = platform.ui.CreateForm(design);
  CreateControls();

  velkModule_.BindErrorLogLabel(*ErrorLogLabel_);
  form_->OnResize([this] { Form_Resize(); });
  FreqDisplay_->OnKeyPress([this](std::int16_t& key) { FreqDisplay_KeyPress(key); });
  HRDMode_->OnKeyPress([this](std::int16_t& key) { HRDMode_KeyPress(key); });
  // What HRD's boxes hold is what the suite is told: no keystroke may change it.
  for (platform::TextBox* box : {HRDFreq_, HRDAltFreq_, HRDTX_, HRDButton_})
    box->OnKeyPress([this](std::int16_t& key) { HRDBox_KeyPress(key); });
  HRDFreq_->OnChange([this] { HRDFreq_Change(); });
  HRDAltFreq_->OnChange([this] { HRDAltFreq_Change(); });
  HRDMode_->OnChange([this] { HRDMode_Change(); });
  HRDTX_->OnChange([this] { HRDTX_Change(); });
  HRDButton_->OnChange([this] { HRDButton_Change(); });
  HRDTimer_->OnTick([this] { HRDTimer_Timer(); });
  ShutdownTimer_->OnTick([this] { ShutdownTimer_Timer(); });

  // HRD's values land in the boxes, whose change events translate them.
  radio_.OnValue([this](radio::Value value, const std::string& text) { BoxFor(value)->SetText(text); });
  ddeServer_.ServeMainWindow(this);
}

VelkMain::~VelkMain() {
  ddeServer_.ServeMainWindow(nullptr);
  radio_.OnValue(nullptr);
}

void VelkMain::Activate() { ddeCommon_.Activate(*form_); }

void VelkMain::ResetWindows(std::int32_t position) { ddeServerModule_.ResetWindows(*form_, position); }

platform::TextBox* VelkMain::BoxFor(radio::Value value) {
  switch (value) {
    case radio::Value::Frequency:
      return HRDFreq_;
    case radio::Value::AltFrequency:
      return HRDAltFreq_;
    case radio::Value::Mode:
      return HRDMode_;
    case radio::Value::Transmit:
      return HRDTX_;
    case radio::Value::ButtonStatus:
      break;
  }
  return HRDButton_;
}

void VelkMain::CreateControls() {
  // Created in tab order. The HRD link boxes lie beyond the right edge of the client
  // area: they work as DDE destinations without being seen.
  ControlSpec freqDisplay = FrequencyBoxSpec("FreqDisplay", {1920, 120, 1185, 300}, "current frequency ");
  FreqDisplay_ = &form_->AddTextBox(freqDisplay);
  HRDMode_ = &form_->AddTextBox(PlainBoxSpec("HRDMode", {1920, 600, 1215, 285}));
  HRDFreq_ =
      &form_->AddTextBox(HiddenBoxSpec(FrequencyBoxSpec("HRDFreq", {4560, 720, 1185, 300}, "current frequency (hz)")));
  Version_ = &form_->AddLabel(LabelSpec("Version", {120, 675, 1215, 255}, "version", kBlackBgr));
  ErrorLogLabel_ = &form_->AddLabel(LabelSpec("ErrorLogLabel", {120, 200, 1095, 255}, "see ErrorLog", kRedBgr));
  NoHRDLabel_ = &form_->AddLabel(LabelSpec("NoHRDLabel", {120, 435, 1335, 255}, "HRD not running", kBlueBgr));
  HRDButton_ = &form_->AddTextBox(HiddenBoxSpec(PlainBoxSpec("HRDButton", {4560, 1800, 1215, 285})));
  HRDTX_ = &form_->AddTextBox(HiddenBoxSpec(PlainBoxSpec("HRDTX", {4560, 1440, 1215, 285})));
  HRDAltFreq_ =
      &form_->AddTextBox(HiddenBoxSpec(FrequencyBoxSpec("HRDAltFreq", {4560, 1080, 1185, 300}, "current frequency ")));

  HRDTimer_ = platform_.ui.CreateTimer();
  ShutdownTimer_ = platform_.ui.CreateTimer();
  ShutdownTimer_->SetInterval(1000);

  for (platform::Control* control : std::initializer_list<platform::Control*>{
           FreqDisplay_, HRDMode_, HRDFreq_, Version_, ErrorLogLabel_, NoHRDLabel_, HRDButton_, HRDTX_, HRDAltFreq_})
    topic_.Serve(*control);
}

void VelkMain::Form_Load() {
  common_.Initialize();
  velkModule_.ClearErrorLogFlag();
  common_.RestoreWindowPosition(*form_);
  // The window is a DDE source for its whole life.
  common::Trap(common_, "VelkMain.Form_load", [&] { topic_.Register(); });
  common::Trap(common_, "VelkMain.Form_load", [&] {
    // "see ErrorLog" starts hidden, even when an earlier run left a log; but a failure of
    // the steps above has already written to it in this run and must stay announced.
    if (common_.StartupLogged())
      velkModule_.ErrorLogExists();
    else
      ErrorLogLabel_->SetVisible(false);
    NoHRDLabel_->SetVisible(false);
    velkModule_.Initialize();
    ddeServer_.Load();
    ddeServer_.RadioCWCapability().SetText("0");
    ddeServer_.RadioCWSpeed().SetText("0");
    ddeServerModule_.Initialize();
    EstablishHRDLink();
    ShutdownTimer_->SetEnabled(false);
    ShutdownTimer_->SetInterval(1000);
    HRDTimer_->SetEnabled(true);
    HRDTimer_->SetInterval(1000);
    HRDFreq_Change();
    HRDAltFreq_Change();
    HRDMode_Change();
    HRDTX_Change();
    HRDButton_Change();
    Version_->SetText("version " + common::VersionText());
  });
}

void VelkMain::Form_Unload(std::int16_t& /*cancel*/) {
  common::Trap(common_, "VelkMain.Form_Unload", [&] {
    common_.SaveWindowPosition(*form_);
    ddeServerModule_.Terminate();
    common_.Terminate();
    velkModule_.Terminate();
  });
  // HRD's links end with the main window, before its boxes go: a value that came after
  // would have nowhere to land.
  radio_.Unlink();
  topic_.Unregister();
}

void VelkMain::ShutdownTimer_Timer() {
  common::Trap(common_, "VelkMain.ShutdownTimer_Timer", [&] {
    // Not inside a waiting DDE transaction: the tick comes again once it has returned.
    if (platform_.ddeClient.Waiting()) return;
    ShutdownTimer_->SetEnabled(false);
    std::int16_t cancel = 0;
    Form_Unload(cancel);
    platform_.ui.EndProcess(0);
  });
}

void VelkMain::Form_Resize() {
  common::Trap(common_, "VelkMain.Form_Resize", [&] {
    const auto state = static_cast<std::int16_t>(form_->State());
    ddeServer_.Load();
    ddeServer_.MainWindowState().SetText(std::to_string(state));
  });
}

void VelkMain::FreqDisplay_KeyPress(std::int16_t& keyAscii) { keyAscii = 0; }

void VelkMain::HRDMode_KeyPress(std::int16_t& keyAscii) { keyAscii = 0; }

void VelkMain::HRDBox_KeyPress(std::int16_t& keyAscii) { keyAscii = 0; }

void VelkMain::EstablishHRDLink() { radio_.Link(); }

void VelkMain::HRDTimer_Timer() {
  common::Ignore([&] {
    if (radio_.Linked()) {
      NoHRDLabel_->SetVisible(false);
      return;
    }
    EstablishHRDLink();
    ReportOutOfReach();
    // The flip happens whatever the new attempt gave: the label blinks while HRD is away.
    NoHRDLabel_->SetVisible(!NoHRDLabel_->Visible());
  });
}

void VelkMain::ReportOutOfReach() {
  // Windows drops messages sent up to a program of a higher integrity level, DDE's among
  // them: an HRD run as administrator looks absent for ever. Said once a run.
  if (outOfReachReported_ || !radio_.OutOfReach()) return;
  outOfReachReported_ = true;
  common_.WriteLogEntry(
      "VelkMain.HRDTimer_Timer: HRD not found, and a program running as administrator refused to be asked. "
      "If HRD runs as administrator, run HRD, the Tavix programs and " +
      std::string(common::kProductName) + " at the same level: all as administrator, or none.");
}

void VelkMain::HRDFreq_Change() {
  std::string theFreqString;
  common::TrapWithContext(
      common_,
      [&] { return "VelkMain.HRDFreq_Change, HRD Freq = " + HRDFreq_->Text() + ", theFreqString = " + theFreqString; },
      [&] {
        FreqDisplay_->SetText(hrd::FrequencyText(HRDFreq_->Text(), common_.Format(), theFreqString));
        ddeServer_.Load();
        ddeServer_.RcvFreq().SetText(FreqDisplay_->Text());
        ddeServer_.XmitFreq().SetText(FreqDisplay_->Text());
      });
}

void VelkMain::HRDAltFreq_Change() {}

void VelkMain::HRDMode_Change() {
  common::Trap(common_, "VelkMain.HRDMode_Change", [&] {
    const hrd::ModeTranslation translation = hrd::TranslateMode(HRDMode_->Text());
    ddeServer_.Load();
    ddeServer_.Mode().SetText(translation.mode);
    ddeServer_.RadioMode().SetText(translation.radioMode);
  });
}

void VelkMain::HRDTX_Change() {
  common::Trap(common_, "VelkMain.HRDTX_Change", [&] {
    if (const auto state = hrd::RadioStateFor(HRDTX_->Text())) {
      ddeServer_.Load();
      ddeServer_.RadioState().SetText(*state);
    }
  });
}

void VelkMain::HRDButton_Change() {}

}  // namespace bridge::shell
