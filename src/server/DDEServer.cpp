#include "server/DDEServer.h"

namespace bridge::server {

platform::TextBox* DDEServer::AddItem(const char* name, const char* initial) {
  platform::ControlSpec spec;
  spec.name = name;
  spec.text = initial;
  platform::TextBox& box = form_->AddTextBox(spec);
  topic_->Serve(box);
  return &box;
}

platform::Label& DDEServer::AddLabel(const char* name, const char* caption) {
  platform::ControlSpec spec;
  spec.name = name;
  spec.text = caption;
  platform::Label& label = form_->AddLabel(spec);
  topic_->Serve(label);
  return label;
}

void DDEServer::Load() {
  if (form_) return;
  platform::WindowSpec spec;
  spec.name = "DDEServer";
  spec.caption = "DDEServer";
  form_ = ui_.CreateForm(spec);
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
  DDEStart = std::make_unique<common::LinkBox>(AddLabel("DDEStart", "DDEStart"), ddeClient_);

  for (auto* timer : {&SetFreqTimer, &SetModeTimer, &SetFreqModeTimer, &SetSplitFreqTimer, &SetSplitTimer,
                      &SetDualTimer})
    *timer = ui_.CreateTimer();
}

void DDEServer::BecomeSource() {
  Load();
  topic_->Register();
}

void DDEServer::Unload() {
  if (!form_) return;
  topic_.reset();
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
