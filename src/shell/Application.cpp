#include "shell/Application.h"

namespace bridge::shell {

Application::Application(const platform::Platform& platform)
    : platform_(platform),
      utc_(platform.clock),
      common_(platform, utc_, locale_),
      locale_(platform.system, common_),
      velkModule_(common_),
      ddeServer_(platform.ui),
      main_(platform, common_, velkModule_, ddeServer_) {
  common_.SetErrorLogIndicator(velkModule_);
  main_.Form().OnClose([this] { MainClosed(); });
}

void Application::Start() {
  main_.Form_Load();
  main_.Form().Show();
}

void Application::MainClosed() {
  std::int16_t cancel = 0;
  main_.Form_Unload(cancel);
  platform_.ui.Quit();
}

}  // namespace bridge::shell
