#include "server/DDECommon.h"

namespace bridge::server {

void DDECommon::Activate(platform::Window& window) {
  common::Trap(common_, "DDECommon.Activate", [&] {
    window.SetState(platform::WindowState::Normal);
    window.BringToFront();
  });
}

void DDECommon::Iconify() {
  common::Trap(common_, "DDECommon.Iconify", [&] {
    // The forms are counted once, at the start.
    const std::vector<platform::Window*> forms = ui_.LoadedForms();
    for (platform::Window* form : forms) form->SetState(platform::WindowState::Minimized);
  });
}

}  // namespace bridge::server
