#include "shell/VelkModule.h"

namespace bridge::shell {

VelkModule::VelkModule(common::Common& common) : common_(common) {
  common_.SetErrorLogIndicator(this);
  common_.SetInteropCaption([this] { return GetInteropCaption(); });
}

VelkModule::~VelkModule() {
  common_.SetErrorLogIndicator(nullptr);
  common_.SetInteropCaption(nullptr);
}

void VelkModule::Initialize() {
  common::Trap(common_, "VelkModule.Initialize", [&] {
    common_.DebugLog("VelkModule.Initialize: start");
    common_.DebugLog("VelkModule.Initialize: complete");
  });
}

void VelkModule::Terminate() {
  common::Trap(common_, "VelkModule.Terminate", [] {});
}

void VelkModule::ClearErrorLogFlag() {
  common::Trap(common_, "VelkModule.ClearErrorLogFlag", [&] { errorLogFlag_ = false; });
}

void VelkModule::ErrorLogExists() {
  common::Trap(common_, "VelkModule.ErrorLogExists", [&] {
    errorLogFlag_ = true;
    if (errorLogLabel_) errorLogLabel_->SetVisible(true);
  });
}

std::string VelkModule::GetInteropCaption() {
  return common::TrapOr(common_, "VelkModule.GetInteropCaption", std::string(), [] { return std::string(); });
}

}  // namespace bridge::shell
