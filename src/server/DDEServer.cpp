#include "server/DDEServer.h"

namespace bridge::server {

platform::TextBox* DDEServer::AddItem(const char* name, const char* initial) {
  platform::ControlSpec spec;
  spec.name = name;
  spec.text = initial;
  platform::TextBox& box = form_->AddTextBox(spec);
  items_.push_back(&box);
  return &box;
}

void DDEServer::AddLabel(const char* name, const char* caption) {
  platform::ControlSpec spec;
  spec.name = name;
  spec.text = caption;
  items_.push_back(&form_->AddLabel(spec));
}

void DDEServer::Load() {
  if (form_) return;
  platform::WindowSpec spec;
  spec.name = "DDEServer";
  spec.caption = "DDEServer";
  form_ = ui_.CreateForm(spec);

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
      {"Label12", "RadioVFO"},         {"Label5", "BandSpreadEnabled"},  {"Label7", "XmitFreq"},
      {"Label8", "RadioState"},        {"Label10", "RadioSplit"},        {"Label11", "RcvFreq"},
      {"Label13", "RadioCWCapability"}, {"Label14", "RadioCWSpeed"},     {"Label4", "RadioSMeterString"},
      {"Label3", "RadioSMeter"},       {"Label2", "RadioMode"},          {"Label15", "MainWindowState"},
      {"Label1", "Mode"},              {"DDECommand", "DDECommand"},     {"DDEStart", "DDEStart"}};
  for (const auto& [name, caption] : kLabels) AddLabel(name, caption);

  for (auto* timer : {&SetFreqTimer, &SetModeTimer, &SetFreqModeTimer, &SetSplitFreqTimer,
                      &SetSplitTimer, &SetDualTimer})
    *timer = ui_.CreateTimer();
}

void DDEServer::Unload() {
  if (!form_) return;
  for (auto* timer : {&SetFreqTimer, &SetModeTimer, &SetFreqModeTimer, &SetSplitFreqTimer,
                      &SetSplitTimer, &SetDualTimer})
    timer->reset();
  items_.clear();
  form_->Destroy();
  form_.reset();
}

}  // namespace bridge::server
