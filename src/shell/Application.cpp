#include "shell/Application.h"

namespace bridge::shell {

Application::Application(const platform::Platform& platform)
    : platform_(platform),
      utc_(platform.clock),
      common_(platform, utc_, locale_),
      locale_(platform.system, common_),
      velkModule_(common_),
      radio_(std::make_unique<hrd::HrdRadio>(platform.ui, platform.ddeClient)),
      ddeCommon_(platform.ui, common_),
      ddeServer_(platform.ui, platform.ddeServer, platform.ddeClient, *radio_, common_, ddeCommon_),
      ddeServerModule_(ddeServer_, common_),
      main_(platform, common_, velkModule_, *radio_, ddeServer_, ddeServerModule_, ddeCommon_) {
  main_.Form().OnClose([this] { return MainClosed(); });
  closeTimer_ = platform.ui.CreateTimer();
  closeTimer_->SetInterval(50);
  closeTimer_->OnTick([this] { CloseTimer_Timer(); });
  main_.Form().OnEndSession([this] { SessionEnded(); });
}

void Application::Start() {
  main_.Form_Load();
  main_.Form().Show();
}

bool Application::MainClosed() {
  // Unloading now would end links and forms that the waiting transaction returns into.
  if (platform_.ddeClient.Waiting()) {
    closeTimer_->SetEnabled(true);
    return false;
  }
  std::int16_t cancel = 0;
  main_.Form_Unload(cancel);
  platform_.ui.Quit();
  return true;
}

void Application::CloseTimer_Timer() {
  if (platform_.ddeClient.Waiting()) return;
  closeTimer_->SetEnabled(false);
  if (MainClosed()) main_.Form().Destroy();
}

void Application::SessionEnded() {
  // Log-off or shutdown unloads the program as a close would, then it ends at once: the
  // system is about to end the process anyway.
  std::int16_t cancel = 0;
  main_.Form_Unload(cancel);
  platform_.ui.EndProcess(0);
}

}  // namespace bridge::shell
