#include "server/DDEServer.h"

#include "base/Text.h"

namespace bridge::server {
namespace {

/// The deferred-command timers, in the order of `hrd::DeferredTimer`, with the name each
/// tick reports under.
struct DeferredTimerRow {
  hrd::DeferredTimer timer;
  const char* tickName;
};
constexpr DeferredTimerRow kDeferredTimers[hrd::kDeferredTimerCount] = {
    {hrd::DeferredTimer::SetFreqTimer, "DDEServer.SetFreqTimer_Timer"},
    {hrd::DeferredTimer::SetModeTimer, "DDEServer.SetModeTimer_Timer"},
    {hrd::DeferredTimer::SetFreqModeTimer, "DDEServer.SetFreqModeTimer_Timer"},
    {hrd::DeferredTimer::SetSplitFreqTimer, "DDEServer.SetSplitFreqTimer_Timer"},
    {hrd::DeferredTimer::SetSplitTimer, "DDEServer.SetSplitTimer_Timer"},
    {hrd::DeferredTimer::SetDualTimer, "DDEServer.SetDualTimer_Timer"},
};

}  // namespace

void DDEServer::SetHRDTX(bool transmit) { radio_.SetTransmit(transmit); }

void DDEServer::HRDTX_Failed(bool transmit, std::int32_t code) {
  // Keying that failed is worth a line; unkeying that failed even more: the radio may be
  // left transmitting.
  common_.ReportError(code, transmit ? "DDEServer.SetHRDTX, transmit" : "DDEServer.SetHRDTX, receive");
}

void DDEServer::DeferredTimer_Timer(hrd::DeferredTimer which) {
  common::Trap(common_, kDeferredTimers[static_cast<std::size_t>(which)].tickName, [&] {
    deferredCommands_.Tick(which, Timer(which), common_.Format());
    // The radio reports only a change of mode. When it already was in the requested mode
    // no report comes, and `Mode` would keep the request's text ("USB" where the suite
    // reads "SSB"): the radio's mode is published now instead.
    if (which == hrd::DeferredTimer::SetModeTimer &&
        base::EqualNoCase(radio_.Current(radio::Value::Mode), deferred_.DeferredMode) && mainWindow_)
      mainWindow_->RepublishMode();
  });
}

platform::TextBox* DDEServer::AddItem(const char* name, const char* initial) {
  platform::ControlSpec design;
  design.name = name;
  design.text = initial;
  platform::TextBox& box = form_->AddTextBox(design);
  topic_->Serve(box);
  return &box;
}

platform::Label& DDEServer::AddLabel(const char* name, const char* caption) {
  platform::ControlSpec design;
  design.name = name;
  design.text = caption;
  platform::Label& label = form_->AddLabel(design);
  topic_->Serve(label);
  return label;
}

void DDEServer::Load() {
  if (form_) return;
  platform::WindowSpec design;
  design.name = "DDEServer";
  design.caption = "DDEServer";
  form_ = ui_.CreateForm(design);
  topic_ = std::make_unique<FormTopic>(ddeServer_, "DDEServer");

  // The items in the form's order; the fixed ones are never written again.
  AddItem("RadioVFO", "0");
  AddItem("BandSpreadEnabled", "");
  XmitFreq_ = AddItem("XmitFreq", "");
  RadioState_ = AddItem("RadioState", "");
  AddItem("RadioSplit", "");
  RcvFreq_ = AddItem("RcvFreq", "");
  RadioCWCapability_ = AddItem("RadioCWCapability", "0");
  RadioCWSpeed_ = AddItem("RadioCWSpeed", "0");
  AddItem("RadioSMeterString", "");
  AddItem("RadioSMeter", "");
  RadioMode_ = AddItem("RadioMode", "");
  MainWindowState_ = AddItem("MainWindowState", "");
  Mode_ = AddItem("Mode", "");

  static constexpr const char* kLabels[][2] = {
      {"Label12", "RadioVFO"},          {"Label5", "BandSpreadEnabled"}, {"Label7", "XmitFreq"},
      {"Label8", "RadioState"},         {"Label10", "RadioSplit"},       {"Label11", "RcvFreq"},
      {"Label13", "RadioCWCapability"}, {"Label14", "RadioCWSpeed"},     {"Label4", "RadioSMeterString"},
      {"Label3", "RadioSMeter"},        {"Label2", "RadioMode"},         {"Label15", "MainWindowState"},
      {"Label1", "Mode"},               {"DDECommand", "DDECommand"}};
  for (const auto& [name, caption] : kLabels) AddLabel(name, caption);
  // The label is the client end of the notices; what comes back over it is not read.
  AddLabel("DDEStart", "DDEStart");
  DDEStart_ = std::make_unique<common::LinkBox>(ddeClient_, nullptr);

  // Each deferred-command timer waits disarmed; armed, it fires at the loop's next turn.
  for (const DeferredTimerRow& row : kDeferredTimers) {
    auto& timer = deferredTimers_[static_cast<std::size_t>(row.timer)];
    timer = ui_.CreateTimer();
    timer->SetEnabled(false);
    timer->SetInterval(1);
    timer->OnTick([this, which = row.timer] { DeferredTimer_Timer(which); });
  }

  topic_->SetExecuteHandler([this](std::string_view command, bool held) {
    // A command whose handling fails keeps this answer: refused.
    platform::ExecuteAnswer answer = platform::ExecuteAnswer::Refuse;
    LinkExecute(command, answer, held);
    return answer;
  });
}

void DDEServer::BecomeSource() {
  Load();
  topic_->Register();
}

void DDEServer::Unload() {
  if (!form_) return;
  topic_.reset();
  deferredCommands_.ForgetTimers();
  DDEStart_.reset();
  for (auto& timer : deferredTimers_) timer.reset();
  for (platform::TextBox** item :
       {&XmitFreq_, &RadioState_, &RcvFreq_, &RadioCWCapability_, &RadioCWSpeed_, &RadioMode_, &MainWindowState_, &Mode_})
    *item = nullptr;
  form_->Destroy();
  form_.reset();
}

}  // namespace bridge::server
