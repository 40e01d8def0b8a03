#include "server/DDEServer.h"

#include "base/Text.h"

namespace bridge::server {

void DDEServer::SetHRDFreq(double theFreq) { radio_.SetFreq(theFreq, common_.Format()); }
void DDEServer::SetHRDAltFreq(double theFreq) { radio_.SetAltFreq(theFreq, common_.Format()); }
void DDEServer::SetHRDMode(const std::string& theMode) { radio_.SetMode(theMode); }
void DDEServer::SetHRDTX(bool transmit) { radio_.SetTransmit(transmit); }
void DDEServer::SetHRDSplit(bool theValue) { radio_.SetSplit(theValue); }
void DDEServer::SetHRDDual(bool theValue) { radio_.SetDual(theValue); }

void DDEServer::SetFreqTimer_Timer() {
  common::Trap(common_, "DDEServer.SetFreqTimer_Timer",
               [&] { deferredCommands_.SetFreqTimer_Timer(*SetFreqTimer, common_.Format()); });
}

void DDEServer::SetModeTimer_Timer() {
  common::Trap(common_, "DDEServer.SetModeTimer_Timer", [&] {
    deferredCommands_.SetModeTimer_Timer(*SetModeTimer);
    // The radio reports only a change of mode. When it already was in the requested mode
    // no report comes, and `Mode` would keep the request's text ("USB" where the suite
    // reads "SSB"): the radio's mode is published now instead.
    if (base::EqualNoCase(radio_.Current(radio::Value::Mode), deferred.DeferredMode))
      if (mainWindow_) mainWindow_->RepublishMode();
  });
}

void DDEServer::SetFreqModeTimer_Timer() {
  common::Trap(common_, "DDEServer.SetFreqModeTimer_Timer",
               [&] { deferredCommands_.SetFreqModeTimer_Timer(*SetFreqModeTimer, common_.Format()); });
}

void DDEServer::SetSplitFreqTimer_Timer() {
  common::Trap(common_, "DDEServer.SetSplitFreqTimer_Timer",
               [&] { deferredCommands_.SetSplitFreqTimer_Timer(*SetSplitFreqTimer, common_.Format()); });
}

void DDEServer::SetSplitTimer_Timer() {
  common::Trap(common_, "DDEServer.SetSplitTimer_Timer",
               [&] { deferredCommands_.SetSplitTimer_Timer(*SetSplitTimer); });
}

void DDEServer::SetDualTimer_Timer() {
  common::Trap(common_, "DDEServer.SetDualTimer_Timer",
               [&] { deferredCommands_.SetDualTimer_Timer(*SetDualTimer); });
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

  RadioVFO = AddItem("RadioVFO", "0");
  BandSpreadEnabled = AddItem("BandSpreadEnabled", "");
  XmitFreq = AddItem("XmitFreq", "");
  RadioState = AddItem("RadioState", "");
  RadioSplit = AddItem("RadioSplit", "");
  RcvFreq = AddItem("RcvFreq", "");
  RadioCWCapability = AddItem("RadioCWCapability", "0");
  RadioCWSpeed = AddItem("RadioCWSpeed", "0");
  RadioSMeterString = AddItem("RadioSMeterString", "");
  RadioSMeter = AddItem("RadioSMeter", "");
  RadioMode = AddItem("RadioMode", "");
  MainWindowState = AddItem("MainWindowState", "");
  Mode = AddItem("Mode", "");

  static constexpr const char* kLabels[][2] = {
      {"Label12", "RadioVFO"},          {"Label5", "BandSpreadEnabled"}, {"Label7", "XmitFreq"},
      {"Label8", "RadioState"},         {"Label10", "RadioSplit"},       {"Label11", "RcvFreq"},
      {"Label13", "RadioCWCapability"}, {"Label14", "RadioCWSpeed"},     {"Label4", "RadioSMeterString"},
      {"Label3", "RadioSMeter"},        {"Label2", "RadioMode"},         {"Label15", "MainWindowState"},
      {"Label1", "Mode"},               {"DDECommand", "DDECommand"}};
  for (const auto& [name, caption] : kLabels) AddLabel(name, caption);
  // The label is the client end of the notices; what comes back over it is not read.
  AddLabel("DDEStart", "DDEStart");
  DDEStart = std::make_unique<common::LinkBox>(ddeClient_, nullptr);

  // Each deferred-command timer waits disarmed; armed, it fires at the loop's next turn.
  for (auto* timer : {&SetFreqTimer, &SetModeTimer, &SetFreqModeTimer, &SetSplitFreqTimer, &SetSplitTimer,
                      &SetDualTimer}) {
    *timer = ui_.CreateTimer();
    (*timer)->SetEnabled(false);
    (*timer)->SetInterval(1);
  }
  SetFreqTimer->OnTick([this] { SetFreqTimer_Timer(); });
  SetModeTimer->OnTick([this] { SetModeTimer_Timer(); });
  SetFreqModeTimer->OnTick([this] { SetFreqModeTimer_Timer(); });
  SetSplitFreqTimer->OnTick([this] { SetSplitFreqTimer_Timer(); });
  SetSplitTimer->OnTick([this] { SetSplitTimer_Timer(); });
  SetDualTimer->OnTick([this] { SetDualTimer_Timer(); });

  topic_->SetExecuteHandler([this](std::string_view command) {
    // A command whose handling fails keeps this answer: refused.
    platform::ExecuteAnswer answer = platform::ExecuteAnswer::Refuse;
    LinkExecute(command, answer);
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
  DDEStart.reset();
  for (auto* timer : {&SetFreqTimer, &SetModeTimer, &SetFreqModeTimer, &SetSplitFreqTimer, &SetSplitTimer,
                      &SetDualTimer})
    timer->reset();
  for (platform::TextBox** item : {&RadioVFO, &BandSpreadEnabled, &XmitFreq, &RadioState, &RadioSplit, &RcvFreq,
                                   &RadioCWCapability, &RadioCWSpeed, &RadioSMeterString, &RadioSMeter, &RadioMode,
                                   &MainWindowState, &Mode})
    *item = nullptr;
  form_->Destroy();
  form_.reset();
}

}  // namespace bridge::server
